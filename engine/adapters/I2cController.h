// SPDX-License-Identifier: MIT
// Adapters with an I2C controller of their own (a CH341A, a kernel I2C bus).
// They run whole bus transactions, so the program hands them device address
// bytes and data instead of line levels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BusResult.h"
#include "ChipTable.h"
#include "DeviceBus.h"

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

// One read transaction of a controller: the address phase, then length
// bytes into out.
struct ControllerRun {
    AddressPhase phase;
    std::uint8_t* out = nullptr;
    std::uint32_t length = 0;
};

class I2cController {
public:
    virtual ~I2cController() = default;

    // The runs in order: START, the device address, the word address,
    // repeated START, the device address for reading, length bytes (the
    // last one not acknowledged), STOP. Stops at, and names, the first run
    // whose acknowledges did not all come; an unanswered read gives 0xFF,
    // the level of an idle bus.
    using ReadOutcome = RunsResult;
    virtual ReadOutcome read(const std::vector<ControllerRun>& runs) = 0;
    // START, address phase, data, STOP, then polls until the chip answers
    // or pollLimitNs of the adapter's own time have passed. No polling when
    // the address went unanswered.
    virtual BusResult write(const AddressPhase& phase, const std::uint8_t* data,
                            std::uint32_t length, std::uint64_t pollLimitNs) = 0;
    // The writes in order, each as write() does it; stops at the first that
    // does not end well and says which (the ones before it are done). A
    // failure of the adapter or its link throws WriteBatchFailure counting
    // the writes the chip holds.
    struct ControllerWrite {
        AddressPhase phase;
        const std::uint8_t* data = nullptr;
        std::uint32_t length = 0;
    };
    using WriteOutcome = RunsResult;
    virtual WriteOutcome writeBatch(const std::vector<ControllerWrite>& writes,
                                    std::uint64_t pollLimitNs)
    {
        for (std::size_t i = 0; i < writes.size(); ++i) {
            m_writeStored = false;
            BusResult result;
            try {
                result = write(writes[i].phase, writes[i].data, writes[i].length, pollLimitNs);
            } catch (const WriteBatchFailure&) {
                throw;
            } catch (const std::exception& e) {
                throw WriteBatchFailure(e.what(), i + (m_writeStored ? 1 : 0));
            }
            if (!result.ok())
                return WriteOutcome{result, i};
        }
        return {};
    }
    // START, addressByte, STOP. True when acknowledged: the chip is there
    // and has finished its write cycle.
    virtual bool poll(std::uint8_t addressByte) = 0;
    // START, addressByte for reading, one byte read and not acknowledged,
    // STOP. True when acknowledged; starts no write cycle on any EEPROM.
    virtual bool probe(std::uint8_t addressByte) = 0;
    // The probes of many addresses in order, true where answered.
    virtual std::vector<bool> probeAll(const std::vector<std::uint8_t>& addressBytes)
    {
        std::vector<bool> answered;
        for (const std::uint8_t address : addressBytes)
            answered.push_back(probe(address));
        return answered;
    }

protected:
    // Set by write() once its STOP has gone out after data the chip
    // acknowledged: the chip holds them whatever fails afterwards.
    bool m_writeStored = false;
};

}  // namespace kavoda
