// SPDX-License-Identifier: MIT
// The parallel port's bus.
#include "ParallelPortBus.h"

#include <algorithm>

#include "Adapter.h"
#include "DeviceCatalogue.h"
#include "PortSession.h"
#include "ee24c.h"

namespace kavoda {

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
    TransferLimits limits = adapterType(AdapterKind::ParallelPort).limits;
    // At the writes' waits, which are the longer: reads run with half.
    limits.byteNs = parallelPortByteNs(BusDelay, 0);
    return limits;
}

std::uint32_t parallelPortByteNs(std::int32_t busDelay, std::uint8_t fastTiming)
{
    // A byte is nine clocks of three line changes: 28 register accesses and
    // 27 waits at most. Priced as on the slow PC the Delay was made for
    // (an ISA access 1 us, a wait iteration 10 ns), so on a faster one the
    // operations only check for a stop more often than needed.
    constexpr std::uint64_t kAccesses = 28;
    constexpr std::uint64_t kWaits = 27;
    constexpr std::uint64_t kAccessNs = 1000;
    constexpr std::uint64_t kIterationNs = 10;
    const std::int32_t count = busWaitCount(busDelay, fastTiming);
    const std::uint64_t ns =
        kAccesses * kAccessNs + kWaits * static_cast<std::uint64_t>(std::max(0, count)) * kIterationNs;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(ns, 0xFFFFFFFFu));
}

DeviceBus::ReadOutcome ParallelPortBus::read(const ChipType& chip,
                                             const std::vector<ReadRun>& runs)
{
    // The bus's waits: halved for reads, whole for writes, as the window's
    // handlers have them; the operations above never touch it.
    FastTiming = 1;
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
    FastTiming = 0;
    ++m_counters.transactions;
    ++m_counters.writes;
    m_writeStored = false;
    return pageWrite(port(), phaseOf(chip, address), data, length, &m_writeStored);
}

bool ParallelPortBus::poll(const ChipType& chip, std::uint32_t address)
{
    ++m_counters.transactions;
    return pollDevice(port(), phaseOf(chip, address).device);
}

std::vector<bool> ParallelPortBus::probe(const std::vector<std::uint8_t>& addressBytes)
{
    std::vector<bool> answered;
    for (const std::uint8_t address : addressBytes) {
        ++m_counters.transactions;
        answered.push_back(probeDevice(port(), address));
    }
    return answered;
}

DeviceBus::ReadOutcome ParallelPortBus::readPhases(const std::vector<PhaseRun>& runs)
{
    FastTiming = 1;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        ++m_counters.transactions;
        const BusResult result = sequentialRead(port(), runs[i].phase, runs[i].out, runs[i].length);
        if (!result.ok())
            return ReadOutcome{result, i};
    }
    return {};
}

}  // namespace kavoda
