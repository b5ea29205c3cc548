// SPDX-License-Identifier: MIT
// The pieces around the verbs: file formats, the atomic output file, the hex
// texts, the dump listing and the progress bar.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "HexDump.h"
#include "HexText.h"
#include "ImageFiles.h"
#include "ProgressBar.h"
#include "TempFolder.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

TEST(ImageFilesTest, FormatByNameOrByChoice)
{
    EXPECT_EQ(formatForPath("chip.hex", std::nullopt), FileFormat::IntelHex);
    EXPECT_EQ(formatForPath("dir.x/CHIP.IHEX", std::nullopt), FileFormat::IntelHex);
    EXPECT_EQ(formatForPath("chip.bin", std::nullopt), FileFormat::Raw);
    EXPECT_EQ(formatForPath("hex", std::nullopt), FileFormat::Raw);
    EXPECT_EQ(formatForPath("-", std::nullopt), FileFormat::Raw);
    EXPECT_EQ(formatForPath("-", FileFormat::IntelHex), FileFormat::IntelHex);
    EXPECT_EQ(formatForPath("chip.hex", FileFormat::Raw), FileFormat::Raw);
    EXPECT_EQ(parseFileFormat("ihex"), FileFormat::IntelHex);
    EXPECT_EQ(parseFileFormat("hex"), std::nullopt);
}

TEST(ImageFilesTest, ReadInputFromFileOrStreamWithinItsLimit)
{
    const fs::path folder = test::testFolder();
    const std::string path = (folder / "a.bin").string();
    std::ofstream(path, std::ios::binary) << std::string("\0\xFF\n\r", 4);
    std::istringstream unused;
    EXPECT_EQ(readInput(path, unused), std::string("\0\xFF\n\r", 4));
    std::istringstream in("from stdin");
    EXPECT_EQ(readInput("-", in), "from stdin");
    std::istringstream big(std::string(100, 'x'));
    EXPECT_THROW(readInput("-", big, 99), FileError);
    EXPECT_THROW(readInput((folder / "missing").string(), unused), FileError);
    EXPECT_THROW(readInput(folder.string(), unused), FileError);
}

TEST(ImageFilesTest, AtomicFileAppearsOnlyWhenCommitted)
{
    const fs::path folder = test::testFolder();
    const fs::path target = folder / "out.bin";
    std::ofstream(target) << "old";
    {
        AtomicFile file(target.string());
        EXPECT_TRUE(fs::exists(file.temporaryPath()));
        EXPECT_EQ(fs::path(file.temporaryPath()).parent_path(), folder);
        file.write("half");
    }  // abandoned, as by an interrupted read
    std::ifstream old(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
        << "no temporary file left behind";

    {
        AtomicFile file(target.string());
        file.write("new content");
        file.commit();
    }
    std::ifstream now(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(now), {}), "new content");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

    EXPECT_THROW(AtomicFile((folder / "no/such/dir/x.bin").string()), FileError);
    EXPECT_THROW(AtomicFile(folder.string()), FileError) << "a folder is no file";
}

TEST(ImageFilesTest, AtomicFileKeepsModeAndLinksAndRefusesWhatItMustNotReplace)
{
    const fs::path folder = test::testFolder();
    const auto mode = [](const fs::path& p) {
        struct stat info {};
        ::stat(p.c_str(), &info);
        return info.st_mode & 07777;
    };
    const auto content = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const auto writeFile = [](const fs::path& p, const std::string& text) {
        AtomicFile file(p.string());
        file.write(text);
        file.commit();
    };

    // A private backup stays private, a group-readable one group-readable.
    for (const mode_t kept : {0600, 0640, 0700}) {
        const fs::path secret = folder / "secret.bin";
        std::ofstream(secret) << "old";
        ASSERT_EQ(::chmod(secret.c_str(), kept), 0);
        writeFile(secret, "new");
        EXPECT_EQ(content(secret), "new");
        EXPECT_EQ(mode(secret), kept);
    }

    // A link is written through: the target changes, the link stays one,
    // also when the target is in another folder or does not exist yet.
    fs::create_directory(folder / "real");
    std::ofstream(folder / "real" / "target.bin") << "old";
    fs::create_symlink("real/target.bin", folder / "link.bin");
    {
        AtomicFile file((folder / "link.bin").string());
        EXPECT_EQ(fs::path(file.temporaryPath()).parent_path(), folder / "real")
            << "made beside the target, so the rename stays on its file system";
        file.write("through the link");
        file.commit();
    }
    EXPECT_TRUE(fs::is_symlink(folder / "link.bin"));
    EXPECT_EQ(content(folder / "real" / "target.bin"), "through the link");
    fs::create_symlink(folder / "real" / "later.bin", folder / "dangling.bin");
    fs::create_symlink("dangling.bin", folder / "chained.bin");
    writeFile(folder / "chained.bin", "made");
    EXPECT_TRUE(fs::is_symlink(folder / "chained.bin"));
    EXPECT_TRUE(fs::is_symlink(folder / "dangling.bin"));
    EXPECT_EQ(content(folder / "real" / "later.bin"), "made");
    fs::create_symlink("loop.bin", folder / "loop.bin");
    EXPECT_THROW(AtomicFile((folder / "loop.bin").string()), FileError);

    // Refused before anything is written: a read-only file (even for root,
    // whom the permission bits do not stop) and a pipe.
    const fs::path readOnly = folder / "ro.bin";
    std::ofstream(readOnly) << "keep";
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    try {
        AtomicFile file(readOnly.string());
        ADD_FAILURE() << "a read-only file was taken";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write " + readOnly.string() +
                                             ": it is read-only; make it writable or give "
                                             "another name");
    }
    EXPECT_EQ(content(readOnly), "keep");
    EXPECT_EQ(mode(readOnly), 0444u);
    const fs::path pipe = folder / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_THROW(AtomicFile(pipe.string()), FileError);
    EXPECT_TRUE(fs::is_fifo(pipe));
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"chained.bin", "dangling.bin", "later.bin",
                                               "link.bin", "loop.bin", "pipe", "real",
                                               "ro.bin", "secret.bin", "target.bin"}))
        << "no temporary file left behind";
}

TEST(HexTextTest, PaddedToTheWidthButNeverCut)
{
    EXPECT_EQ(addressHex(0x3BC), "03BC");
    EXPECT_EQ(addressHex(0x12345), "12345");
    EXPECT_EQ(byteHex(0x0A), "0A");
    EXPECT_EQ(byteHex(0xFF), "FF");
    EXPECT_EQ(hexNumber(0, 0), "0");
    EXPECT_EQ(hexNumber(0xABCDEF0123456789u, 1), "ABCDEF0123456789");
    EXPECT_EQ(hexNumber(0xFFFFFFFFFFFFFFFFu, 20), "0000FFFFFFFFFFFFFFFF");
    EXPECT_EQ(hexNumber(0x7F0, 8, HexCase::Lower), "000007f0");
}

TEST(HexDumpTest, LinesLikeHexdumpC)
{
    std::vector<std::uint8_t> bytes(20);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(0x3E + i);
    bytes[0] = 0x00;
    bytes[1] = 0x7F;
    EXPECT_EQ(hexDumpText(bytes.data(), bytes.size(), 0x7F0),
              "000007f0  00 7f 40 41 42 43 44 45  46 47 48 49 4a 4b 4c 4d  |..@ABCDEFGHIJKLM|\n"
              "00000800  4e 4f 50 51                                       |NOPQ|\n"
              "00000804\n");
    EXPECT_EQ(hexDumpText(bytes.data(), 0, 0), "");
}

TEST(ProgressBarTest, SilentUnlessEnabled)
{
    std::ostringstream err;
    {
        ProgressBar bar(err, false);
        bar.begin("Reading", 2048);
        for (long i = 0; i <= 2048; ++i)
            bar.update(i, i);
        bar.end();
    }
    EXPECT_EQ(err.str(), "");
}

TEST(ProgressBarTest, RedrawsInPlaceWithRateAndTimeLeft)
{
    using namespace std::chrono;
    steady_clock::time_point now{};
    std::ostringstream err;
    ProgressBar bar(err, true, [&now] { return now; });
    bar.begin("Writing", 200);
    bar.update(1, 0x10);  // 0 %: already drawn at the start
    const std::string afterStart = err.str();
    EXPECT_EQ(afterStart.find('\n'), std::string::npos);
    EXPECT_EQ(afterStart.rfind('\r'), 0u) << "one drawing";
    now += seconds(10);
    bar.update(100, 0x64);
    const std::string half = err.str().substr(afterStart.size());
    EXPECT_EQ(half, "\r" + progressLine("Writing", 100, 200, 0x64, 10.0));
    EXPECT_NE(half.find(" 50%"), std::string::npos);
    EXPECT_NE(half.find("0064"), std::string::npos);
    EXPECT_NE(half.find("10 B/s"), std::string::npos);
    EXPECT_NE(half.find("0:10 left"), std::string::npos);
    bar.end();
    EXPECT_EQ(err.str().back(), '\n');
    bar.end();
    EXPECT_EQ(err.str().find("\n\n"), std::string::npos) << "ended once";
}

}  // namespace
}  // namespace kavoda
