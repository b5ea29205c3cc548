// SPDX-License-Identifier: MIT
#include "SimulatedContentFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "PortBackend.h"
#include "SafeFile.h"

namespace kavoda {

ContentFile::ContentFile(const std::string& path, std::vector<std::uint8_t>& cells,
                         std::string_view caption)
    : m_path(path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        try {
            writeFileSafely(path, std::string_view(reinterpret_cast<const char*>(cells.data()),
                                                   cells.size()));
        } catch (const SafeFileError& e) {
            throw PortError("Cannot create the simulated chip's content file " + path + ": " +
                            e.reason());
        }
    } else if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) != cells.size()) {
        throw PortError("The simulated chip's content file " + path +
                        " is no file of the " + std::string(caption) + "'s " +
                        std::to_string(cells.size()) + " bytes; choose another file");
    }
    m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (m_fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        // A write-protected file: a chip that is read, and refuses writes.
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        m_readOnly = true;
    }
    if (m_fd < 0)
        throw PortError("Cannot open " + path + ": " + std::strerror(errno));
    // One simulated chip per file, in this program or another.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        throw PortError("The simulated chip's content file " + path +
                        " is in use by another simulated chip");
    }
    std::size_t got = 0;
    while (got < cells.size()) {
        const ssize_t n = ::pread(m_fd, cells.data() + got, cells.size() - got,
                                  static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(m_fd);
            throw PortError("Cannot read the simulated chip's content file " + path);
        }
        got += static_cast<std::size_t>(n);
    }
}

ContentFile::~ContentFile()
{
    ::close(m_fd);
}

void ContentFile::store(const std::uint8_t* bytes, std::uint32_t address, std::uint32_t length)
{
    if (m_readOnly)
        throw PortError("The simulated chip's content file " + m_path +
                        " is read-only: the chip can be read but not written");
    std::uint32_t put = 0;
    while (put < length) {
        const ssize_t n = ::pwrite(m_fd, bytes + put, length - put,
                                   static_cast<off_t>(address + put));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw PortError("Cannot write the simulated chip's content file " + m_path);
        put += static_cast<std::uint32_t>(n);
    }
}

}  // namespace kavoda
