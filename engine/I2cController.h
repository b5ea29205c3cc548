// SPDX-License-Identifier: MIT
// Adapters with an I2C controller of their own (a CH341A, a kernel I2C bus).
// They run whole bus transactions, so the program hands them device address
// bytes and data instead of line levels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kavoda {

// The bus clocks a CH341A offers, in the order of its speed codes.
enum class I2cSpeed : std::uint8_t { k20kHz = 0, k100kHz = 1, k400kHz = 2, k750kHz = 3 };

inline constexpr I2cSpeed kDefaultI2cSpeed = I2cSpeed::k100kHz;
inline constexpr int kDefaultI2cSpeedKhz = 100;

// 20, 100, 400 or 750; anything else has no speed.
std::optional<I2cSpeed> i2cSpeedFromKhz(int khz);
int i2cSpeedKhz(I2cSpeed speed);
// "20, 100, 400 or 750", for messages.
std::string i2cSpeedChoices();

struct I2cRead {
    std::uint8_t value = 0xFF;
    bool answered = false;  // all three bytes of the transaction were acknowledged
};

class I2cController {
public:
    virtual ~I2cController() = default;

    // START, addressByte, word, repeated START, addressByte | 1, one byte read
    // without acknowledge, STOP. An unanswered read gives 0xFF, the level of
    // an idle bus.
    virtual I2cRead randomRead(std::uint8_t addressByte, std::uint8_t word) = 0;
    // START, addressByte, word, data, STOP. True when all three bytes were
    // acknowledged.
    virtual bool byteWrite(std::uint8_t addressByte, std::uint8_t word, std::uint8_t data) = 0;
    // START, addressByte, STOP. True when acknowledged: the chip has finished
    // its write cycle.
    virtual bool poll(std::uint8_t addressByte) = 0;
};

}  // namespace kavoda
