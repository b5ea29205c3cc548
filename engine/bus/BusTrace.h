// SPDX-License-Identifier: MIT
// A port backend decorator that records the two bus lines as a VCD file, for
// PulseView (sigrok) or GTKWave.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "PortBackend.h"

namespace kavoda {

// Nanoseconds from some fixed start, never going back.
using BusClock = std::function<std::uint64_t()>;
// The system's monotonic clock.
std::uint64_t monotonicNs();

// SCL is data register bit 0. SDA is the line as the chip sees it when the
// inner backend can tell (the simulated adapter); otherwise the level sampled
// from status bit 4 whenever the program reads it, and the level the program
// drives in between. Time stamps come from the given clock: the monotonic
// clock on a real port, virtual time on the simulated one.
class BusTrace final : public PortBackend {
public:
    // One VCD time unit.
    static constexpr std::uint64_t kTickNs = 100;
    // Idle time units recorded before the first access and after the last.
    static constexpr std::uint64_t kIdleTicks = 10;

    // Throws PortError when the file cannot be created.
    BusTrace(const std::string& path, PortBackend& inner, std::uint16_t portBase,
             BusClock clock = monotonicNs);
    // Ends the file; an error there is dropped, so call close() first.
    ~BusTrace() override;
    BusTrace(const BusTrace&) = delete;
    BusTrace& operator=(const BusTrace&) = delete;

    // Goes on tracing through another backend (the port was reopened).
    void setInner(PortBackend& inner, std::uint16_t portBase, BusClock clock);

    // Every frame is written out at its STOP. A write that fails throws
    // PortError once, from the access that ends the STOP (the bus is idle
    // then); the trace records nothing more after it.
    std::uint8_t read(std::uint16_t port) override;
    void write(std::uint16_t port, std::uint8_t value) override;
    void onWait(std::int64_t iterations) override { m_inner->onWait(iterations); }
    std::optional<bool> busDataLine() const override { return m_inner->busDataLine(); }

    // Writes out what is recorded so far; throws PortError on a failure not
    // reported before.
    void flush();
    // Ends the file, as flush() reports.
    void close();
    // The message of a failed write, reported or not; empty while all is well.
    const std::string& failure() const { return m_failure; }

private:
    void record(bool scl, bool sda, bool sampled);
    void emit(std::uint64_t tick, bool scl, bool sda);
    void emitPendingRise(std::optional<bool> sampledSda);
    std::uint64_t tickNow() const;
    void writeOut();
    void throwIfNewFailure();

    std::string m_path;
    std::FILE* m_file = nullptr;
    std::string m_buffer;
    std::string m_failure;
    bool m_failureReported = false;
    PortBackend* m_inner;
    std::uint16_t m_base;
    BusClock m_clock;
    std::uint64_t m_startNs = 0;

    std::uint8_t m_dataRegister = 0;  // as every transaction leaves them
    bool m_hostSda = true;            // the level the host drives or last sampled
    bool m_scl = false;               // as written to the file
    bool m_sda = true;
    std::uint64_t m_lastTick = 0;
    // A rising clock not yet written: a status read during the high time may
    // show that the chip held SDA low since before the rise.
    bool m_risePending = false;
    std::uint64_t m_riseTick = 0;
    bool m_stopSeen = false;
};

}  // namespace kavoda
