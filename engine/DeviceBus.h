// SPDX-License-Identifier: MIT
// The chip as the whole-device operations see it: read a byte, write a byte,
// for a family, a block and an address, and a record of what the chip did not
// answer. The parallel port's bit-banged bus is one implementation; other
// adapters implement the same interface.
#pragma once

#include <cstdint>

#include "DeviceCatalogue.h"

namespace kavoda {

class PortSession;

// What went unanswered since the record was last cleared.
struct AckRecord {
    std::uint64_t transactions = 0;  // byte transactions run
    std::uint64_t unanswered = 0;    // of them, those missing an acknowledge of the chip
    std::uint64_t pollsRanOut = 0;   // writes whose acknowledge polling ran out

    bool clean() const { return unanswered == 0 && pollsRanOut == 0; }
};

class DeviceBus {
public:
    virtual ~DeviceBus() = default;

    // Takes the adapter for one operation and gives it back; claim throws
    // PortError (with a message for the user) when it cannot be had.
    virtual void claim() = 0;
    virtual void release() noexcept = 0;

    // One byte transaction each. Writes wait for the chip to store the byte
    // as far as the adapter can tell.
    virtual std::uint8_t readByte(Family family, std::uint8_t block, std::uint8_t address) = 0;
    virtual void writeByte(Family family, std::uint8_t block, std::uint8_t address,
                           std::uint8_t data) = 0;

    virtual AckRecord acks() const { return m_acks; }
    virtual void clearAcks() { m_acks = {}; }

protected:
    // Implementations call this once per transaction.
    void recordTransaction(bool answered, bool pollsRanOut);

private:
    AckRecord m_acks;
};

// Holds the bus claimed for the lifetime of the scope.
class BusClaim {
public:
    explicit BusClaim(DeviceBus& bus) : m_bus(bus) { m_bus.claim(); }
    ~BusClaim() { m_bus.release(); }
    BusClaim(const BusClaim&) = delete;
    BusClaim& operator=(const BusClaim&) = delete;

private:
    DeviceBus& m_bus;
};

// The four transactions of ee24c on the port behind BytePort, opened for
// PortBase by the session when claimed.
class ParallelPortBus final : public DeviceBus {
public:
    explicit ParallelPortBus(PortSession& session) : m_session(session) {}

    void claim() override;
    void release() noexcept override;
    std::uint8_t readByte(Family family, std::uint8_t block, std::uint8_t address) override;
    void writeByte(Family family, std::uint8_t block, std::uint8_t address,
                   std::uint8_t data) override;

private:
    PortSession& m_session;
    // The base the port was opened for. PortBase can change while an erase
    // runs (the port dialog stays usable then); the transactions keep to the
    // port that is open, since an I/O instruction on a port that was never
    // granted would kill the process.
    std::uint16_t m_base = 0;
    bool m_claimed = false;

    std::uint16_t port() const { return m_claimed ? m_base : PortBase; }
};

}  // namespace kavoda
