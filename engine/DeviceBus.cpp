// SPDX-License-Identifier: MIT
// The acknowledge record and the parallel port's bus.
#include "DeviceBus.h"

#include "PortSession.h"
#include "ee24c.h"

namespace kavoda {

void DeviceBus::recordTransaction(bool answered, bool pollsRanOut)
{
    ++m_acks.transactions;
    if (!answered)
        ++m_acks.unanswered;
    if (pollsRanOut)
        ++m_acks.pollsRanOut;
}

void ParallelPortBus::claim()
{
    m_session.open(PortBase);
    m_base = PortBase;
    m_claimed = true;
}

void ParallelPortBus::release() noexcept
{
    m_claimed = false;
    m_session.close();
}

std::uint8_t ParallelPortBus::readByte(Family family, std::uint8_t block, std::uint8_t address)
{
    const std::uint8_t value = family == Family::SDA ? ReadByteSDA(port(), block, address)
                                                     : ReadByte24C(port(), block, address);
    const TransactionAcks acks = lastTransactionAcks();
    recordTransaction(acks.answered, acks.pollsRanOut);
    return value;
}

void ParallelPortBus::writeByte(Family family, std::uint8_t block, std::uint8_t address,
                                std::uint8_t data)
{
    if (family == Family::SDA)
        WriteByteSDA(port(), block, address, data);
    else
        WriteByte24C(port(), block, address, data);
    const TransactionAcks acks = lastTransactionAcks();
    recordTransaction(acks.answered, acks.pollsRanOut);
}

}  // namespace kavoda
