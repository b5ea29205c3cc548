// SPDX-License-Identifier: MIT
#include "WorkingImage.h"

#include "IoError.h"
#include "RecordFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
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

// A new, empty file beside target with a name nobody else uses. Opened with
// mode 0666 so that the umask, not the source, decides its permissions.
TempFile createBeside(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    for (;;) {
        const std::string path = target + ".new-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(counter++);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return TempFile(fd, path);
        if (errno != EEXIST && errno != EINTR)
            throw IoError::fromErrno(errno);
    }
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

void replaceWithCopy(const std::string& source, const std::string& target)
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

    TempFile out = createBeside(target);
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t n = ::read(in.fd(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw IoError::fromErrno(errno);
        if (n == 0)
            break;
        writeAll(out.fd(), buffer.data(), static_cast<std::size_t>(n));
    }
    // On disk before the rename, so that a crash cannot leave a renamed but
    // empty working file.
    if (::fsync(out.fd()) != 0 && errno != EINVAL)
        throw IoError::fromErrno(errno);
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

} // namespace kavoda
