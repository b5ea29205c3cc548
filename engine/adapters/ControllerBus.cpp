// SPDX-License-Identifier: MIT
// Transactions over an adapter's own I2C controller.
#include "ControllerBus.h"

#include <algorithm>

namespace kavoda {

ControllerBus::ControllerBus(Opener open, TransferLimits limits,
                             std::shared_ptr<SimulatedLink> simulation)
    : m_open(std::move(open)), m_limits(limits), m_simulation(std::move(simulation))
{
}

ControllerBus::~ControllerBus() = default;

void ControllerBus::claim()
{
    if (!m_controller)
        m_controller = m_open();
}

void ControllerBus::release() noexcept
{
    m_controller.reset();
}

I2cController& ControllerBus::controller()
{
    // The operations claim the bus first; a lone transaction opens it for
    // itself.
    if (!m_controller)
        claim();
    return *m_controller;
}

TransferLimits ControllerBus::limits() const
{
    return m_limits;
}

DeviceBus::ReadOutcome ControllerBus::read(const ChipType& chip, const std::vector<ReadRun>& runs)
{
    std::vector<ControllerRun> controllerRuns;
    controllerRuns.reserve(runs.size());
    for (const ReadRun& run : runs)
        controllerRuns.push_back(ControllerRun{phaseOf(chip, run.address), run.out, run.length});
    m_counters.transactions += runs.size();
    return controller().read(controllerRuns);
}

BusResult ControllerBus::write(const ChipType& chip, std::uint32_t address,
                               const std::uint8_t* data, std::uint32_t length)
{
    ++m_counters.transactions;
    ++m_counters.writes;
    return controller().write(phaseOf(chip, address), data, length,
                              kPollCycles * chip.writeCycleUs * 1000u);
}

DeviceBus::WriteOutcome ControllerBus::writeBatch(const ChipType& chip,
                                                  const std::vector<WriteRun>& runs)
{
    std::vector<I2cController::ControllerWrite> writes;
    writes.reserve(runs.size());
    for (const WriteRun& run : runs)
        writes.push_back(I2cController::ControllerWrite{
            phaseOf(chip, run.address), run.bytes.data(), static_cast<std::uint32_t>(run.bytes.size())});
    RunsResult outcome;
    try {
        outcome = controller().writeBatch(writes, kPollCycles * chip.writeCycleUs * 1000u);
    } catch (const WriteBatchFailure& failure) {
        const std::size_t begun = std::min(runs.size(), failure.done() + 1);
        m_counters.transactions += begun;
        m_counters.writes += begun;
        throw;
    } catch (const std::exception& e) {
        // A controller that cannot say how far it got: nothing is claimed.
        throw WriteBatchFailure(e.what(), 0);
    }
    // The writes up to the one that stopped the batch.
    const std::size_t made = outcome.result.ok() ? runs.size() : outcome.run + 1;
    m_counters.transactions += made;
    m_counters.writes += made;
    return outcome;
}

bool ControllerBus::poll(const ChipType& chip, std::uint32_t address)
{
    ++m_counters.transactions;
    return controller().poll(phaseOf(chip, address).device);
}

std::vector<bool> ControllerBus::probe(const std::vector<std::uint8_t>& addressBytes)
{
    m_counters.transactions += addressBytes.size();
    return controller().probeAll(addressBytes);
}

DeviceBus::ReadOutcome ControllerBus::readPhases(const std::vector<PhaseRun>& runs)
{
    std::vector<ControllerRun> controllerRuns;
    controllerRuns.reserve(runs.size());
    for (const PhaseRun& run : runs)
        controllerRuns.push_back(ControllerRun{run.phase, run.out, run.length});
    m_counters.transactions += runs.size();
    return controller().read(controllerRuns);
}

}  // namespace kavoda
