// SPDX-License-Identifier: MIT
// Where the working image lives and how whole files move in and out of it:
// Load replaces the working file only with a complete copy, Save As copies
// the image out byte by byte. One process works in one folder at a time.
#pragma once

#include <cstdint>
#include <string>

namespace kavoda {

class RecordFile;

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

// Copies source to a fresh file beside target and renames it onto target
// once the copy is complete. On any failure the temporary file is removed,
// target is untouched and IoError tells why (the source's "File not found",
// the folder's "File access denied", a rename that fails). A source that is
// no plain file (a pipe, a device) is "File access denied". A source of more
// than maxBytes (when not negative) is refused with a std::runtime_error
// naming it. The new file gets the usual permissions, not the source's.
void replaceWithCopy(const std::string& source, const std::string& target,
                     std::int64_t maxBytes = -1);

// This process's hold on a working folder: an exclusive lock on the folder,
// which the system drops when the process ends, so a killed window leaves
// nothing stale behind. A second process asking for the same folder is
// refused with a std::runtime_error that says so. Where the folder cannot
// be opened for the lock at all, no lock is held and nothing is refused.
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

// Refuses, with a std::runtime_error naming the folder, a working file that
// exists and is not a regular file of its own (a symbolic link, a folder, a
// pipe, a device): the image would be written through it.
void checkWorkingFile(const std::string& folder);

// A new image built beside the working file: bytes are appended to a
// temporary file, and commit() renames it over the working file only once
// it is complete. Dropped without commit(), it removes the temporary file
// and the working file stays as it was.
class ImageReplacement {
public:
    explicit ImageReplacement(const std::string& target);
    ~ImageReplacement();
    ImageReplacement(const ImageReplacement&) = delete;
    ImageReplacement& operator=(const ImageReplacement&) = delete;

    void append(std::uint8_t value);
    // Flushes, closes and renames onto the target; IoError when any fails,
    // and then the target is untouched.
    void commit();
    const std::string& path() const { return m_path; }

private:
    std::string m_target;
    std::string m_path;
    int m_fd = -1;
    bool m_committed = false;
};

// Creates or truncates target and copies image into it from offset 0 to the
// end, one byte per call; image is left open at its end. When target is the
// image's own file nothing is done: it already holds the image.
void saveImageCopy(RecordFile& image, const std::string& target);

} // namespace kavoda
