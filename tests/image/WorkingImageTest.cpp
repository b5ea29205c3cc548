// SPDX-License-Identifier: MIT
// Whole-file copies into and out of the working image.
#include "Files.h"
#include "IoError.h"
#include "RecordFile.h"
#include "TempFolder.h"
#include "WorkingImage.h"

#include <algorithm>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace kavoda;
using namespace kavoda::test;

namespace {

std::string errorMessage(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

std::vector<std::string> namesIn(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ReplaceWithCopy, PutsACompleteCopyInPlaceAndLeavesNothingElse)
{
    const auto dir = testFolder();
    const auto source = dir / "src.txt";
    const auto target = dir / "Tempor.tmp";
    writeBytes(source, {'a', '\r', '\n', 0x00, 0xFF});
    writeBytes(target, countingBytes(700));
    replaceWithCopy(source.string(), target.string());
    EXPECT_EQ(readBytes(target), (Bytes{'a', '\r', '\n', 0x00, 0xFF}));
    EXPECT_EQ(readBytes(source), (Bytes{'a', '\r', '\n', 0x00, 0xFF}));
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"Tempor.tmp", "src.txt"}));

    // Larger than one copy buffer, and empty.
    writeBytes(source, countingBytes(200000));
    replaceWithCopy(source.string(), target.string());
    EXPECT_EQ(readBytes(target), countingBytes(200000));
    writeBytes(source, {});
    replaceWithCopy(source.string(), target.string());
    EXPECT_TRUE(readBytes(target).empty());
}

TEST(ReplaceWithCopy, AFailedCopyLeavesTheTargetAsItWas)
{
    const auto dir = testFolder();
    const auto target = dir / "Tempor.tmp";
    writeBytes(target, {1, 2, 3});
    EXPECT_EQ(ioMessage([&] { replaceWithCopy((dir / "missing.bin").string(), target.string()); }),
              "File not found");
    // A folder opens but is no image, and is named.
    std::filesystem::create_directory(dir / "folder");
    EXPECT_EQ(errorMessage([&] { replaceWithCopy((dir / "folder").string(), target.string()); }),
              (dir / "folder").string() + " is a folder, not a file.");
    EXPECT_EQ(readBytes(target), (Bytes{1, 2, 3}));
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"Tempor.tmp", "folder"}));
}

TEST(ReplaceWithCopy, PipesAndDevicesAreNoImages)
{
    const auto dir = testFolder();
    const auto target = dir / "Tempor.tmp";
    writeBytes(target, {1, 2, 3});
    const auto fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Neither waits for a writer nor copies for ever.
    for (const std::string& source : {fifo.string(), std::string("/dev/zero")})
        EXPECT_EQ(errorMessage([&] { replaceWithCopy(source, target.string()); }),
                  source + " is a pipe or a device, not a file.");
    EXPECT_EQ(readBytes(target), (Bytes{1, 2, 3}));
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"Tempor.tmp", "pipe"}));
}

TEST(ReplaceWithCopy, ASourceBeyondTheLimitIsRefusedBeforeAnythingIsCopied)
{
    const auto dir = testFolder();
    const auto source = dir / "big.bin";
    const auto target = dir / "Tempor.tmp";
    writeBytes(target, {1, 2, 3});
    writeBytes(source, countingBytes(1000));
    replaceWithCopy(source.string(), target.string(), 1000);
    EXPECT_EQ(readBytes(target), countingBytes(1000)) << "the limit itself is taken";

    writeBytes(target, {1, 2, 3});
    writeBytes(source, countingBytes(1001));
    EXPECT_THROW(replaceWithCopy(source.string(), target.string(), 1000), std::runtime_error);
    EXPECT_EQ(readBytes(target), (Bytes{1, 2, 3}));
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"Tempor.tmp", "big.bin"}));
}

TEST(ImageReplacement, TheTargetChangesOnlyAtTheCommit)
{
    const auto dir = testFolder();
    const auto target = dir / "Tempor.tmp";
    writeBytes(target, countingBytes(300));
    {
        ImageReplacement dropped(target.string());
        for (int i = 0; i < 100; ++i)
            dropped.append(0xEE);
        EXPECT_EQ(readBytes(target), countingBytes(300)) << "untouched while it fills";
    }
    EXPECT_EQ(readBytes(target), countingBytes(300));
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"Tempor.tmp"}));

    // A symbolic link in the target's place is replaced, not written through.
    const auto elsewhere = dir / "elsewhere.bin";
    writeBytes(elsewhere, countingBytes(50));
    std::filesystem::remove(target);
    std::filesystem::create_symlink(elsewhere, target);
    ImageReplacement full(target.string());
    full.append(0x12);
    full.append(0x34);
    full.commit();
    EXPECT_FALSE(std::filesystem::is_symlink(target));
    EXPECT_EQ(readBytes(target), (Bytes{0x12, 0x34}));
    EXPECT_EQ(readBytes(elsewhere), countingBytes(50));
    EXPECT_EQ(ioMessage([&] { full.append(0); }), "I/O error 103");
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"Tempor.tmp", "elsewhere.bin"}));
}

TEST(ReplaceWithCopy, ATargetThatCannotBeReplacedIsReported)
{
    const auto dir = testFolder();
    const auto source = dir / "src.bin";
    writeBytes(source, {9});
    // A folder with something in it where the working file (or the kept
    // copy) should be: named, not "I/O error 21".
    const auto target = dir / "Tempor.tmp";
    std::filesystem::create_directories(target / "inside");
    EXPECT_EQ(errorMessage([&] { replaceWithCopy(source.string(), target.string()); }),
              target.string() + " is a folder; move it away and try again.");
    EXPECT_TRUE(std::filesystem::is_directory(target / "inside"));
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"Tempor.tmp", "src.bin"}));
}

TEST(ReplaceWithCopy, OntoItselfKeepsTheContent)
{
    const auto dir = testFolder();
    const auto target = dir / "Tempor.tmp";
    writeBytes(target, countingBytes(300));
    replaceWithCopy(target.string(), target.string());
    EXPECT_EQ(readBytes(target), countingBytes(300));
    // Through another name of the same folder.
    replaceWithCopy((dir / "." / "Tempor.tmp").string(), target.string());
    EXPECT_EQ(readBytes(target), countingBytes(300));
}

TEST(ReplaceWithCopy, TheNewFileIsWritableEvenFromAReadOnlySource)
{
    const auto dir = testFolder();
    const auto source = dir / "ro.bin";
    writeBytes(source, {5});
    ASSERT_EQ(::chmod(source.c_str(), 0444), 0);
    const auto target = dir / "Tempor.tmp";
    replaceWithCopy(source.string(), target.string());
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
}

TEST(ReplaceWithCopy, AnUnwritableFolderIsAccessDenied)
{
    KAVODA_SKIP_AS_ROOT();
    const auto dir = testFolder();
    const auto source = dir / "src.bin";
    writeBytes(source, {1});
    const auto locked = dir / "locked";
    std::filesystem::create_directory(locked);
    writeBytes(locked / "Tempor.tmp", {7});
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    EXPECT_EQ(ioMessage([&] { replaceWithCopy(source.string(), (locked / "Tempor.tmp").string()); }),
              "File access denied");
    EXPECT_EQ(readBytes(locked / "Tempor.tmp"), Bytes{7});
}

TEST(SaveImageCopy, CopiesFromTheStartToTheEndAndLeavesTheImageAtItsEnd)
{
    const auto dir = testFolder();
    writeBytes(dir / "Tempor.tmp", countingBytes(300));
    RecordFile image((dir / "Tempor.tmp").string());
    image.openExisting();
    image.seek(123);
    writeBytes(dir / "old.bin", countingBytes(1000));  // replaced by the save
    saveImageCopy(image, (dir / "old.bin").string());
    EXPECT_EQ(readBytes(dir / "old.bin"), countingBytes(300));
    EXPECT_TRUE(image.isOpen());
    EXPECT_EQ(image.position(), 300);

    writeBytes(dir / "Tempor.tmp", {});
    image.openExisting();
    saveImageCopy(image, (dir / "empty.bin").string());
    EXPECT_TRUE(std::filesystem::exists(dir / "empty.bin"));
    EXPECT_TRUE(readBytes(dir / "empty.bin").empty());
}

TEST(SaveImageCopy, OntoTheImageItselfChangesNothing)
{
    const auto dir = testFolder();
    writeBytes(dir / "Tempor.tmp", countingBytes(300));
    RecordFile image((dir / "Tempor.tmp").string());
    image.openExisting();
    saveImageCopy(image, (dir / "Tempor.tmp").string());
    saveImageCopy(image, (dir / "." / "Tempor.tmp").string());
    EXPECT_EQ(readBytes(dir / "Tempor.tmp"), countingBytes(300));
}

TEST(SaveImageCopy, FailuresAreReportedWithTheirMessages)
{
    const auto dir = testFolder();
    writeBytes(dir / "Tempor.tmp", {1, 2});
    RecordFile image((dir / "Tempor.tmp").string());
    image.openExisting();
    EXPECT_EQ(ioMessage([&] { saveImageCopy(image, (dir / "no" / "x.bin").string()); }),
              "File not found");
    // A device would be replaced by a plain file, or never end: refused.
    EXPECT_EQ(ioMessage([&] { saveImageCopy(image, "/dev/full"); }), "File access denied");

    image.close();  // as after a failed reopen
    EXPECT_EQ(ioMessage([&] { saveImageCopy(image, (dir / "out.bin").string()); }),
              "I/O error 103");
    // A save that cannot read the image leaves a file it would have replaced.
    writeBytes(dir / "kept.bin", countingBytes(40));
    EXPECT_EQ(ioMessage([&] { saveImageCopy(image, (dir / "kept.bin").string()); }),
              "I/O error 103");
    EXPECT_EQ(readBytes(dir / "kept.bin"), countingBytes(40));
}

TEST(WorkingFolder, CurrentFolderIsAbsoluteAndPathsJoin)
{
    EXPECT_EQ(currentFolder().front(), '/');
    EXPECT_EQ(joinPath("/a", "Tempor.tmp"), "/a/Tempor.tmp");
    EXPECT_EQ(joinPath("/", "Tempor.tmp"), "/Tempor.tmp");
    EXPECT_EQ(joinPath("", "Tempor.tmp"), "Tempor.tmp");
}

} // namespace
