// SPDX-License-Identifier: MIT
// The line levels that an adapter's own I2C controller puts on the simulated
// chip, on virtual time: what the simulated CH341A and the simulated kernel
// bus turn their commands into.
#pragma once

#include <cstdint>

#include "I2cController.h"
#include "SimulatedChip.h"

namespace kavoda {

class SimulatedBusMaster {
public:
    SimulatedBusMaster(const ChipOptions& chip, int khz);

    void setKhz(int khz);
    int khz() const { return m_khz; }

    // Each clock edge takes half a clock period; data changes between the
    // edges take no time of their own.
    void start();
    void stop();
    bool sendByte(std::uint8_t value);  // true = acknowledged
    std::uint8_t receiveByte(bool acknowledge);

    std::uint64_t nowNs() const { return m_nowNs; }
    void elapse(std::uint64_t ns) { m_nowNs += ns; }
    SimulatedChip& chip() { return m_chip; }
    const SimulatedChip& chip() const { return m_chip; }
    // Where the two lines are now.
    bool clock() const { return m_clock; }
    bool dataLine() const { return m_data && !m_chip.pullsDataLow(); }

private:
    void setData(bool level);
    void setClock(bool level);
    bool sampleBit();  // a ninth or data clock with the line released

    SimulatedChip m_chip;
    int m_khz;
    std::uint64_t m_halfPeriodNs;
    std::uint64_t m_nowNs = 0;
    bool m_clock = false;
    bool m_data = true;
};

}  // namespace kavoda
