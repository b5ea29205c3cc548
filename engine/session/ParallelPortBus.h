// SPDX-License-Identifier: MIT
// The parallel port's transactions over the session's port, for the
// operations: the contract's byte transactions and the runs built from the
// same primitives.
#pragma once

#include <cstdint>
#include <vector>

#include "DeviceBus.h"

namespace kavoda {

class PortSession;

// The bit-banged bus of ee24c on the port behind BytePort, opened for
// PortBase by the session when claimed. Runs of one byte are the byte
// transactions exactly; longer ones are sequential reads and page writes
// built from the same primitives and wait loop.
class ParallelPortBus final : public DeviceBus {
public:
    explicit ParallelPortBus(PortSession& session) : m_session(session) {}

    void claim() override;
    void release() noexcept override;
    TransferLimits limits() const override;
    ReadOutcome read(const ChipType& chip, const std::vector<ReadRun>& runs) override;
    BusResult write(const ChipType& chip, std::uint32_t address, const std::uint8_t* data,
                    std::uint32_t length) override;
    bool poll(const ChipType& chip, std::uint32_t address) override;
    std::vector<bool> probe(const std::vector<std::uint8_t>& addressBytes) override;
    ReadOutcome readPhases(const std::vector<PhaseRun>& runs) override;

private:
    PortSession& m_session;
    // The base the port was opened for. PortBase can change while an
    // operation runs; the transactions keep to the port that is open, since
    // an I/O instruction on a port that was never granted would kill the
    // process.
    std::uint16_t m_base = 0;
    bool m_claimed = false;

    std::uint16_t port() const;
};

}  // namespace kavoda
