// SPDX-License-Identifier: MIT
// Test helpers: a port backend that records every access (optionally passing
// it on to a real backend), and a decoder that turns line levels back into
// STARTs, STOPs, bytes and acknowledge bits.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "PortBackend.h"

namespace kavoda::test {

struct PortEvent {
    enum Kind { Write, Read, Wait } kind;
    std::uint16_t port = 0;
    std::uint8_t value = 0;
    std::int64_t iterations = 0;
};

class RecordingPort final : public PortBackend {
public:
    explicit RecordingPort(std::uint16_t base = 0x378, PortBackend* inner = nullptr)
        : m_base(base), m_inner(inner)
    {
    }

    // Answers reads when there is no inner backend; by default a silent bus.
    std::function<std::uint8_t(std::uint16_t port, int readIndex)> answer;

    std::uint8_t read(std::uint16_t port) override;
    void write(std::uint16_t port, std::uint8_t value) override;
    void onWait(std::int64_t iterations) override;
    std::optional<bool> busDataLine() const override;

    std::vector<PortEvent> events;

    int count(PortEvent::Kind kind) const;
    int writes() const { return count(PortEvent::Write); }
    int waits() const { return count(PortEvent::Wait); }
    // Events from the first register write on, as a transcript decoded from
    // the host-driven lines: released bits read as 1.
    std::string hostTranscript() const;
    // The same, with each bit as the host sampled it when it read the status
    // register during that clock (the wired-AND with the device).
    std::string wireTranscript() const;

private:
    std::uint16_t m_base;
    PortBackend* m_inner;
    int m_reads = 0;
};

struct LineState {
    bool scl;
    bool sda;
};

// "S" START, "P" STOP, and for each full nine clocks within a frame the byte
// as two hex digits, '/', and the ninth (acknowledge) bit: "S A6/0 10/0 P".
// Clocks of an unfinished group before a START or STOP are dropped.
std::string decodeBus(const std::vector<LineState>& levels);

}  // namespace kavoda::test
