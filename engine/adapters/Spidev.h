// SPDX-License-Identifier: MIT
// A Linux SPI device (/dev/spidevB.C: a Raspberry Pi's SPI pins, a USB-SPI
// bridge with a kernel driver) through the spidev driver's messages
// (SPI_IOC_MESSAGE), in mode 0 at the clock the user chose.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SpiTransport.h"

namespace kavoda {

// One transfer of a message, as the kernel's struct spi_ioc_transfer holds
// it: the bytes shifted out, and as many read back when `read` is set.
struct SpidevTransfer {
    std::vector<std::uint8_t> out;
    bool read = false;
    std::vector<std::uint8_t> in;  // filled for a read, out.size() bytes
    // Chip select released after this transfer and taken again before the
    // next one: the end of a transaction inside a message.
    bool csChange = false;
};

// The device file: the system's, or the simulated device in tests.
class SpidevFile {
public:
    virtual ~SpidevFile() = default;
    // One SPI_IOC_MESSAGE: chip select taken before the first transfer and
    // released after the last. Returns 0, or the errno of the failure.
    virtual int message(std::vector<SpidevTransfer>& transfers) = 0;
};

// The spidev driver's buffer: what the transfers of one message may shift
// out (and read) in all. Its module parameter bufsiz, 4096 unless set.
inline constexpr std::uint32_t kDefaultSpidevBufferSize = 4096;
std::uint32_t spidevBufferSize();

// The transactions of a run as few messages as the buffer allows: a
// transaction is a transfer out and one in (0xFF shifted out meanwhile),
// with chip select released between transactions.
class SpidevTransport final : public SpiTransport {
public:
    // The path names the device in errors; clock gives the time (the
    // monotonic clock; the simulation's in tests).
    SpidevTransport(SpidevFile& file, std::string path, std::uint32_t bufferSize,
                    std::function<std::uint64_t()> clock = {});

    std::vector<std::vector<std::uint8_t>> run(
        const std::vector<SpiTransaction>& transactions) override;
    SpiLimits limits() const override;
    std::uint64_t nowNs() const override { return m_clock(); }

    // Transfers in a message at most (the kernel's ioctl size allows 511).
    static constexpr std::size_t kMaxTransfers = 64;

private:
    SpidevFile& m_file;
    std::string m_path;
    std::uint32_t m_bufferSize;
    std::function<std::uint64_t()> m_clock;
};

// "/dev/spidev0.0" and the like; bus and chip-select numbers only.
bool isSpidevPath(const std::string& path);

// Opens the device, sets mode 0, 8 bits a word and the clock; throws
// PortError with one clear message when it is missing, when the user may not
// open it, or when it refuses the mode.
std::unique_ptr<SpidevFile> openSpidev(const std::string& path, int khz);

// The message of that PortError for an errno of open(2); root is told of
// what else may refuse it rather than of groups.
std::string spidevOpenErrorText(const std::string& path, int error, bool root);

}  // namespace kavoda
