// SPDX-License-Identifier: MIT
// The udev rule that lets members of plugdev use the CH341A: it names the
// vendor and product the program opens, and cmake --install puts it where
// udev reads it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Ch341a.h"
#include "TempFolder.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

std::string hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(UdevRule, NamesTheProgrammersVendorAndProductForPlugdev)
{
    const std::string rule = readFile(KAVODA_UDEV_RULE);
    ASSERT_FALSE(rule.empty());
    EXPECT_NE(rule.find("ATTR{idVendor}==\"" + hex4(kCh341aVendorId) + "\""), std::string::npos);
    EXPECT_NE(rule.find("ATTR{idProduct}==\"" + hex4(kCh341aProductId) + "\""),
              std::string::npos);
    EXPECT_NE(rule.find("GROUP=\"plugdev\""), std::string::npos);
    EXPECT_NE(rule.find("MODE=\"0660\""), std::string::npos);
    EXPECT_NE(rule.find("SUBSYSTEM==\"usb\""), std::string::npos);
}

TEST(UdevRule, InstalledUnderThePrefixOrUnderEtcForUsrLocal)
{
    if (!KAVODA_INSTALLS_UDEV_RULE)
        GTEST_SKIP() << "packaging is not part of this build";
    test::TempFolder dir;
    const std::string install = std::string("\"") + KAVODA_CMAKE_COMMAND + "\" --install \"" +
                                KAVODA_BINARY_DIR + "\" --component udev";
    const std::string staged =
        install + " --prefix \"" + dir.file("staged").string() + "\" >/dev/null";
    ASSERT_EQ(std::system(staged.c_str()), 0);
    EXPECT_TRUE(fs::exists(dir.path() / "staged/lib/udev/rules.d/60-kavoda-ch341a.rules"));

    // A /usr/local install is not read by udev there, so it goes to /etc.
    const std::string toUsrLocal = "DESTDIR=\"" + dir.file("root").string() + "\" " + install +
                                   " --prefix /usr/local >/dev/null";
    ASSERT_EQ(std::system(toUsrLocal.c_str()), 0);
    EXPECT_TRUE(fs::exists(dir.path() / "root/etc/udev/rules.d/60-kavoda-ch341a.rules"));
    EXPECT_FALSE(fs::exists(dir.path() / "root/usr/local/lib/udev"));
}

}  // namespace
}  // namespace kavoda
