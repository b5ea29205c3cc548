// SPDX-License-Identifier: MIT
// The parallel port's bus.
#include "DeviceBus.h"

#include "Adapter.h"
#include "DeviceCatalogue.h"
#include "PortSession.h"
#include "ee24c.h"

namespace kavoda {

DeviceBus::WriteOutcome DeviceBus::writeBatch(const ChipType& chip,
                                              const std::vector<WriteRun>& runs)
{
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const BusResult result = write(chip, runs[i].address, runs[i].bytes.data(),
                                       static_cast<std::uint32_t>(runs[i].bytes.size()));
        if (!result.ok())
            return WriteOutcome{result, i};
    }
    return {};
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

std::uint16_t ParallelPortBus::port() const
{
    return m_claimed ? m_base : PortBase;
}

TransferLimits ParallelPortBus::limits() const
{
    return adapterType(AdapterKind::ParallelPort).limits;
}

DeviceBus::ReadOutcome ParallelPortBus::read(const ChipType& chip,
                                             const std::vector<ReadRun>& runs)
{
    for (std::size_t i = 0; i < runs.size(); ++i) {
        ++m_counters.transactions;
        const BusResult result =
            sequentialRead(port(), phaseOf(chip, runs[i].address), runs[i].out, runs[i].length);
        if (!result.ok())
            return ReadOutcome{result, i};
    }
    return {};
}

BusResult ParallelPortBus::write(const ChipType& chip, std::uint32_t address,
                                 const std::uint8_t* data, std::uint32_t length)
{
    ++m_counters.transactions;
    ++m_counters.writes;
    return pageWrite(port(), phaseOf(chip, address), data, length);
}

bool ParallelPortBus::poll(const ChipType& chip, std::uint32_t address)
{
    ++m_counters.transactions;
    return pollDevice(port(), phaseOf(chip, address).device);
}

}  // namespace kavoda
