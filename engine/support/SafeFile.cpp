// SPDX-License-Identifier: MIT
#include "SafeFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace kavoda {

namespace {

using Problem = SafeFileError::Problem;

// Where a write to path lands: a symbolic link is followed to its target,
// which need not exist yet, so that the link itself stays as it is.
std::string followLinks(const std::string& path)
{
    std::string target = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return target;
        std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<std::size_t>(n) >= link.size())
            return target;
        link.resize(static_cast<std::size_t>(n));
        const std::size_t slash = target.rfind('/');
        target = link.front() == '/' || slash == std::string::npos
                     ? link
                     : target.substr(0, slash + 1) + link;
    }
    throw SafeFileError(Problem::Call, "write", path, ELOOP);
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Six characters that no other writer is likely to pick, like mkstemp's.
std::string uniqueSuffix()
{
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<unsigned> counter{0};
    const auto now =
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::minstd_rand random(now ^ (static_cast<unsigned>(::getpid()) << 16) ^ counter++);
    std::string suffix(6, '\0');
    for (char& c : suffix)
        c = kChars[random() % (sizeof kChars - 1)];
    return suffix;
}

// The temporary names are short whatever the target's name, so that a
// target with a name of the longest length allowed can still be written.
std::string temporaryName(const std::string& folder)
{
    return (folder == "/" ? "" : folder) + "/.kavoda-" + uniqueSuffix();
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

std::string reasonText(Problem problem, int cause)
{
    switch (problem) {
    case Problem::NoName: return "no file name";
    case Problem::Folder: return "it is a folder";
    case Problem::NotRegular: return "it is no regular file";
    case Problem::ReadOnly: return "it is read-only";
    case Problem::NoWriter: return "it is a pipe that no program writes to";
    case Problem::TooLarge: return "it is too large";
    case Problem::Call:
    case Problem::NewFile: break;
    }
    return cause != 0 ? std::strerror(cause) : "short write";
}

}  // namespace

SafeFileError::SafeFileError(Problem problem, std::string step, std::string path, int cause)
    : std::runtime_error("Cannot " + step + " " + path + ": " + reasonText(problem, cause)),
      m_problem(problem),
      m_step(std::move(step)),
      m_path(std::move(path)),
      m_cause(cause)
{
}

std::string SafeFileError::reason() const
{
    return reasonText(m_problem, m_cause);
}

SafeFile::SafeFile(std::string path, Links links, Temporary temporary) : m_path(std::move(path))
{
    if (m_path.empty() || m_path.back() == '/')
        throw SafeFileError(Problem::NoName, "write", m_path, m_path.empty() ? ENOENT : EISDIR);
    m_target = links == Links::WriteThrough ? followLinks(m_path) : m_path;
    m_folder = folderOf(m_target);
    struct stat info {};
    bool exists = ::lstat(m_target.c_str(), &info) == 0;
    if (!exists && errno != ENOENT)
        fail("write", errno);
    // A link that is replaced is no file of ours to take anything from.
    if (exists && S_ISLNK(info.st_mode))
        exists = false;
    if (exists && S_ISDIR(info.st_mode))
        throw SafeFileError(Problem::Folder, "write", m_path, EISDIR);
    // A rename over a device or a pipe would put a plain file in its place.
    if (exists && !S_ISREG(info.st_mode))
        throw SafeFileError(Problem::NotRegular, "write", m_path, EACCES);
    // The rename needs only the folder's permission: a file its owner made
    // read-only (or one that is not ours to write) is not silently replaced,
    // also not by root, whom the permission bits do not stop.
    if (exists && ((info.st_mode & 0222) == 0 ||
                   ::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0))
        throw SafeFileError(Problem::ReadOnly, "write", m_path, EACCES);

    openTemporary(temporary);
    if (exists) {
        // What the old file allowed, and whose it was; where the file system
        // keeps no such thing (a FAT stick) the file is written all the same.
        // Owner first: a change of owner clears the set-id bits.
        if (::fchown(m_fd, info.st_uid, info.st_gid) != 0) {
            // not ours to give away: the file is the writer's
        }
        if (::fchmod(m_fd, info.st_mode & 07777) != 0) {
            // no permissions on this file system
        }
    } else if (!m_unnamed) {
        // mkstemp makes the file private; a new file gets the usual mode.
        if (::fchmod(m_fd, 0666 & ~currentUmask()) != 0) {
            // no permissions on this file system
        }
    }
}

void SafeFile::openTemporary(Temporary temporary)
{
#ifdef O_TMPFILE
    if (temporary == Temporary::Unnamed) {
        m_fd = ::open(m_folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        // It is linked in place through /proc; without /proc it cannot be.
        if (m_fd >= 0 &&
            ::access(("/proc/self/fd/" + std::to_string(m_fd)).c_str(), F_OK) == 0) {
            m_unnamed = true;
            return;
        }
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        // Otherwise the folder or its file system offers none: a named file
        // says which, when it cannot be made either.
    }
#else
    (void)temporary;
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporaryName(m_folder);
        m_fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            m_temp = name;
            return;
        }
        if (errno != EEXIST)
            break;
    }
    const int cause = errno;
    throw SafeFileError(Problem::NewFile, "create a file in", m_folder, cause);
}

SafeFile::~SafeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_temp.empty())
        ::unlink(m_temp.c_str());
}

void SafeFile::fail(const char* step, int cause) const
{
    throw SafeFileError(Problem::Call, step, m_path, cause);
}

void SafeFile::write(const void* data, std::size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(m_fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("write", errno);
        if (n == 0)
            fail("write", 0);  // no progress and no errno to tell why
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

void SafeFile::linkInPlace()
{
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    // Straight to the target when there is none: no name but the final one
    // ever exists.
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_target.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return;
    if (errno != EEXIST)
        fail("write", errno);
    // Over an existing file: a name of its own first, then the rename.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporaryName(m_folder);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            m_temp = name;
            return;
        }
        if (errno != EEXIST)
            fail("write", errno);
    }
    fail("write", EEXIST);
}

void SafeFile::commit()
{
    // A file system without fsync (EINVAL) is taken as it is.
    if (::fsync(m_fd) != 0 && errno != EINVAL)
        fail("write", errno);
    if (m_unnamed)
        linkInPlace();
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR)
        fail("write", errno);
    if (!m_temp.empty() && ::rename(m_temp.c_str(), m_target.c_str()) != 0)
        fail("rename the finished file to", errno);
    m_committed = true;
    // The new name on the disk too; a folder that cannot be flushed does not
    // undo a file that is complete.
    const int folder = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        (void)::fsync(folder);
        ::close(folder);
    }
}

void writeFileSafely(const std::string& path, std::string_view data)
{
    SafeFile file(path);
    file.write(data);
    file.commit();
}

int openInput(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw SafeFileError(Problem::Call, "read", path, errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int cause = errno;
        ::close(fd);
        throw SafeFileError(Problem::Call, "read", path, cause);
    }
    // Only a pipe needs to stay non-blocking: its reader decides on waiting.
    if (!S_ISFIFO(info.st_mode))
        (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::string readInputFile(const std::string& path, std::size_t maxBytes)
{
    const int fd = openInput(path);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw SafeFileError(Problem::Call, "read", path, errno);
    if (S_ISDIR(info.st_mode))
        throw SafeFileError(Problem::Folder, "read", path, EISDIR);
    const bool pipe = S_ISFIFO(info.st_mode);
    if (!pipe && !S_ISREG(info.st_mode))
        throw SafeFileError(Problem::NotRegular, "read", path, EACCES);

    std::string data;
    char buffer[65536];
    bool writerSeen = !pipe;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN && pipe) {
            // A writer is there but has sent nothing yet: wait for it, as
            // for standard input.
            writerSeen = true;
            pollfd ready{fd, POLLIN, 0};
            (void)::poll(&ready, 1, -1);
            continue;
        }
        if (n < 0)
            throw SafeFileError(Problem::Call, "read", path, errno);
        if (n == 0)
            break;
        writerSeen = true;
        data.append(buffer, static_cast<std::size_t>(n));
        if (data.size() > maxBytes)
            throw SafeFileError(Problem::TooLarge, "read", path, EFBIG);
    }
    // A pipe read at once to its end without a byte: nobody writes to it.
    if (!writerSeen)
        throw SafeFileError(Problem::NoWriter, "read", path, ENXIO);
    return data;
}

}  // namespace kavoda
