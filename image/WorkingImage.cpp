// SPDX-License-Identifier: MIT
#include "WorkingImage.h"

#include "IoError.h"
#include "RecordFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kavoda {

namespace {

// Closes a descriptor and removes a file unless told that all went well.
class TempFile {
public:
    TempFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~TempFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_kept)
            ::unlink(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }
    void closeChecked()
    {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && errno != EINTR)
            throw IoError::fromErrno(errno);
    }
    void keep() { m_kept = true; }

private:
    int m_fd;
    std::string m_path;
    bool m_kept = false;
};

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// A new, empty file beside target with a name nobody else uses; its path
// goes to path. Opened with mode 0666 so that the umask, not the source,
// decides its permissions.
int openBeside(const std::string& target, std::string& path)
{
    static std::atomic<unsigned> counter{0};
    for (;;) {
        path = target + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST && errno != EINTR)
            throw IoError::fromErrno(errno);
    }
}

TempFile createBeside(const std::string& target)
{
    std::string path;
    const int fd = openBeside(target, path);
    return TempFile(fd, path);
}

// On disk before the rename, so that a crash cannot leave a renamed but
// empty working file. A file system without fsync (EINVAL) is taken as is.
void syncData(int fd)
{
    if (::fsync(fd) != 0 && errno != EINVAL)
        throw IoError::fromErrno(errno);
}

void closeChecked(int fd)
{
    if (::close(fd) != 0 && errno != EINTR)
        throw IoError::fromErrno(errno);
}

void writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw IoError::fromErrno(errno);
        if (n == 0)
            throw IoError(kIoDiskFull);
        data += n;
        size -= static_cast<std::size_t>(n);
    }
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
    // Non-blocking, so that a named pipe cannot hold the window at the open.
    const Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.fd() < 0)
        throw IoError::fromErrno(errno);
    // Only a plain file (or a folder, which fails at its first read) is an
    // image: a pipe or a device could run for ever or fill the disk.
    struct stat st {};
    if (::fstat(in.fd(), &st) != 0)
        throw IoError::fromErrno(errno);
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw IoError::fromErrno(EACCES);
    // Told before anything is copied; the copy counts as well, for a file
    // that grows meanwhile.
    const auto tooLarge = [&] {
        return std::runtime_error(source + " is larger than " +
                                  std::to_string(maxBytes >> 20) +
                                  " MiB; no chip of this program is that big.");
    };
    if (maxBytes >= 0 && st.st_size > maxBytes)
        throw tooLarge();

    TempFile out = createBeside(target);
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
        writeAll(out.fd(), buffer.data(), static_cast<std::size_t>(n));
    }
    syncData(out.fd());
    out.closeChecked();
    if (::rename(out.path().c_str(), target.c_str()) != 0)
        throw IoError::fromErrno(errno);
    out.keep();
}

void saveImageCopy(RecordFile& image, const std::string& target)
{
    if (sameExistingFile(target, image.name()))
        return;
    // The image first: a closed one must not cost the target its content.
    image.seek(0);
    RecordFile out(target);
    out.createOrTruncate();
    while (!image.atEnd())
        out.writeByte(image.readByte());
    out.close();
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
    : m_target(target)
{
    m_fd = openBeside(target, m_path);
}

ImageReplacement::~ImageReplacement()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed)
        ::unlink(m_path.c_str());
}

void ImageReplacement::append(std::uint8_t value)
{
    if (m_fd < 0)
        throw IoError(kIoFileNotOpen);
    const char byte = static_cast<char>(value);
    writeAll(m_fd, &byte, 1);
}

void ImageReplacement::commit()
{
    if (m_fd < 0)
        throw IoError(kIoFileNotOpen);
    syncData(m_fd);
    const int fd = m_fd;
    m_fd = -1;
    closeChecked(fd);
    if (::rename(m_path.c_str(), m_target.c_str()) != 0)
        throw IoError::fromErrno(errno);
    m_committed = true;
}

} // namespace kavoda
