// SPDX-License-Identifier: MIT
// Writes of the output file that fail as a full or faulty disk makes them
// fail: write(2) is wrapped at link time (-Wl,--wrap=write), so each test
// says what the next calls return.
#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "Cli.h"
#include "CliRun.h"
#include "ImageFiles.h"
#include "PortBackend.h"
#include "TempFolder.h"

namespace {

struct WriteOutcome {
    ssize_t result;
    int error;  // errno left by the call
};

std::deque<WriteOutcome> g_outcomes;

}  // namespace

extern "C" ssize_t __real_write(int fd, const void* data, size_t count);

extern "C" ssize_t __wrap_write(int fd, const void* data, size_t count)
{
    if (g_outcomes.empty())
        return __real_write(fd, data, count);
    const WriteOutcome outcome = g_outcomes.front();
    g_outcomes.pop_front();
    if (outcome.result > 0)
        return __real_write(fd, data, static_cast<size_t>(outcome.result));
    errno = outcome.error;
    return outcome.result;
}

namespace kavoda {
namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class FileFaultTest : public ::testing::Test {
protected:
    void SetUp() override { m_dir = test::testFolder(); }
    void TearDown() override { g_outcomes.clear(); }

    // The message of the FileError that writing content throws.
    std::string failureOf(const std::string& content)
    {
        const fs::path target = m_dir / "out.bin";
        std::ofstream(target) << "old";
        try {
            AtomicFile file(target.string());
            file.write(content);
            file.commit();
        } catch (const FileError& e) {
            EXPECT_EQ(contentOf(target), "old") << "a failed write leaves the file as it was";
            EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1)
                << "and no temporary file";
            return e.what();
        }
        ADD_FAILURE() << "no FileError";
        return {};
    }

    fs::path m_dir;
};

TEST_F(FileFaultTest, WriteErrorsTellTheCauseOfTheFailingCall)
{
    const std::string target = (m_dir / "out.bin").string();
    // The disk filled up half-way: the first call wrote part, the next none.
    errno = 0;
    g_outcomes = {{4, 0}, {-1, ENOSPC}};
    EXPECT_EQ(failureOf("0123456789"), "Cannot write " + target + ": No space left on device");

    // A call that wrote nothing and set no errno: no stale "Success".
    errno = 0;
    g_outcomes = {{0, 0}};
    EXPECT_EQ(failureOf("0123456789"), "Cannot write " + target + ": short write");
    errno = EACCES;
    g_outcomes = {{3, 0}, {0, EACCES}};
    EXPECT_EQ(failureOf("0123456789"), "Cannot write " + target + ": short write");

    // An interrupted call is tried again, not failed.
    g_outcomes = {{-1, EINTR}};
    AtomicFile file(target);
    file.write("after EINTR");
    file.commit();
    EXPECT_EQ(contentOf(target), "after EINTR");
}

TEST_F(FileFaultTest, ReadVerbReportsTheWriteFailureAndExitsWithOne)
{
    const std::string target = (m_dir / "chip.bin").string();
    CliEnvironment environment;
    environment.settingsFolder = (m_dir / "config").string();
    errno = 0;
    g_outcomes = {{0, 0}};
    const test::CliRun run = test::runTool(
        {"--simulate", "-d", "24C02", "--delay", "0", "read", target}, environment);
    EXPECT_EQ(run.code, kExitHardware);
    EXPECT_EQ(run.err, "kavoda-cli: Cannot write " + target + ": short write\n");
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(installedPortBackend(), nullptr);
}

}  // namespace
}  // namespace kavoda
