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

} // namespace

bool sameExistingFile(const std::string& a, const std::string& b)
{
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

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
        // Only a plain file is an image: a pipe or a device could run for
        // ever or fill the disk. The message names it, as the user may not
        // know what the name stands for.
        struct stat st {};
        if (::fstat(in.fd(), &st) != 0)
            throw IoError::fromErrno(errno);
        if (S_ISDIR(st.st_mode))
            throw std::runtime_error(source + " is a folder, not a file.");
        if (!S_ISREG(st.st_mode))
            throw std::runtime_error(source + " is a pipe or a device, not a file.");
        struct stat at {};
        if (::stat(target.c_str(), &at) == 0 && S_ISDIR(at.st_mode))
            throw std::runtime_error(target + " is a folder; move it away and try again.");
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
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder that may be written but not read cannot be opened itself:
    // a file of its own in it carries the lock instead.
    if (fd < 0 && errno == EACCES)
        fd = ::open(joinPath(folder, kFolderLockName).c_str(),
                    O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
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

bool sameFileContent(const std::string& a, const std::string& b)
{
    const auto readAll = [](const std::string& path, std::string& out) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const Descriptor file(fd);
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxImageBytes)
            return false;
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            const ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                return true;
            out.append(buffer.data(), static_cast<std::size_t>(n));
        }
    };
    std::string first, second;
    return readAll(a, first) && readAll(b, second) && first == second;
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
