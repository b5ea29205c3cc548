// SPDX-License-Identifier: MIT
// The seam between the port accessors and whatever answers them: the abstract
// port backend, the one that is installed behind BytePort, and the port error.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace kavoda {

// A failure to reach the parallel port (or its stand-in).
class PortError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Answers register accesses at absolute I/O port numbers. One call is one
// access; a backend must not cache, repeat or merge them.
class PortBackend {
public:
    virtual ~PortBackend() = default;

    virtual std::uint8_t read(std::uint16_t port) = 0;
    virtual void write(std::uint16_t port, std::uint8_t value) = 0;

    // Wider accesses, little-endian over consecutive byte ports unless a
    // backend knows better. Nothing in the program uses them.
    virtual std::uint16_t readWord(std::uint16_t port);
    virtual void writeWord(std::uint16_t port, std::uint16_t value);
    virtual std::uint32_t readDword(std::uint16_t port);
    virtual void writeDword(std::uint16_t port, std::uint32_t value);

    // BusWait reports each finished wait here, so that a simulated bus can let
    // its virtual time pass. Real hardware needs nothing.
    virtual void onWait(std::int64_t iterations) { static_cast<void>(iterations); }

    // The data line as the chip sees it (the wired-AND of both drivers), when
    // this backend can know it; empty otherwise.
    virtual std::optional<bool> busDataLine() const { return std::nullopt; }
};

// The backend that BytePort, WordPort and DwordPort forward to; nullptr when
// none is installed, in which case every access throws PortError.
PortBackend* installedPortBackend();
// Installs backend (may be nullptr) and returns the one it replaces.
PortBackend* installPortBackend(PortBackend* backend);

// Installs a backend for the lifetime of the scope, then puts back the
// previous one. Tests use it with recording backends.
class ScopedPortBackend {
public:
    explicit ScopedPortBackend(PortBackend& backend);
    ~ScopedPortBackend();
    ScopedPortBackend(const ScopedPortBackend&) = delete;
    ScopedPortBackend& operator=(const ScopedPortBackend&) = delete;

private:
    PortBackend* m_previous;
};

// A port address as the program shows it: at least four upper-case hex digits.
std::string portAddressText(std::uint16_t port);

}  // namespace kavoda
