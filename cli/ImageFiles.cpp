// SPDX-License-Identifier: MIT
// Reading, encoding and atomically writing image files.
#include "ImageFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <istream>
#include <sys/stat.h>
#include <unistd.h>

#include "IntelHex.h"

namespace kavoda {

namespace {

bool endsWithNoCase(const std::string& text, const std::string& suffix)
{
    if (text.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != suffix[i])
            return false;
    }
    return true;
}

// A failed call's errno, taken at the call; 0 where it stopped without one.
std::string causeText(int cause, const char* without)
{
    return cause != 0 ? std::strerror(cause) : without;
}

std::string readAll(std::istream& stream, const std::string& name, std::size_t maxBytes)
{
    std::string data;
    // Streams do not promise an errno: clear it, so a stale one is not told.
    errno = 0;
    char buffer[65536];
    while (stream) {
        stream.read(buffer, sizeof buffer);
        data.append(buffer, static_cast<std::size_t>(stream.gcount()));
        if (data.size() > maxBytes)
            throw FileError(name + " is larger than " + std::to_string(maxBytes) +
                            " bytes: no image for these chips; check the file name");
    }
    if (stream.bad()) {
        const int cause = errno;
        throw FileError("Cannot read " + name + ": " + causeText(cause, "read error"));
    }
    return data;
}

// Where a write to path lands: a symbolic link is followed to its target,
// which need not exist yet, so that the link itself stays as it is.
std::string writeTarget(const std::string& path)
{
    namespace fs = std::filesystem;
    fs::path target = path;
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(target, error)))
            return target.string();
        const fs::path link = fs::read_symlink(target, error);
        if (error)
            return target.string();
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    throw FileError("Cannot write " + path + ": " + std::strerror(ELOOP));
}

}  // namespace

std::optional<FileFormat> parseFileFormat(const std::string& text)
{
    if (text == "raw")
        return FileFormat::Raw;
    if (text == "ihex")
        return FileFormat::IntelHex;
    return std::nullopt;
}

FileFormat formatForPath(const std::string& path, std::optional<FileFormat> forced)
{
    if (forced)
        return *forced;
    if (path != "-" && (endsWithNoCase(path, ".hex") || endsWithNoCase(path, ".ihex")))
        return FileFormat::IntelHex;
    return FileFormat::Raw;
}

std::string readInput(const std::string& path, std::istream& in, std::size_t maxBytes)
{
    if (path == "-")
        return readAll(in, "standard input", maxBytes);
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw FileError("Cannot read " + path + ": it is a folder; give a file");
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        const int cause = errno;
        throw FileError("Cannot read " + path + ": " + causeText(cause, "cannot open it"));
    }
    return readAll(file, path, maxBytes);
}

AtomicFile::AtomicFile(std::string path) : m_path(std::move(path))
{
    if (m_path.empty() || m_path.back() == '/')
        throw FileError("Cannot write " + m_path + ": no file name; give a file, not a folder");
    m_target = writeTarget(m_path);
    const std::size_t slash = m_target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : m_target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
    struct stat info {};
    const bool exists = ::stat(m_target.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode))
        throw FileError("Cannot write " + m_path + ": it is a folder; give a file");
    // Renaming over a device or a pipe would replace it with a plain file.
    if (exists && !S_ISREG(info.st_mode))
        throw FileError("Cannot write " + m_path +
                        ": it is no regular file; give a file, or - for standard output");
    // The rename needs only the folder's permission: a file its owner made
    // read-only (or that is not ours to write) is not silently replaced.
    if (exists && ((info.st_mode & 0222) == 0 ||
                   ::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0))
        throw FileError("Cannot write " + m_path +
                        ": it is read-only; make it writable or give another name");
    std::string pattern = folder + "." + name + ".XXXXXX";
    m_fd = ::mkstemp(pattern.data());
    if (m_fd < 0) {
        const int cause = errno;
        throw FileError("Cannot write a file in " + (folder.empty() ? std::string(".") : folder) +
                        ": " + std::strerror(cause));
    }
    m_temp = pattern;
    // mkstemp makes the file private; give it the mode of the file it
    // replaces, or the mode any new file gets.
    if (exists) {
        ::fchmod(m_fd, info.st_mode & 0777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(m_fd, 0666 & ~mask);
    }
}

AtomicFile::~AtomicFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temp.empty())
        ::unlink(m_temp.c_str());
}

void AtomicFile::write(const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("write", errno);
        if (n == 0)
            fail("write", 0);  // no progress and no errno to tell why
        done += static_cast<std::size_t>(n);
    }
}

void AtomicFile::commit()
{
    if (::fsync(m_fd) != 0)
        fail("write", errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        fail("write", errno);
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0)
        fail("rename the finished file to", errno);
    m_temp.clear();
}

void AtomicFile::fail(const char* what, int cause)
{
    throw FileError(std::string("Cannot ") + what + " " + m_path + ": " +
                    causeText(cause, "short write"));
}

std::string encodeImage(const std::vector<std::uint8_t>& bytes, FileFormat format)
{
    if (format == FileFormat::IntelHex)
        return writeIntelHex(bytes.data(), bytes.size());
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace kavoda
