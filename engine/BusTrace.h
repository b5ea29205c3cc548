// SPDX-License-Identifier: MIT
// A port backend decorator that records the two bus lines as a VCD file, for
// PulseView (sigrok) or GTKWave.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "PortBackend.h"

namespace kavoda {

// Every access to the inner backend is one time step (1 us, roughly what a
// port access takes). SCL is data register bit 0; SDA is the line as the chip
// sees it when the inner backend can tell, else the level the host drives.
class BusTrace final : public PortBackend {
public:
    // Idle steps recorded before the first access.
    static constexpr std::uint64_t kIdleSteps = 4;

    // Throws PortError when the file cannot be written.
    BusTrace(const std::string& path, PortBackend& inner, std::uint16_t portBase);
    ~BusTrace() override;
    BusTrace(const BusTrace&) = delete;
    BusTrace& operator=(const BusTrace&) = delete;

    // Goes on tracing through another backend (the port was reopened).
    void setInner(PortBackend& inner, std::uint16_t portBase);

    std::uint8_t read(std::uint16_t port) override;
    void write(std::uint16_t port, std::uint8_t value) override;
    void onWait(std::int64_t iterations) override { m_inner->onWait(iterations); }
    std::optional<bool> busDataLine() const override { return m_inner->busDataLine(); }

    // Ends the file; later accesses are forwarded but not recorded.
    void finish();

private:
    void step();
    bool dataLine() const;

    std::string m_path;
    std::ofstream m_out;
    PortBackend* m_inner;
    std::uint16_t m_base;
    std::uint8_t m_dataRegister = 0;     // as every transaction leaves them
    std::uint8_t m_controlRegister = 1;
    std::uint64_t m_time = kIdleSteps;
    bool m_scl = false;
    bool m_sda = true;
};

}  // namespace kavoda
