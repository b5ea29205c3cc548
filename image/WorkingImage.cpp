// SPDX-License-Identifier: MIT
#include "WorkingImage.h"

#include "IoError.h"
#include "RecordFile.h"
#include "SafeFile.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kavoda {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { ::close(m_fd); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// The I/O error for what a safe file reported; a write that stopped short
// without a cause is the full disk.
IoError ioErrorOf(const SafeFileError& e)
{
    return e.cause() != 0 ? IoError::fromErrno(e.cause()) : IoError(kIoDiskFull);
}

// True when both names reach the same existing file (the same inode), so a
// second name, a link or a relative path to it all count.
bool sameExistingFile(const std::string& a, const std::string& b)
{
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

std::string currentFolder()
{
    std::vector<char> buffer(4096);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()))
            return buffer.data();
        if (errno != ERANGE)
            return ".";
        buffer.resize(buffer.size() * 2);
    }
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

void replaceWithCopy(const std::string& source, const std::string& target, std::int64_t maxBytes)
{
    try {
        const Descriptor in(openInput(source));
        // Only a plain file (or a folder, which fails at its first read) is
        // an image: a pipe or a device could run for ever or fill the disk.
        struct stat st {};
        if (::fstat(in.fd(), &st) != 0)
            throw IoError::fromErrno(errno);
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            throw IoError::fromErrno(EACCES);
        // Told before anything is copied; the copy counts as well, for a
        // file that grows meanwhile.
        const auto tooLarge = [&] {
            return std::runtime_error(source + " is larger than " +
                                      std::to_string(maxBytes >> 20) +
                                      " MiB; no chip of this program is that big.");
        };
        if (maxBytes >= 0 && st.st_size > maxBytes)
            throw tooLarge();

        SafeFile out(target, SafeFile::Links::Replace);
        std::vector<char> buffer(64 * 1024);
        std::int64_t copied = 0;
        for (;;) {
            const ssize_t n = ::read(in.fd(), buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw IoError::fromErrno(errno);
            if (n == 0)
                break;
            copied += n;
            if (maxBytes >= 0 && copied > maxBytes)
                throw tooLarge();
            out.write(buffer.data(), static_cast<std::size_t>(n));
        }
        out.commit();
    } catch (const SafeFileError& e) {
        throw ioErrorOf(e);
    }
}

void saveImageCopy(RecordFile& image, const std::string& target)
{
    if (sameExistingFile(target, image.name()))
        return;
    // The image first: a closed one must not cost the target its content.
    image.seek(0);
    try {
        // The old file stays whole until the copy is complete.
        SafeFile out(target);
        std::string chunk;
        while (!image.atEnd()) {
            chunk += static_cast<char>(image.readByte());
            if (chunk.size() == 64 * 1024) {
                out.write(chunk);
                chunk.clear();
            }
        }
        out.write(chunk);
        out.commit();
    } catch (const SafeFileError& e) {
        throw ioErrorOf(e);
    }
}

WorkingFolderLock::WorkingFolderLock(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    // flock() belongs to this open of the folder: another process, or
    // another open in this one, is refused until this descriptor closes.
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_fd = fd;
        return;
    }
    const int cause = errno;
    ::close(fd);
    if (cause == EWOULDBLOCK)
        throw std::runtime_error(
            std::string("Kavoda is already running in this folder (its working file ") +
            kWorkingFileName +
            " is in use). Start it from another folder to work on two chips at once.");
}

WorkingFolderLock::~WorkingFolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void checkWorkingFile(const std::string& folder)
{
    struct stat st {};
    if (::lstat(joinPath(folder, kWorkingFileName).c_str(), &st) != 0)
        return;  // none yet, or out of reach: the first use tells
    if (!S_ISREG(st.st_mode))
        throw std::runtime_error(std::string(kWorkingFileName) + " in " + folder +
                                 " is not a regular file; move it away and start again.");
}

ImageReplacement::ImageReplacement(const std::string& target)
{
    try {
        m_file = std::make_unique<SafeFile>(target, SafeFile::Links::Replace);
    } catch (const SafeFileError& e) {
        throw ioErrorOf(e);
    }
}

ImageReplacement::~ImageReplacement() = default;

void ImageReplacement::append(std::uint8_t value)
{
    if (!m_file)
        throw IoError(kIoFileNotOpen);
    try {
        m_file->write(&value, 1);
    } catch (const SafeFileError& e) {
        throw ioErrorOf(e);
    }
}

void ImageReplacement::commit()
{
    if (!m_file)
        throw IoError(kIoFileNotOpen);
    try {
        // Whatever happens, the replacement is over: appending after it is
        // an error, and an uncommitted file is dropped.
        const std::unique_ptr<SafeFile> file = std::move(m_file);
        file->commit();
    } catch (const SafeFileError& e) {
        throw ioErrorOf(e);
    }
}

} // namespace kavoda
