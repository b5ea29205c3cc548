// SPDX-License-Identifier: MIT
// The test folders themselves: unique per call, under $TMPDIR, and gone
// afterwards even when a test left a read-only folder inside.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "TempFolder.h"

namespace kavoda::test {
namespace {

namespace fs = std::filesystem;

TEST(TempFolder, FreshUniqueAndRemovedWithReadOnlyContent)
{
    fs::path kept;
    {
        TempFolder a;
        TempFolder b;
        EXPECT_NE(a.path(), b.path());
        EXPECT_TRUE(fs::is_empty(a.path()));
        const char* env = std::getenv("TMPDIR");
        EXPECT_EQ(a.path().parent_path(), fs::path(env && *env ? env : "/tmp"));
        const fs::path locked = a.file("locked");
        fs::create_directories(locked / "deeper");
        std::ofstream(locked / "deeper" / "f.bin") << "x";
        ::chmod((locked / "deeper").c_str(), 0);
        ::chmod(locked.c_str(), S_IRUSR | S_IXUSR);
        kept = a.path();
    }
    EXPECT_FALSE(fs::exists(kept));
}

TEST(TempFolder, TestFoldersGoWhenTheTestEnds)
{
    const fs::path first = testFolder();
    const fs::path second = testFolder();
    EXPECT_NE(first, second);
    EXPECT_TRUE(fs::is_directory(first));
    // What the test's end does.
    detail::TestFolders::instance().OnTestEnd(*::testing::UnitTest::GetInstance()->current_test_info());
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(second));
}

}  // namespace
}  // namespace kavoda::test
