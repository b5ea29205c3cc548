// SPDX-License-Identifier: MIT
// The one front door to the port for the program and the command-line tool:
// opens the simulated or real port for PortBase, optionally traced, and
// installs it behind BytePort.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Adapter.h"
#include "PortBackend.h"
#include "SimulatedChip.h"

namespace kavoda {

class BusTrace;
class SimulatedAdapter;

struct PortOptions {
    std::optional<std::uint8_t> simulateType;  // DeviceType code of the simulated chip; empty = real hardware
    std::string simImagePath;                  // simulated chip's content file; empty = in memory only
    std::string tracePath;                     // VCD trace file; empty = none
    std::string parportDevice;                 // a /dev/parportN to use at any address; empty = by PortBase
    ChipFault simFault = ChipFault::None;      // what is wrong with the simulated chip
    std::optional<std::uint64_t> simWriteCycleNs;  // empty = the datasheet's write cycle
    std::uint8_t simChipAddress = 0;           // the simulated chip's A2..A0 levels
    int simOrganisation = 0;                   // a simulated Microwire chip's ORG pin: 8, 16; 0: open (16)
    // The adapter and its clocks as the command line gives them;
    // empty = the settings file decides (resolveAdapter).
    std::optional<AdapterChoice> adapter;
    std::optional<I2cSpeed> i2cSpeed;
    std::optional<int> spiSpeedKhz;            // a spidev device's SPI clock
};

// Long-lived: the simulated chip's content survives between operations of one
// run, and the trace goes on across reopenings.
class PortSession {
public:
    explicit PortSession(PortOptions options);
    ~PortSession();  // uninstalls from BytePort, releases the port
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    // Opens (or reopens if the base changed) and installs behind BytePort;
    // throws PortError.
    void open(std::uint16_t portBase);
    // Never throws (destructors and releases call it): a trace that cannot
    // be written out here, or any other failure of the flush, is reported by
    // the next open().
    void close() noexcept;
    bool isOpen() const;
    const PortOptions& options() const;

    // The simulated adapter once opened with simulateType; nullptr otherwise.
    SimulatedAdapter* simulator() const;

    // Whether path names the simulated chip's content file or the trace,
    // which an output of the run must never overwrite.
    bool usesFile(const std::string& path) const;

    // The time of the port: the simulated adapter's virtual time, else the
    // monotonic clock. Valid while the session lives.
    std::function<std::uint64_t()> clock() const;

private:
    void refuseTraceOverContent() const;

    PortOptions m_options;
    std::unique_ptr<SimulatedAdapter> m_simulator;
    std::unique_ptr<PortBackend> m_hardware;
    std::unique_ptr<BusTrace> m_trace;
    // What the last close() could not report; rethrown by the next open().
    std::exception_ptr m_closeFailure;
    PortBackend* m_installed = nullptr;
    std::uint16_t m_base = 0;
};

}  // namespace kavoda
