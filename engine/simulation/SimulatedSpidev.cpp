// SPDX-License-Identifier: MIT
// The simulated spidev device: one message's transfers on the simulated chip.
#include "SimulatedSpidev.h"

#include <cerrno>

#include "PortBackend.h"

namespace kavoda {

SimulatedSpidev::SimulatedSpidev(std::unique_ptr<SimulatedSpiDevice> chip, int khz,
                                 std::uint32_t bufferSize)
    : m_chip(std::move(chip)),
      m_byteNs(8'000'000ull / static_cast<std::uint64_t>(khz > 0 ? khz : 1)),
      m_bufferSize(bufferSize)
{
}

SimulatedChip& SimulatedSpidev::chip()
{
    throw PortError("The simulated SPI device carries no I2C chip");
}

int SimulatedSpidev::message(std::vector<SpidevTransfer>& transfers)
{
    ++m_messages;
    m_nowNs += kMessageOverheadNs;
    std::uint64_t total = 0;
    for (const SpidevTransfer& t : transfers)
        total += t.out.size();
    if (transfers.empty() || transfers.size() > 511)
        return EINVAL;
    if (total > m_bufferSize)
        return EMSGSIZE;

    for (std::size_t i = 0; i < transfers.size(); ++i) {
        SpidevTransfer& t = transfers[i];
        if (!m_selected) {
            m_chip->select(m_nowNs);
            m_selected = true;
        }
        t.in.clear();
        for (const std::uint8_t byte : t.out) {
            m_nowNs += m_byteNs;
            const std::uint8_t answer = m_chip->exchange(byte, m_nowNs);
            if (t.read)
                t.in.push_back(answer);
        }
        // cs_change inverts on the last transfer: the chip stays selected
        // after the message, until the next one ends.
        const bool last = i + 1 == transfers.size();
        if (t.csChange != last) {
            m_chip->deselect(m_nowNs);
            m_selected = false;
        }
    }
    return 0;
}

}  // namespace kavoda
