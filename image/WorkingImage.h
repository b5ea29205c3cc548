// SPDX-License-Identifier: MIT
// Where the working image lives and how whole files move in and out of it:
// Load replaces the working file only with a complete copy, Save As copies
// the image out byte by byte. One process works in one folder at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kavoda {

class RecordFile;
class SafeFile;

// The working file's name, in its fixed folder.
inline constexpr const char* kWorkingFileName = "Tempor.tmp";

// The current directory as an absolute path, or "." when it cannot be had
// (it was removed, or is out of reach).
std::string currentFolder();

// folder/name, or name alone for an empty folder.
std::string joinPath(const std::string& folder, const std::string& name);

// The largest file Load takes: far beyond the biggest chip, small enough
// that a wrong choice cannot fill the disk.
inline constexpr std::int64_t kMaxImageBytes = std::int64_t{16} << 20;

// Copies source to a new file that takes target's place once the copy is
// complete and on the disk. On any failure target is untouched, nothing is
// left beside it, and IoError tells why (the source's "File not found", the
// folder's "File access denied", a rename that fails). A source that is no
// plain file (a folder, a pipe, a device), and a folder at target, are
// refused with a std::runtime_error naming them; a pipe is never waited on.
// A source of more than maxBytes (when not negative) is refused with a
// std::runtime_error naming it. The new file gets target's permissions, or
// the usual ones, never the source's; a symbolic link at target is replaced.
void replaceWithCopy(const std::string& source, const std::string& target,
                     std::int64_t maxBytes = -1);

// The file that carries the lock in a folder that cannot be read.
inline constexpr const char* kFolderLockName = "Tempor.lck";

// This process's hold on a working folder: an exclusive lock on the folder
// (or, in a folder that may be written but not read, on its file
// kFolderLockName), which the system drops when the process ends, so a
// killed window leaves nothing stale behind. A second process asking for
// the same folder is refused with a std::runtime_error that says so. Where
// neither can be opened, no lock is held and nothing is refused.
class WorkingFolderLock {
public:
    explicit WorkingFolderLock(const std::string& folder);
    ~WorkingFolderLock();
    WorkingFolderLock(const WorkingFolderLock&) = delete;
    WorkingFolderLock& operator=(const WorkingFolderLock&) = delete;

    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// True when both names reach the same existing file (the same inode), so a
// second name, a link or a relative path to it all count.
bool sameExistingFile(const std::string& a, const std::string& b);

// True when both files can be read and hold the same bytes.
bool sameFileContent(const std::string& a, const std::string& b);

// Refuses, with a std::runtime_error naming the folder, a working file that
// exists and is not a regular file of its own (a symbolic link, a folder, a
// pipe, a device): the image would be written through it.
void checkWorkingFile(const std::string& folder);

// A new image built beside the working file: bytes are appended to a
// temporary file, and commit() puts it in the working file's place only once
// it is complete (a symbolic link there is replaced, not written through).
// Dropped without commit(), it leaves nothing and the working file stays as
// it was.
class ImageReplacement {
public:
    explicit ImageReplacement(const std::string& target);
    ~ImageReplacement();
    ImageReplacement(const ImageReplacement&) = delete;
    ImageReplacement& operator=(const ImageReplacement&) = delete;

    // One byte per call; I/O error 103 after the commit.
    void append(std::uint8_t value);
    // Flushes and puts the file in place; IoError when that fails, and then
    // the target is untouched.
    void commit();

private:
    std::unique_ptr<SafeFile> m_file;
};

// Copies image from offset 0 to the end, one byte per call, into a new file
// that replaces target once complete, so that a failure (a full disk) leaves
// an existing target whole. A replaced target keeps its permissions, a
// symbolic link is written through; a read-only file, a folder, a device or
// a pipe is refused. image is left open at its end. When target is the
// image's own file nothing is done: it already holds the image.
void saveImageCopy(RecordFile& image, const std::string& target);

} // namespace kavoda
