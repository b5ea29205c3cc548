// SPDX-License-Identifier: MIT
// Small file helpers for the image tests, and what an I/O error said.
#pragma once

#include "IoError.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kavoda::test {

using Bytes = std::vector<unsigned char>;

inline void writeBytes(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline Bytes readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// 0x00..0xFF, then on again from 0x00, count bytes in all.
inline Bytes countingBytes(std::size_t count)
{
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<unsigned char>(i);
    return bytes;
}

// Root opens files whatever their permissions say.
inline bool permissionsBypassed()
{
    return ::geteuid() == 0;
}

// The message of the IoError that f raises, or "" when it raises none.
template <class F>
std::string ioMessage(F f)
{
    try {
        f();
    } catch (const IoError& e) {
        return e.what();
    }
    return "";
}

// The code of the IoError that f raises, or 0 when it raises none.
template <class F>
int ioCode(F f)
{
    try {
        f();
    } catch (const IoError& e) {
        return e.code();
    }
    return 0;
}

#define KAVODA_SKIP_AS_ROOT()                                                                  \
    do {                                                                                       \
        if (::kavoda::test::permissionsBypassed())                                             \
            GTEST_SKIP() << "root bypasses file permissions; run as an ordinary user to check"; \
    } while (false)

} // namespace kavoda::test
