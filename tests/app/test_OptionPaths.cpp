// SPDX-License-Identifier: MIT
// The window program's file options: the names given reach the session,
// and neither may be the working file.
#include "Options.h"

#include "TempFolder.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <sstream>
#include <vector>

using namespace kavoda;

namespace {

TEST(OptionPaths, AFileNameReachesThePortOptions)
{
    std::ostringstream out, err;
    const std::vector<const char*> good = {"kavoda", "--simulate", "--sim-image", "chip.bin",
                                           "--trace=bus.vcd"};
    const ParsedOptions r = parseOptions(static_cast<int>(good.size()), good.data(), out, err);
    EXPECT_TRUE(r.run) << err.str();
    EXPECT_EQ(r.options.simImagePath, "chip.bin");
    EXPECT_EQ(r.options.tracePath, "bus.vcd");
}

TEST(OptionPaths, NeitherTheChipNorTheTraceMayBeTheWorkingFile)
{
    // The working file lives in the folder the program starts in.
    kavoda::test::TempFolder folder;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const auto check = [](const char* image, const char* trace) {
        PortOptions options;
        options.simulateType = 1;
        options.simImagePath = image;
        options.tracePath = trace;
        std::ostringstream err;
        const int code = checkStartFiles(options, err);
        return std::make_pair(code, err.str());
    };
    const std::string absolute = (folder.path() / "Tempor.tmp").string();
    for (const auto& [image, trace] : {std::pair{"Tempor.tmp", ""}, std::pair{"chip.bin", "./Tempor.tmp"},
                                       std::pair{"chip.bin", absolute.c_str()}}) {
        const auto [code, err] = check(image, trace);
        EXPECT_EQ(code, 2) << image << " " << trace;
        EXPECT_NE(err.find("working file"), std::string::npos) << err;
    }
    EXPECT_EQ(check("chip.bin", "bus.vcd").first, 0);
    std::filesystem::current_path(before);
}

} // namespace
