// SPDX-License-Identifier: MIT
// Comparing files rather than path strings.
#include "FileIdentity.h"

#include <filesystem>
#include <system_error>

namespace kavoda {

namespace {

namespace fs = std::filesystem;

// Where writing to the path would land: links followed as far as they go,
// then the resolved folder and the last name.
fs::path landingPlace(fs::path path)
{
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
        const fs::path target = fs::read_symlink(path, ec);
        if (ec)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    const fs::path absolute = fs::absolute(path, ec);
    if (ec)
        return path.lexically_normal();
    const fs::path folder = fs::weakly_canonical(absolute.parent_path(), ec);
    if (ec)
        return absolute.lexically_normal();
    return folder / absolute.filename();
}

}  // namespace

bool sameFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec))
        return fs::equivalent(a, b, ec);
    return landingPlace(a) == landingPlace(b);
}

}  // namespace kavoda
