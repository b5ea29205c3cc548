// SPDX-License-Identifier: MIT
// START, STOP and bytes as clock and data levels on the simulated chip.
#include "SimulatedBusMaster.h"

namespace kavoda {

SimulatedBusMaster::SimulatedBusMaster(const ChipOptions& chip, int khz) : m_chip(chip)
{
    setKhz(khz);
}

void SimulatedBusMaster::setKhz(int khz)
{
    m_khz = khz > 0 ? khz : kDefaultI2cSpeedKhz;
    m_halfPeriodNs = 500'000 / static_cast<std::uint64_t>(m_khz);
}

void SimulatedBusMaster::setData(bool level)
{
    m_data = level;
    m_chip.drive(m_clock, m_data, m_nowNs);
}

void SimulatedBusMaster::setClock(bool level)
{
    m_nowNs += m_halfPeriodNs;
    m_clock = level;
    m_chip.drive(m_clock, m_data, m_nowNs);
}

void SimulatedBusMaster::start()
{
    // A repeated START first releases the data line with the clock low.
    if (m_clock)
        setClock(false);
    setData(true);
    setClock(true);
    setData(false);
    setClock(false);
}

void SimulatedBusMaster::stop()
{
    if (m_clock)
        setClock(false);
    setData(false);
    setClock(true);
    setData(true);
    setClock(false);
}

bool SimulatedBusMaster::sampleBit()
{
    setData(true);
    setClock(true);
    const bool bit = dataLine();
    setClock(false);
    return bit;
}

bool SimulatedBusMaster::sendByte(std::uint8_t value)
{
    for (int bit = 7; bit >= 0; --bit) {
        setData(((value >> bit) & 1) != 0);
        setClock(true);
        setClock(false);
    }
    return !sampleBit();
}

std::uint8_t SimulatedBusMaster::receiveByte(bool acknowledge)
{
    std::uint8_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = static_cast<std::uint8_t>((value << 1) | (sampleBit() ? 1 : 0));
    setData(!acknowledge);
    setClock(true);
    setClock(false);
    setData(true);
    return value;
}

}  // namespace kavoda
