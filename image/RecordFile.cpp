// SPDX-License-Identifier: MIT
#include "RecordFile.h"

#include "IoError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kavoda {

RecordFile::~RecordFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void RecordFile::open(int flags)
{
    if (isOpen())
        close();
    int fd;
    do {
        fd = ::open(m_name.c_str(), flags | O_RDWR | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw IoError::fromErrno(errno);
    m_fd = fd;
}

void RecordFile::openExisting()
{
    open(0);
}

void RecordFile::createOrTruncate()
{
    open(O_CREAT | O_TRUNC);
}

void RecordFile::requireOpen() const
{
    if (!isOpen())
        throw IoError(kIoFileNotOpen);
}

void RecordFile::close()
{
    requireOpen();
    const int fd = m_fd;
    m_fd = -1;  // the descriptor is gone even when close reports an error
    if (::close(fd) != 0 && errno != EINTR)
        throw IoError::fromErrno(errno);
}

void RecordFile::seek(std::int64_t offset)
{
    requireOpen();
    if (::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0)
        throw IoError::fromErrno(errno);
}

std::int64_t RecordFile::position() const
{
    requireOpen();
    const off_t pos = ::lseek(m_fd, 0, SEEK_CUR);
    if (pos < 0)
        throw IoError::fromErrno(errno);
    return pos;
}

std::int64_t RecordFile::size() const
{
    requireOpen();
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        throw IoError::fromErrno(errno);
    return st.st_size;
}

bool RecordFile::atEnd() const
{
    // The size is asked anew each time: another process may have grown the
    // file since the last call.
    return position() >= size();
}

std::uint8_t RecordFile::readByte()
{
    requireOpen();
    std::uint8_t value = 0;
    ssize_t n;
    do {
        n = ::read(m_fd, &value, 1);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        throw IoError::fromErrno(errno);
    if (n == 0)
        throw IoError(kIoReadPastEnd);
    return value;
}

void RecordFile::writeByte(std::uint8_t value)
{
    requireOpen();
    ssize_t n;
    do {
        n = ::write(m_fd, &value, 1);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        throw IoError::fromErrno(errno);
    if (n == 0)
        throw IoError(kIoDiskFull);
}

} // namespace kavoda
