// SPDX-License-Identifier: MIT
// A Linux I2C bus (/dev/i2c-N: a USB-I2C bridge, a Raspberry Pi's pins)
// through the i2c-dev driver's combined transfers (I2C_RDWR).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// One random read is a write of the word address and a read of one byte in
// one transfer; a write is one message of two bytes; a poll is a message of
// no bytes, which the chip acknowledges once its write cycle is over.
class I2cDevBus final : public I2cController {
public:
    // The path names the bus in errors.
    I2cDevBus(I2cDevFile& file, std::string path);

    I2cRead randomRead(std::uint8_t addressByte, std::uint8_t word) override;
    bool byteWrite(std::uint8_t addressByte, std::uint8_t word, std::uint8_t data) override;
    bool poll(std::uint8_t addressByte) override;

    static std::vector<I2cMessage> randomReadMessages(std::uint8_t addressByte, std::uint8_t word);
    static std::vector<I2cMessage> byteWriteMessages(std::uint8_t addressByte, std::uint8_t word,
                                                     std::uint8_t data);
    static std::vector<I2cMessage> pollMessages(std::uint8_t addressByte);
    // For bus drivers that refuse a message without bytes: a one-byte read.
    static std::vector<I2cMessage> fallbackPollMessages(std::uint8_t addressByte);

private:
    bool run(std::vector<I2cMessage>& messages);  // false = not acknowledged
    bool check(int error) const;

    I2cDevFile& m_file;
    std::string m_path;
    bool m_zeroLengthPolls = true;
};

// "/dev/i2c-1" and the like; the bus number only, no other file.
bool isI2cDevPath(const std::string& path);

// Opens the bus; throws PortError with one clear message when it is missing,
// when the user may not open it, or when its driver cannot do combined
// transfers.
std::unique_ptr<I2cDevFile> openI2cDev(const std::string& path);

// The message of that PortError for an errno of open(2).
std::string i2cDevOpenErrorText(const std::string& path, int error);

}  // namespace kavoda
