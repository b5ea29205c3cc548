// SPDX-License-Identifier: MIT
// The pieces around the verbs: file formats, the output file's messages, the
// hex texts, the dump listing and the progress bar.
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

TEST(ImageFilesTest, RefusalsSayWhatToDo)
{
    const fs::path folder = test::testFolder();
    const auto message = [](auto f) {
        try {
            f();
        } catch (const FileError& e) {
            return std::string(e.what());
        }
        return std::string("no FileError");
    };
    const std::string pipe = (folder / "pipe").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(message([&] { AtomicFile file(pipe); }),
              "Cannot write " + pipe + ": it is no regular file; give a file, or - for standard "
              "output");
    std::istringstream unused;
    EXPECT_EQ(message([&] { readInput(pipe, unused); }),
              "Cannot read " + pipe + ": it is a pipe that no program writes to; give a file, or "
              "- for standard input");
    EXPECT_EQ(message([&] { AtomicFile file(folder.string()); }),
              "Cannot write " + folder.string() + ": it is a folder; give a file");
    EXPECT_EQ(message([&] { AtomicFile file((folder / "no" / "x.bin").string()); }),
              "Cannot write a file in " + (folder / "no").string() +
                  ": No such file or directory");
    std::ofstream(folder / "big.bin") << "12345";
    EXPECT_EQ(message([&] { readInput((folder / "big.bin").string(), unused, 4); }),
              (folder / "big.bin").string() +
                  " is larger than 4 bytes: no image for these chips; check the file name");
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
