// SPDX-License-Identifier: MIT
// The spidev transactions, and the device file over the Linux driver.
#include "Spidev.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "BusTrace.h"
#include "PortBackend.h"

#ifdef __linux__
#include <fcntl.h>
#include <linux/spi/spidev.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace kavoda {

std::uint32_t spidevBufferSize()
{
    std::ifstream parameter("/sys/module/spidev/parameters/bufsiz");
    long value = 0;
    if (parameter >> value && value >= 64 && value <= (1L << 24))
        return static_cast<std::uint32_t>(value);
    return kDefaultSpidevBufferSize;
}

SpidevTransport::SpidevTransport(SpidevFile& file, std::string path, std::uint32_t bufferSize,
                                 std::function<std::uint64_t()> clock)
    : m_file(file), m_path(std::move(path)), m_bufferSize(bufferSize), m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = monotonicNs;
}

SpiLimits SpidevTransport::limits() const
{
    // The driver counts the bytes out of all transfers of a message, and a
    // transaction's read shifts out as many as it reads.
    return SpiLimits{m_bufferSize, m_bufferSize};
}

std::vector<std::vector<std::uint8_t>> SpidevTransport::run(
    const std::vector<SpiTransaction>& transactions)
{
    std::vector<std::vector<std::uint8_t>> results(transactions.size());
    std::size_t first = 0;
    while (first < transactions.size()) {
        // As many whole transactions as the buffer takes, one at least (the
        // driver refuses one that is too long with EMSGSIZE).
        std::vector<SpidevTransfer> transfers;
        std::vector<std::pair<std::size_t, std::size_t>> reads;  // transaction, transfer
        std::uint64_t bytes = 0;
        std::size_t end = first;
        while (end < transactions.size()) {
            const SpiTransaction& t = transactions[end];
            const std::uint64_t size = t.out.size() + t.inLength;
            const std::size_t parts = (t.out.empty() ? 0 : 1) + (t.inLength > 0 ? 1 : 0);
            if (end > first &&
                (bytes + size > m_bufferSize || transfers.size() + parts > kMaxTransfers))
                break;
            if (!transfers.empty())
                transfers.back().csChange = true;  // release before this one
            if (!t.out.empty())
                transfers.push_back(SpidevTransfer{t.out, false, {}, false});
            if (t.inLength > 0) {
                reads.emplace_back(end, transfers.size());
                transfers.push_back(
                    SpidevTransfer{std::vector<std::uint8_t>(t.inLength, 0xFF), true, {}, false});
            }
            bytes += size;
            ++end;
        }
        if (!transfers.empty()) {
            int error = 0;
            do {
                error = m_file.message(transfers);
            } while (error == EINTR);
            if (error == EMSGSIZE)
                throw PortError("The SPI device " + m_path + " refused a transfer of " +
                                std::to_string(bytes) + " bytes: its driver's buffer is " +
                                std::to_string(m_bufferSize) + " bytes");
            if (error != 0)
                throw PortError("The SPI device " + m_path + " failed: " + std::strerror(error));
            for (const auto& [t, transfer] : reads)
                results[t] = std::move(transfers[transfer].in);
        }
        first = end;
    }
    return results;
}

bool isSpidevPath(const std::string& path)
{
    const std::string prefix = "/dev/spidev";
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string rest = path.substr(prefix.size());
    const std::size_t dot = rest.find('.');
    const auto digits = [](const std::string& s) {
        // Buses the kernel numbers itself count down from 32766.
        if (s.empty() || s.size() > 5)
            return false;
        for (const char c : s) {
            if (c < '0' || c > '9')
                return false;
        }
        return true;
    };
    return dot != std::string::npos && digits(rest.substr(0, dot)) && digits(rest.substr(dot + 1));
}

std::string spidevOpenErrorText(const std::string& path, int error, bool root)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "There is no SPI device " + path +
               ". Enable its SPI bus (on a Raspberry Pi: dtparam=spi=on in config.txt) with the "
               "spidev driver, and look for the device with ls /dev/spidev*";
    case EACCES:
    case EPERM:
        if (root)
            return "No permission to use the SPI device " + path +
                   ", even for root: a security module (AppArmor, SELinux) or the device's "
                   "mount refuses it";
        return "No permission to use the SPI device " + path +
               ". Add yourself to the group spi (sudo adduser \"$(id -un)\" spi) and log in again; "
               "where there is no such group, a udev rule (SUBSYSTEM==\"spidev\", "
               "GROUP=\"spi\", MODE=\"0660\") gives it the device";
    case EBUSY:
        return "The SPI device " + path + " is in use";
    default:
        return "Cannot open the SPI device " + path + ": " + std::strerror(error);
    }
}

#ifdef __linux__

namespace {

class LinuxSpidev final : public SpidevFile {
public:
    explicit LinuxSpidev(int fd) : m_fd(fd) {}
    ~LinuxSpidev() override { ::close(m_fd); }
    LinuxSpidev(const LinuxSpidev&) = delete;
    LinuxSpidev& operator=(const LinuxSpidev&) = delete;

    int message(std::vector<SpidevTransfer>& transfers) override
    {
        std::vector<spi_ioc_transfer> raw(transfers.size());
        for (std::size_t i = 0; i < transfers.size(); ++i) {
            SpidevTransfer& t = transfers[i];
            if (t.read)
                t.in.assign(t.out.size(), 0xFF);
            std::memset(&raw[i], 0, sizeof raw[i]);
            raw[i].tx_buf = reinterpret_cast<std::uintptr_t>(t.out.data());
            raw[i].rx_buf = t.read ? reinterpret_cast<std::uintptr_t>(t.in.data()) : 0;
            raw[i].len = static_cast<__u32>(t.out.size());
            raw[i].cs_change = t.csChange ? 1 : 0;
        }
        // SPI_IOC_MESSAGE(n) with n known only now: the size travels in the
        // request number.
        const unsigned long sized =
            _IOC(_IOC_WRITE, SPI_IOC_MAGIC, 0, raw.size() * sizeof(spi_ioc_transfer));
        if (::ioctl(m_fd, sized, raw.data()) < 0)
            return errno;
        return 0;
    }

private:
    int m_fd;
};

}  // namespace

std::unique_ptr<SpidevFile> openSpidev(const std::string& path, int khz)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        throw PortError(spidevOpenErrorText(path, errno, ::geteuid() == 0));
    auto device = std::make_unique<LinuxSpidev>(fd);
    std::uint8_t mode = SPI_MODE_0;
    std::uint8_t bits = 8;
    std::uint32_t hz = static_cast<std::uint32_t>(khz) * 1000u;
    if (::ioctl(fd, SPI_IOC_WR_MODE, &mode) < 0)
        throw PortError("The SPI device " + path + " refuses mode 0: " + std::strerror(errno));
    if (::ioctl(fd, SPI_IOC_WR_BITS_PER_WORD, &bits) < 0)
        throw PortError("The SPI device " + path + " refuses 8-bit words: " +
                        std::strerror(errno));
    if (::ioctl(fd, SPI_IOC_WR_MAX_SPEED_HZ, &hz) < 0)
        throw PortError("The SPI device " + path + " refuses a clock of " + std::to_string(khz) +
                        " kHz: " + std::strerror(errno));
    return device;
}

#else

std::unique_ptr<SpidevFile> openSpidev(const std::string& path, int)
{
    throw PortError("There is no SPI device " + path + " on this system");
}

#endif

}  // namespace kavoda
