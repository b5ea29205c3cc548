// SPDX-License-Identifier: MIT
// Files written whole or not at all, with an unnamed temporary file and with
// the named one used where the system offers none; inputs that never wait.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "SafeFile.h"
#include "TempFolder.h"

namespace kavoda {
namespace {

// What the next fsync calls of this test program see.
std::function<void(int)>& onFsync()
{
    static std::function<void(int)> hook;
    return hook;
}

}  // namespace
}  // namespace kavoda

// Every fsync of the test program passes here on its way to the system, so
// that a test sees what the disk is asked to keep, and when.
extern "C" int fsync(int fd)
{
    if (kavoda::onFsync())
        kavoda::onFsync()(fd);
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace kavoda {
namespace {

namespace fs = std::filesystem;
using Temporary = SafeFile::Temporary;
using Problem = SafeFileError::Problem;

std::string content(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

mode_t modeOf(const fs::path& path)
{
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The problem a SafeFile for path refuses with, or none.
std::optional<Problem> refusal(const fs::path& path, Temporary temporary)
{
    try {
        SafeFile file(path.string(), SafeFile::Links::WriteThrough, temporary);
    } catch (const SafeFileError& e) {
        return e.problem();
    }
    return std::nullopt;
}

class SafeFileTest : public ::testing::TestWithParam<Temporary> {
protected:
    void put(const fs::path& path, const std::string& text)
    {
        SafeFile file(path.string(), SafeFile::Links::WriteThrough, GetParam());
        file.write(text);
        file.commit();
    }
    fs::path m_folder = test::testFolder();
};

INSTANTIATE_TEST_SUITE_P(BothTemporaries, SafeFileTest,
                         ::testing::Values(Temporary::Unnamed, Temporary::Named),
                         [](const auto& info) {
                             return info.param == Temporary::Unnamed ? "Unnamed" : "Named";
                         });

TEST_P(SafeFileTest, TheFileAppearsOnlyWhenCommitted)
{
    const fs::path target = m_folder / "out.bin";
    std::ofstream(target) << "old";
    {
        SafeFile file(target.string(), SafeFile::Links::WriteThrough, GetParam());
        if (GetParam() == Temporary::Named) {
            EXPECT_EQ(fs::path(file.temporaryPath()).parent_path(), m_folder)
                << "beside the target, so that the rename stays on its file system";
        }
        file.write("half");
    }  // abandoned, as by an interrupted run
    EXPECT_EQ(content(target), "old");
    EXPECT_EQ(namesIn(m_folder), std::vector<std::string>{"out.bin"});

    put(target, "new content");
    EXPECT_EQ(content(target), "new content");
    put(m_folder / "fresh.bin", "");
    EXPECT_TRUE(fs::exists(m_folder / "fresh.bin"));
    EXPECT_EQ(namesIn(m_folder), (std::vector<std::string>{"fresh.bin", "out.bin"}));
}

TEST_P(SafeFileTest, ModeKeptAndLinksWrittenThrough)
{
    // A private backup stays private, a group-readable one group-readable.
    for (const mode_t kept : {0600, 0640, 0700}) {
        const fs::path secret = m_folder / "secret.bin";
        std::ofstream(secret) << "old";
        ASSERT_EQ(::chmod(secret.c_str(), kept), 0);
        put(secret, "new");
        EXPECT_EQ(content(secret), "new");
        EXPECT_EQ(modeOf(secret), kept);
    }
    const mode_t mask = ::umask(027);
    put(m_folder / "new.bin", "x");
    ::umask(mask);
    EXPECT_EQ(modeOf(m_folder / "new.bin"), 0640u) << "a new file gets the usual mode";

    // The target changes, the link stays one, also when the target is in
    // another folder or does not exist yet.
    fs::create_directory(m_folder / "real");
    std::ofstream(m_folder / "real" / "target.bin") << "old";
    fs::create_symlink("real/target.bin", m_folder / "link.bin");
    put(m_folder / "link.bin", "through the link");
    EXPECT_TRUE(fs::is_symlink(m_folder / "link.bin"));
    EXPECT_EQ(content(m_folder / "real" / "target.bin"), "through the link");
    fs::create_symlink(m_folder / "real" / "later.bin", m_folder / "dangling.bin");
    fs::create_symlink("dangling.bin", m_folder / "chained.bin");
    put(m_folder / "chained.bin", "made");
    EXPECT_TRUE(fs::is_symlink(m_folder / "chained.bin"));
    EXPECT_TRUE(fs::is_symlink(m_folder / "dangling.bin"));
    EXPECT_EQ(content(m_folder / "real" / "later.bin"), "made");
    fs::create_symlink("loop.bin", m_folder / "loop.bin");
    EXPECT_EQ(refusal(m_folder / "loop.bin", GetParam()), Problem::Call);
    EXPECT_EQ(namesIn(m_folder),
              (std::vector<std::string>{"chained.bin", "dangling.bin", "later.bin", "link.bin",
                                        "loop.bin", "new.bin", "real", "secret.bin",
                                        "target.bin"}));
}

TEST_P(SafeFileTest, RefusesWhatItMustNotReplaceBeforeWritingAnything)
{
    // Read-only even for root, whom the permission bits do not stop.
    const fs::path readOnly = m_folder / "ro.bin";
    std::ofstream(readOnly) << "keep";
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    EXPECT_EQ(refusal(readOnly, GetParam()), Problem::ReadOnly);
    EXPECT_EQ(content(readOnly), "keep");
    const fs::path pipe = m_folder / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(refusal(pipe, GetParam()), Problem::NotRegular);
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(refusal(m_folder, GetParam()), Problem::Folder);
    EXPECT_EQ(refusal(m_folder.string() + "/", GetParam()), Problem::NoName);
    EXPECT_EQ(refusal("", GetParam()), Problem::NoName);
    try {
        SafeFile file((m_folder / "no" / "such" / "x.bin").string(), SafeFile::Links::WriteThrough,
                      GetParam());
        ADD_FAILURE() << "made a file in a missing folder";
    } catch (const SafeFileError& e) {
        EXPECT_EQ(e.problem(), Problem::NewFile);
        EXPECT_EQ(e.cause(), ENOENT) << e.what();
        EXPECT_EQ(e.path(), (m_folder / "no" / "such").string());
    }
    EXPECT_EQ(namesIn(m_folder), (std::vector<std::string>{"pipe", "ro.bin"}));
}

TEST_P(SafeFileTest, TheLongestNameIsWritten)
{
    const fs::path target = m_folder / std::string(255, 'n');
    std::ofstream(target) << "old";
    put(target, "new");
    EXPECT_EQ(content(target), "new");
    EXPECT_EQ(namesIn(m_folder).size(), 1u);
}

// The data reach the disk before the new file takes the name: after a
// power cut the name holds the old file or the whole new one, never an
// empty one.
TEST_P(SafeFileTest, TheDataAreFlushedBeforeTheyTakeTheName)
{
    const fs::path target = m_folder / "chip.bin";
    std::ofstream(target) << "old";
    bool flushedFirst = false;
    onFsync() = [&](int fd) {
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 6 &&
            content(target) == "old")
            flushedFirst = true;
    };
    put(target, "newer!");
    onFsync() = nullptr;
    EXPECT_TRUE(flushedFirst);
    EXPECT_EQ(content(target), "newer!");
}

TEST(SafeFileKilled, AKilledWriterLeavesNothingBehind)
{
    const fs::path folder = test::testFolder();
    const fs::path target = folder / "chip.bin";
    std::ofstream(target) << "old";
    const pid_t child = ::fork();
    if (child == 0) {
        SafeFile file(target.string());
        file.write(std::string(100000, 'x'));
        ::raise(SIGKILL);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(content(target), "old");
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"chip.bin"});
}

TEST(InputFile, APipeIsReadOnlyWhileSomeoneWritesToIt)
{
    const fs::path folder = test::testFolder();
    const fs::path fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Nobody writes to it: refused at once, not waited on.
    try {
        readInputFile(fifo.string(), 1000);
        ADD_FAILURE() << "read a pipe without a writer";
    } catch (const SafeFileError& e) {
        EXPECT_EQ(e.problem(), Problem::NoWriter);
        EXPECT_EQ(e.cause(), ENXIO);
    }
    const int fd = openInput(fifo.string());
    EXPECT_GE(fd, 0) << "opening it does not wait either";
    ::close(fd);

    // A pipe with its writer, as a shell's <(...) gives one. The writer may
    // still be sending when the read begins; the read waits for its end.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], "abc", 3), 3);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        ::_exit(::write(ends[1], "def", 3) == 3 ? 0 : 1);
    }
    ::close(ends[1]);
    const std::string got = readInputFile("/proc/self/fd/" + std::to_string(ends[0]), 1000);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ends[0]);
    EXPECT_EQ(got, "abcdef");

    // A device would never end.
    try {
        readInputFile("/dev/zero", 10);
        ADD_FAILURE() << "read a device";
    } catch (const SafeFileError& e) {
        EXPECT_EQ(e.problem(), Problem::NotRegular);
    }
}

}  // namespace
}  // namespace kavoda
