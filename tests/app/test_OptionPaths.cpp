// SPDX-License-Identifier: MIT
// The window program's file options: an empty path is refused, not taken
// as "no file".
#include "Options.h"

#include <gtest/gtest.h>
#include <sstream>
#include <vector>

using namespace kavoda;

namespace {

TEST(OptionPaths, EmptyFileNamesAreUsageErrors)
{
    const std::vector<std::vector<const char*>> bad = {
        {"kavoda", "--simulate", "--sim-image", ""},
        {"kavoda", "--simulate", "--sim-image="},
        {"kavoda", "--trace", ""},
    };
    for (const auto& args : bad) {
        std::ostringstream out, err;
        const ParsedOptions r = parseOptions(static_cast<int>(args.size()), args.data(), out, err);
        EXPECT_FALSE(r.run) << args[2];
        EXPECT_EQ(r.exitCode, 2) << args[2];
        EXPECT_FALSE(err.str().empty());
    }
    std::ostringstream out, err;
    const std::vector<const char*> good = {"kavoda", "--simulate", "--sim-image", "chip.bin"};
    const ParsedOptions r = parseOptions(static_cast<int>(good.size()), good.data(), out, err);
    EXPECT_TRUE(r.run) << err.str();
    EXPECT_EQ(r.options.simImagePath, "chip.bin");
}

} // namespace
