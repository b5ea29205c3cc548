// SPDX-License-Identifier: MIT
// One scratch folder per fuzzing process (mkdtemp under $TMPDIR), removed at
// exit, for targets that go through real files.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace kavoda::fuzz {

inline const std::string& scratchFolder()
{
    static const std::string folder = [] {
        const char* env = ::getenv("TMPDIR");
        std::string pattern = std::string(env && *env ? env : "/tmp") + "/kavoda-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            ::abort();
        static const std::string removeAtExit = pattern;
        ::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removeAtExit, ec);
        });
        return pattern;
    }();
    return folder;
}

}  // namespace kavoda::fuzz
