// SPDX-License-Identifier: MIT
// The working file's type: positions, the end test, growth, and the I/O
// errors that real failing files give.
#include "Files.h"
#include "IoError.h"
#include "RecordFile.h"
#include "TempFolder.h"

#include <cerrno>
#include <exception>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace kavoda;
using namespace kavoda::test;

namespace {

TEST(RecordFile, CreatesEmptyWritesReadsAndSeeksAnywhere)
{
    RecordFile file((testFolder() / "Tempor.tmp").string());
    file.createOrTruncate();
    EXPECT_TRUE(file.isOpen());
    EXPECT_EQ(file.size(), 0);
    EXPECT_TRUE(file.atEnd());

    for (int b : {0x41, 0x00, 0xFF})
        file.writeByte(static_cast<std::uint8_t>(b));
    EXPECT_EQ(file.position(), 3);
    EXPECT_TRUE(file.atEnd());

    file.seek(1);
    EXPECT_FALSE(file.atEnd());
    EXPECT_EQ(file.readByte(), 0x00);
    EXPECT_EQ(file.readByte(), 0xFF);
    EXPECT_TRUE(file.atEnd());

    // Beyond the end: the seek is accepted, the end test is true, and a
    // write there fills the gap with zeros.
    file.seek(10);
    EXPECT_TRUE(file.atEnd());
    file.writeByte(0x7E);
    EXPECT_EQ(file.size(), 11);
    file.close();
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(readBytes(file.name()), (Bytes{0x41, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0x7E}));
}

TEST(RecordFile, OpensExistingAtTheStartAndReopensWhenOpen)
{
    const auto path = testFolder() / "image.bin";
    writeBytes(path, {1, 2, 3});
    RecordFile file(path.string());
    file.openExisting();
    file.seek(2);
    file.openExisting();  // closes first, so back at 0
    EXPECT_EQ(file.position(), 0);
    EXPECT_EQ(file.readByte(), 1);
    file.writeByte(0x22);
    // Unbuffered: another reader sees the byte before the file is closed.
    EXPECT_EQ(readBytes(path), (Bytes{1, 0x22, 3}));

    file.createOrTruncate();
    EXPECT_EQ(file.size(), 0);
    EXPECT_TRUE(readBytes(path).empty());
}

TEST(RecordFile, ReadingAtTheEndIsError100)
{
    RecordFile file((testFolder() / "one").string());
    file.createOrTruncate();
    file.writeByte(9);
    EXPECT_EQ(ioMessage([&] { file.readByte(); }), "Read beyond end of file");
    EXPECT_EQ(ioCode([&] { file.readByte(); }), 100);
}

TEST(RecordFile, EveryOperationOnAClosedFileIsError103)
{
    RecordFile never((testFolder() / "never").string());
    RecordFile closed((testFolder() / "closed").string());
    closed.createOrTruncate();
    closed.close();
    for (RecordFile* file : {&never, &closed}) {
        EXPECT_EQ(ioMessage([&] { file->close(); }), "I/O error 103");
        EXPECT_EQ(ioCode([&] { file->seek(0); }), 103);
        EXPECT_EQ(ioCode([&] { file->atEnd(); }), 103);
        EXPECT_EQ(ioCode([&] { file->readByte(); }), 103);
        EXPECT_EQ(ioCode([&] { file->writeByte(0); }), 103);
    }
}

TEST(RecordFile, PathErrorsOfRealFiles)
{
    const auto dir = testFolder();
    writeBytes(dir / "plain", {1});
    const struct {
        std::string path;
        bool create;
        std::string message;
    } cases[] = {
        {(dir / "missing").string(), false, "File not found"},
        {(dir / "no-folder" / "x").string(), false, "File not found"},
        {(dir / "no-folder" / "x").string(), true, "File not found"},
        {(dir / "plain" / "x").string(), true, "Invalid filename"},  // a file used as a folder
        {(dir / std::string(300, 'n')).string(), true, "Invalid filename"},
        {dir.string(), false, "I/O error " + std::to_string(EISDIR)},  // no errno of the table
    };
    for (const auto& c : cases) {
        RecordFile file(c.path);
        EXPECT_EQ(ioMessage([&] { c.create ? file.createOrTruncate() : file.openExisting(); }),
                  c.message)
            << c.path;
        EXPECT_FALSE(file.isOpen());
    }
}

TEST(RecordFile, AFullDiskIsError101)
{
    RecordFile full("/dev/full");
    full.openExisting();
    EXPECT_EQ(ioMessage([&] { full.writeByte(0x55); }), "Disk full");
    EXPECT_EQ(ioCode([&] { full.writeByte(0x55); }), 101);
}

TEST(RecordFile, TooManyOpenFilesIsError4)
{
    const auto path = testFolder() / "f";
    writeBytes(path, {1});
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 3;  // standard input, output and error use them all
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    RecordFile file(path.string());
    // Looked at once the limit is back: the sanitizers' runtime needs a file
    // of its own to check a virtual call.
    std::exception_ptr error;
    try {
        file.openExisting();
    } catch (...) {
        error = std::current_exception();
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(error);
    EXPECT_EQ(ioMessage([&] { std::rethrow_exception(error); }), "Too many open files");
}

TEST(RecordFile, ReadOnlyFileAndFolderAreAccessDenied)
{
    KAVODA_SKIP_AS_ROOT();
    const auto dir = testFolder();
    const auto file = dir / "ro.bin";
    writeBytes(file, {1});
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    RecordFile readOnly(file.string());
    EXPECT_EQ(ioMessage([&] { readOnly.openExisting(); }), "File access denied");
    EXPECT_EQ(ioMessage([&] { readOnly.createOrTruncate(); }), "File access denied");
    EXPECT_EQ(readBytes(file), Bytes{1});

    const auto locked = dir / "locked";
    ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
    RecordFile inLocked((locked / "new.bin").string());
    EXPECT_EQ(ioCode([&] { inLocked.createOrTruncate(); }), 5);
}

TEST(IoError, MessagesByCode)
{
    EXPECT_EQ(ioErrorMessage(106), "Invalid numeric input");
    EXPECT_EQ(ioErrorMessage(32), "I/O error 32");
    // EIO shares its number with "File access denied" but is no such thing.
    const IoError eio = IoError::fromErrno(EIO);
    EXPECT_EQ(eio.code(), EIO);
    EXPECT_STREQ(eio.what(), "I/O error 5");
    EXPECT_EQ(IoError::fromErrno(EROFS).code(), 5);
    EXPECT_EQ(IoError::fromErrno(ENFILE).code(), 4);
}

} // namespace
