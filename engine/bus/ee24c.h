// SPDX-License-Identifier: MIT
// Port accessors (BytePort and its wider siblings) and the two-wire EEPROM bus
// driver: line and bus primitives, the wait loop, and the four byte
// transactions of the 24C and SDA families.
#pragma once

#include <cstddef>
#include <cstdint>

#include "BusResult.h"
#include "ChipTable.h"

namespace kavoda {

namespace detail {
// One read or write of Port[n] is exactly one call to the installed backend.
// Nothing is cached, masked or checked; with no backend installed an access
// throws PortError and no I/O instruction runs.
std::uint8_t portRead8(std::uint16_t port);
void portWrite8(std::uint16_t port, std::uint8_t value);
std::uint16_t portRead16(std::uint16_t port);
void portWrite16(std::uint16_t port, std::uint16_t value);
std::uint32_t portRead32(std::uint16_t port);
void portWrite32(std::uint16_t port, std::uint32_t value);

template <typename T> struct PortIo;
template <> struct PortIo<std::uint8_t> {
    static std::uint8_t read(std::uint16_t p) { return portRead8(p); }
    static void write(std::uint16_t p, std::uint8_t v) { portWrite8(p, v); }
};
template <> struct PortIo<std::uint16_t> {
    static std::uint16_t read(std::uint16_t p) { return portRead16(p); }
    static void write(std::uint16_t p, std::uint16_t v) { portWrite16(p, v); }
};
template <> struct PortIo<std::uint32_t> {
    static std::uint32_t read(std::uint16_t p) { return portRead32(p); }
    static void write(std::uint16_t p, std::uint32_t v) { portWrite32(p, v); }
};

// The indexed property `Port`: Port[n] yields a reference to port n that
// reads when converted to a value and writes when assigned.
template <typename T> class PortProperty {
public:
    class Reference {
    public:
        explicit Reference(std::uint16_t port) : m_port(port) {}
        operator T() const { return PortIo<T>::read(m_port); }
        const Reference& operator=(T value) const
        {
            PortIo<T>::write(m_port, value);
            return *this;
        }
        // Port[a] = Port[b] copies a value between ports: one read, one write.
        const Reference& operator=(const Reference& other) const
        {
            return *this = static_cast<T>(other);
        }

    private:
        std::uint16_t m_port;
    };

    Reference operator[](std::uint16_t port) const { return Reference(port); }
};
}  // namespace detail

// Byte-wide port access: `v = BytePort.Port[n]`, `BytePort.Port[n] = v`.
class TPORT {
public:
    detail::PortProperty<std::uint8_t> Port;
};
// Word- and doubleword-wide counterparts; nothing in the program uses them.
class TPORTW {
public:
    detail::PortProperty<std::uint16_t> Port;
};
class TPORTL {
public:
    detail::PortProperty<std::uint32_t> Port;
};

extern TPORT BytePort;
extern TPORTW WordPort;
extern TPORTL DwordPort;

// Register numbers of the port in use, set afresh by every transaction.
extern std::uint16_t DataPort;
extern std::uint16_t StatusPort;
extern std::uint16_t ControlPort;

// Iterations of one BusWait for the given settings: BusDelay * 500, halved
// when fastTiming is 1. A result of 0 or less means no wait.
std::int32_t busWaitCount(std::int32_t busDelay, std::uint8_t fastTiming);
// Busy-waits busWaitCount(BusDelay, FastTiming) iterations.
void BusWait();
// Wait iterations actually performed since the program started.
std::uint64_t busWaitIterations();

// Line primitives: one register write, then one BusWait.
void ClockLow();
void ClockHigh();
void DataLow();
void DataHigh();

// Bus primitives.
void StartCondition();
void StopCondition();
void SendByte(std::uint8_t value);
std::uint8_t ReadAck();  // 0 = acknowledged
std::uint8_t ReceiveByte();
std::uint8_t AckPoll(std::uint8_t block);  // 0 = the device acknowledged

// Device address bytes, write direction (OR 1 for read).
std::uint8_t address24C(std::uint8_t block);
std::uint8_t addressSDA(std::uint8_t block);
// The master's acknowledge of a received byte: the data line low for one
// clock, asking the chip for the next byte.
void SendAck();

// Most acknowledge polls after one write.
inline constexpr int kMaxAckPolls = 1000;

// What the chip answered during the last transaction, taken from the
// acknowledge bits the transaction clocks anyway.
BusResult lastTransactionResult();

// Byte transactions, the one-byte case of the two below. Writes return 0.
std::uint8_t ReadByte24C(std::uint16_t port, std::uint8_t block, std::uint8_t address);
std::uint8_t WriteByte24C(std::uint16_t port, std::uint8_t block, std::uint8_t address,
                          std::uint8_t data);
std::uint8_t ReadByteSDA(std::uint16_t port, std::uint8_t block, std::uint8_t address);
std::uint8_t WriteByteSDA(std::uint16_t port, std::uint8_t block, std::uint8_t address,
                          std::uint8_t data);

// A read of n >= 1 bytes from the address of `phase`: device address, word
// address, repeated START, device address for reading, then n bytes, each
// but the last acknowledged by the master. With n == 1 and a one-byte word
// address it is exactly the random read above.
BusResult sequentialRead(std::uint16_t port, const AddressPhase& phase, std::uint8_t* out,
                         std::size_t n);
// START, the device address byte, STOP on the port: true when acknowledged.
bool pollDevice(std::uint16_t port, std::uint8_t addressByte);
// START, the device address byte for reading, one byte read and not
// acknowledged, STOP: true when the address was acknowledged. A read starts
// no write cycle on any EEPROM, whatever it makes of a lone address.
bool probeDevice(std::uint16_t port, std::uint8_t addressByte);
// A write of n >= 1 bytes within one page, then acknowledge polling in the
// device address's own form, at most kMaxAckPolls polls. A device address or
// word address the chip did not acknowledge started no write cycle: no
// polling then. With n == 1 and a one-byte word address it is exactly the
// byte write above. stored (when given) turns true once the STOP has gone
// out after data the chip acknowledged: from then on the chip holds them,
// whatever fails during the polling.
BusResult pageWrite(std::uint16_t port, const AddressPhase& phase, const std::uint8_t* data,
                    std::size_t n, bool* stored = nullptr);

}  // namespace kavoda
