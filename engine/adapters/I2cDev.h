// SPDX-License-Identifier: MIT
// A Linux I2C bus (/dev/i2c-N: a USB-I2C bridge, a Raspberry Pi's pins)
// through the i2c-dev driver's combined transfers (I2C_RDWR).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HardwarePort.h"
#include "I2cController.h"

namespace kavoda {

// One message of a combined transfer, as the kernel's struct i2c_msg holds it:
// a 7-bit address, the direction, and the bytes written or to be read.
struct I2cMessage {
    std::uint16_t address = 0;
    bool read = false;
    std::vector<std::uint8_t> data;  // a read message gets its bytes here
};

// The bus file: the system's, or the simulated bus in tests.
class I2cDevFile {
public:
    virtual ~I2cDevFile() = default;
    // One I2C_RDWR transfer: a START before each message (repeated between
    // them) and one STOP at the end. Returns 0, or the errno of the failure.
    virtual int transfer(std::vector<I2cMessage>& messages) = 0;
};

// The kernel's answers to a transfer that a device did not acknowledge:
// ENXIO for an address, EREMOTEIO for data, and EIO or ETIMEDOUT from some
// bus drivers for either. Any other errno is a failure of the bus itself.
bool isNotAcknowledged(int error);

// The 7-bit address of a device address byte: 0xA6 -> 0x53.
inline std::uint16_t sevenBitAddress(std::uint8_t addressByte)
{
    return static_cast<std::uint16_t>(addressByte >> 1);
}

// A read is a write of the word address and a read of the run in one
// transfer; a write is one message of the word address and the page; a poll
// is a message of no bytes, which the chip acknowledges once its write cycle
// is over.
class I2cDevBus final : public I2cController {
public:
    // The path names the bus in errors; clock gives the time that bounds
    // the polling (the monotonic clock; the simulation's in tests).
    I2cDevBus(I2cDevFile& file, std::string path, std::function<std::uint64_t()> clock = {});

    ReadOutcome read(const std::vector<ControllerRun>& runs) override;
    BusResult write(const AddressPhase& phase, const std::uint8_t* data, std::uint32_t length,
                    std::uint64_t pollLimitNs) override;
    bool poll(std::uint8_t addressByte) override;
    // One read message of one byte: the kernel ends it unacknowledged and
    // with a STOP. i2c-dev cannot clock a lone address without the STOP
    // after it, nor leave a transfer without its STOP; a word address then
    // a read is one transfer of two messages with a repeated START between.
    bool probe(std::uint8_t addressByte) override;

    static std::vector<I2cMessage> readMessages(const AddressPhase& phase, std::uint32_t length);
    static std::vector<I2cMessage> writeMessages(const AddressPhase& phase,
                                                 const std::uint8_t* data, std::uint32_t length);
    static std::vector<I2cMessage> pollMessages(std::uint8_t addressByte);
    // For bus drivers that refuse a message without bytes: a one-byte read.
    static std::vector<I2cMessage> fallbackPollMessages(std::uint8_t addressByte);

private:
    // The transfer, again while a signal interrupts it or the driver is busy.
    int transfer(std::vector<I2cMessage>& messages);
    bool check(int error) const;  // false = not acknowledged

    I2cDevFile& m_file;
    std::string m_path;
    std::function<std::uint64_t()> m_clock;
    bool m_zeroLengthPolls = true;
};

// "/dev/i2c-1" and the like; the bus number only, no other file.
bool isI2cDevPath(const std::string& path);

// Opens the bus; throws PortError with one clear message when it is missing,
// when the user may not open it, or when its driver cannot do combined
// transfers.
std::unique_ptr<I2cDevFile> openI2cDev(const std::string& path);

// The message of that PortError for an errno of open(2).
std::string i2cDevOpenErrorText(const std::string& path, int error,
                                bool asRoot = runningAsRoot());

}  // namespace kavoda
