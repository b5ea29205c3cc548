// SPDX-License-Identifier: MIT
// Real I/O failures through the real file code, no mocks: a full disk (a
// child process whose files may not grow past a limit), files and folders
// that vanish, and a folder that turns read-only. What was on disk before a
// failed Load must still be there after it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "IoError.h"
#include "RecordFile.h"
#include "TempFolder.h"
#include "WorkingImage.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

std::string bytesOf(std::size_t count, int seed)
{
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>(i * 13 + static_cast<std::size_t>(seed));
    return bytes;
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// What an action threw: the I/O error's code and message, or nothing.
struct Outcome {
    int code = 0;
    std::string message;
};

// Runs action in a child process whose files may not grow past limit bytes,
// as on a full disk. SIGXFSZ is ignored, so the write that crosses the limit
// comes back short or failed instead of killing the process.
Outcome inChildWithFileLimit(rlim_t limit, const std::function<void()>& action)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        throw std::runtime_error("pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{limit, limit};
        std::string report = "0\n";
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0) {
            report = "-1\nsetrlimit failed";
        } else {
            try {
                action();
            } catch (const IoError& e) {
                report = std::to_string(e.code()) + "\n" + e.what();
            } catch (const std::exception& e) {
                report = "-2\n" + std::string(e.what());
            }
        }
        const ssize_t written = ::write(pipeEnds[1], report.data(), report.size());
        ::_exit(written == static_cast<ssize_t>(report.size()) ? 0 : 3);
    }
    ::close(pipeEnds[1]);
    std::string report;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child died: " << status;
    Outcome outcome;
    const std::size_t eol = report.find('\n');
    if (eol != std::string::npos) {
        outcome.code = std::stoi(report.substr(0, eol));
        outcome.message = report.substr(eol + 1);
    }
    return outcome;
}

bool onlyFileIn(const fs::path& folder, const fs::path& file)
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        ++count;
        if (entry.path().filename() != file.filename())
            return false;
    }
    return count == 1;
}

class IoFaultTest : public ::testing::Test {
protected:
    test::TempFolder m_folder;
    fs::path m_working = m_folder.file(kWorkingFileName);
};

TEST_F(IoFaultTest, DiskFullWhileFillingTheWorkingFile)
{
    // Read Device appends byte by byte; the write that finds no room is
    // "Disk full", and every byte before it is in the file.
    const Outcome full = inChildWithFileLimit(1000, [&] {
        RecordFile image(m_working.string());
        image.createOrTruncate();
        for (int i = 0; i < 2048; ++i)
            image.writeByte(static_cast<std::uint8_t>(i));
    });
    EXPECT_EQ(full.code, kIoDiskFull) << full.message;
    EXPECT_EQ(full.message, "Disk full");
    const std::string kept = readFile(m_working);
    ASSERT_EQ(kept.size(), 1000u);
    EXPECT_EQ(static_cast<std::uint8_t>(kept[999]), static_cast<std::uint8_t>(999));

    // A page written back beyond the limit fails the same way and leaves the
    // rest of the image as it was.
    const Outcome page = inChildWithFileLimit(1000, [&] {
        RecordFile image(m_working.string());
        image.openExisting();
        image.seek(768);
        for (int i = 0; i < 256; ++i)
            image.writeByte(0xEE);
    });
    EXPECT_EQ(page.code, kIoDiskFull) << page.message;
    EXPECT_EQ(readFile(m_working).substr(0, 768), kept.substr(0, 768));
}

TEST_F(IoFaultTest, DiskFullDuringLoadKeepsTheShownImage)
{
    const std::string shown = bytesOf(512, 1);
    writeFile(m_working, shown);
    const fs::path chosen = m_folder.file("big.bin");
    writeFile(chosen, bytesOf(100'000, 2));

    const Outcome load = inChildWithFileLimit(4096, [&] {
        replaceWithCopy(chosen.string(), m_working.string());
    });
    EXPECT_EQ(load.code, kIoDiskFull) << load.message;
    EXPECT_EQ(load.message, "Disk full");
    EXPECT_EQ(readFile(m_working), shown);
    EXPECT_EQ(readFile(chosen), bytesOf(100'000, 2));
    for (const auto& entry : fs::directory_iterator(m_folder.path()))
        EXPECT_TRUE(entry.path() == m_working || entry.path() == chosen)
            << "left behind: " << entry.path();
}

TEST_F(IoFaultTest, DiskFullDuringSaveAsKeepsTheOldFile)
{
    writeFile(m_working, bytesOf(8192, 3));
    const fs::path target = m_folder.file("backup.bin");
    writeFile(target, bytesOf(2048, 7));
    ::chmod(target.c_str(), 0640);
    const Outcome save = inChildWithFileLimit(4096, [&] {
        RecordFile image(m_working.string());
        image.openExisting();
        saveImageCopy(image, target.string());
    });
    EXPECT_EQ(save.code, kIoDiskFull) << save.message;
    EXPECT_EQ(save.message, "Disk full");
    EXPECT_EQ(readFile(target), bytesOf(2048, 7)) << "the backup is whole";
    EXPECT_EQ(readFile(m_working), bytesOf(8192, 3)) << "the image itself is untouched";
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder.path()), fs::directory_iterator()), 2)
        << "nothing left beside them";

    // With room, the backup is replaced and keeps its permissions.
    RecordFile image(m_working.string());
    image.openExisting();
    saveImageCopy(image, target.string());
    EXPECT_EQ(readFile(target), bytesOf(8192, 3));
    struct stat info {};
    ::stat(target.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(IoFaultTest, VanishedFiles)
{
    // The chosen file is gone by the time Load copies it.
    const std::string shown = bytesOf(256, 4);
    writeFile(m_working, shown);
    try {
        replaceWithCopy(m_folder.file("gone.bin").string(), m_working.string());
        FAIL() << "loaded a missing file";
    } catch (const IoError& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_TRUE(onlyFileIn(m_folder.path(), m_working));
    EXPECT_EQ(readFile(m_working), shown);

    // The working file is deleted behind the program's back: the open file
    // still serves the image, reopening it finds nothing.
    RecordFile image(m_working.string());
    image.openExisting();
    fs::remove(m_working);
    image.seek(10);
    EXPECT_EQ(image.readByte(), static_cast<std::uint8_t>(shown[10]));
    image.seek(10);
    image.writeByte(0x42);
    try {
        image.openExisting();
        FAIL() << "reopened a deleted file";
    } catch (const IoError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_FALSE(image.isOpen());
    EXPECT_THROW(image.readByte(), IoError);

    // The whole folder goes: creating the working file there fails too.
    const fs::path folder = m_folder.file("gone");
    fs::create_directory(folder);
    RecordFile lost((folder / kWorkingFileName).string());
    fs::remove(folder);
    try {
        lost.createOrTruncate();
        FAIL() << "created a file in a removed folder";
    } catch (const IoError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
}

TEST_F(IoFaultTest, FolderTurnedReadOnly)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders; runs as an unprivileged user";
    const std::string shown = bytesOf(256, 5);
    writeFile(m_working, shown);
    const fs::path chosen = m_folder.file("chosen.bin");
    writeFile(chosen, bytesOf(300, 6));
    const fs::path sub = m_folder.file("out");
    fs::create_directory(sub);
    ::chmod(m_folder.path().c_str(), S_IRUSR | S_IXUSR);
    ::chmod(sub.c_str(), S_IRUSR | S_IXUSR);

    // Load builds its copy beside the working file: no room to do that.
    try {
        replaceWithCopy(chosen.string(), m_working.string());
        FAIL() << "loaded into a read-only folder";
    } catch (const IoError& e) {
        EXPECT_STREQ(e.what(), "File access denied");
    }
    EXPECT_EQ(readFile(m_working), shown);

    // Save As cannot create its file.
    RecordFile image(m_working.string());
    image.openExisting();
    try {
        saveImageCopy(image, (sub / "copy.bin").string());
        FAIL() << "saved into a read-only folder";
    } catch (const IoError& e) {
        EXPECT_STREQ(e.what(), "File access denied");
    }
    EXPECT_TRUE(fs::is_empty(sub));

    // The working file itself stays writable: a page can still go back.
    image.seek(0);
    image.writeByte(0x5A);
    image.close();
    EXPECT_EQ(readFile(m_working)[0], 0x5A);
    ::chmod(m_folder.path().c_str(), S_IRWXU);
}

}  // namespace
}  // namespace kavoda
