// SPDX-License-Identifier: MIT
// What an adapter that sets and reads single lines offers the Microwire
// family: whole commands, each a run of clocks with chip select high, the
// data out line read where asked, then optionally the chip's ready/busy
// state read a number of times. The family builds the bits (start bit,
// opcode, address, data); the adapter turns a run of commands into as few
// transfers as it can.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PortBackend.h"

namespace kavoda {

// One command. Clock i (0 first) shifts bit (clocks - 1 - i) of `out` into
// DI as the clock rises; where the same bit of `sample` is set, DO is read
// after that clock (the chip shifts its next bit out as the clock rises).
// Chip select then drops; with polls, it is raised again after `waitUs`,
// and DO (low while a write cycle runs, high when it is over) is read
// `polls` times, `pollGapUs` apart, before it drops for good.
struct WireCommand {
    std::uint64_t out = 0;
    std::uint64_t sample = 0;
    int clocks = 0;
    std::uint32_t waitUs = 0;
    int polls = 0;
    std::uint32_t pollGapUs = 0;
};

struct WireReply {
    std::uint64_t in = 0;  // DO at the sampled clocks, in the same bit places
    int readyAt = -1;      // the first poll that read DO high; -1: none did
    int pollsRead = 0;     // polls that came back (all of them, but in a failure)
};

// The adapter failed part-way through a run of commands: `done` holds the
// replies of the commands it had finished, the last perhaps with only some
// of its polls, so that a report can count exactly what the chip holds.
class WireRunFailure : public PortError {
public:
    WireRunFailure(const std::string& message, std::vector<WireReply> done)
        : PortError(message), m_done(std::move(done))
    {
    }
    const std::vector<WireReply>& done() const { return m_done; }

private:
    std::vector<WireReply> m_done;
};

class WireTransport {
public:
    virtual ~WireTransport() = default;
    // The commands in order; a reply for each. Failures of the adapter
    // throw PortError (WireRunFailure once some commands have run).
    virtual std::vector<WireReply> run(const std::vector<WireCommand>& commands) = 0;
    // The clock that bounds busy polling: the adapter's own (simulated) or
    // the host's monotonic clock, in ns.
    virtual std::uint64_t nowNs() const = 0;
};

}  // namespace kavoda
