// SPDX-License-Identifier: MIT
// The simulated kernel bus: one transfer's messages on the simulated chip.
#include "SimulatedI2cDev.h"

#include <cerrno>

namespace kavoda {

namespace {

#ifdef EREMOTEIO
constexpr int kDataNotAcknowledged = EREMOTEIO;
#else
constexpr int kDataNotAcknowledged = EIO;
#endif

}  // namespace

SimulatedI2cDev::SimulatedI2cDev(const ChipOptions& chip, int khz, bool zeroLengthMessages)
    : m_bus(chip, khz), m_zeroLengthMessages(zeroLengthMessages)
{
}

int SimulatedI2cDev::transfer(std::vector<I2cMessage>& messages)
{
    ++m_transfers;
    m_bus.elapse(kTransferOverheadNs);
    // What the kernel refuses before the bus is touched.
    if (messages.empty() || messages.size() > kMaxMessages)
        return EINVAL;
    for (const I2cMessage& m : messages) {
        if (m.address > 0x7F)
            return EINVAL;
        if (m.data.empty() && (m.read || !m_zeroLengthMessages))
            return m.read ? EINVAL : EOPNOTSUPP;
    }

    for (I2cMessage& m : messages) {
        m_bus.start();
        if (!m_bus.sendByte(static_cast<std::uint8_t>(m.address << 1 | (m.read ? 1 : 0)))) {
            m_bus.stop();
            return ENXIO;
        }
        if (m.read) {
            for (std::size_t i = 0; i < m.data.size(); ++i)
                m.data[i] = m_bus.receiveByte(i + 1 < m.data.size());
        } else {
            for (const std::uint8_t byte : m.data) {
                if (!m_bus.sendByte(byte)) {
                    m_bus.stop();
                    return kDataNotAcknowledged;
                }
            }
        }
    }
    m_bus.stop();
    return 0;
}

}  // namespace kavoda
