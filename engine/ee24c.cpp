// SPDX-License-Identifier: MIT
// Port accessors and the bit-banged two-wire bus driver.
#include "ee24c.h"

#include <cmath>

#include "DeviceCatalogue.h"
#include "PortBackend.h"

namespace kavoda {

TPORT BytePort;
TPORTW WordPort;
TPORTL DwordPort;

std::uint16_t DataPort = 0;
std::uint16_t StatusPort = 0;
std::uint16_t ControlPort = 0;

namespace detail {

static PortBackend& backend()
{
    PortBackend* b = installedPortBackend();
    if (!b)
        throw PortError("The parallel port is not open");
    return *b;
}

std::uint8_t portRead8(std::uint16_t port) { return backend().read(port); }
void portWrite8(std::uint16_t port, std::uint8_t value) { backend().write(port, value); }
std::uint16_t portRead16(std::uint16_t port) { return backend().readWord(port); }
void portWrite16(std::uint16_t port, std::uint16_t value) { backend().writeWord(port, value); }
std::uint32_t portRead32(std::uint16_t port) { return backend().readDword(port); }
void portWrite32(std::uint16_t port, std::uint32_t value) { backend().writeDword(port, value); }

}  // namespace detail

namespace {
std::uint64_t g_waitIterations = 0;
TransactionAcks g_lastAcks;

constexpr std::uint8_t kDataLineBit = 0x10;  // status register bit 4

void setLine(std::uint16_t port, std::uint8_t level)
{
    BytePort.Port[port] = level;
    BusWait();
}

std::uint8_t sampleDataLine()
{
    const std::uint8_t status = BytePort.Port[StatusPort];
    return (status & kDataLineBit) ? 1 : 0;
}

void selectPort(std::uint16_t port)
{
    DataPort = port;
    ControlPort = static_cast<std::uint16_t>(port + 2);
    StatusPort = static_cast<std::uint16_t>(port + 1);
}

std::uint8_t randomRead(std::uint16_t port, std::uint8_t writeAddress, std::uint8_t address)
{
    selectPort(port);
    // Clock and data to 1 before the START; these two writes have no wait.
    BytePort.Port[DataPort] = 0xFF;
    BytePort.Port[ControlPort] = 0xFF;
    StartCondition();
    SendByte(writeAddress);
    std::uint8_t missed = ReadAck();
    SendByte(address);
    missed |= ReadAck();
    StartCondition();  // repeated START turns the bus around for reading
    SendByte(static_cast<std::uint8_t>(writeAddress | 0x01));
    missed |= ReadAck();
    const std::uint8_t value = ReceiveByte();
    // The data line stays at 1 on this ninth clock: no acknowledge, the read
    // ends. The bit sampled here is the host's own, so it is not recorded.
    ReadAck();
    StopCondition();
    g_lastAcks = TransactionAcks{missed == 0, false};
    return value;
}

void byteWrite(std::uint16_t port, std::uint8_t writeAddress, std::uint8_t address,
               std::uint8_t data)
{
    selectPort(port);
    StartCondition();
    SendByte(writeAddress);
    std::uint8_t missed = ReadAck();
    SendByte(address);
    missed |= ReadAck();
    SendByte(data);
    missed |= ReadAck();
    StopCondition();
    g_lastAcks = TransactionAcks{missed == 0, false};
}
}  // namespace

std::int32_t busWaitCount(std::int32_t busDelay, std::uint8_t fastTiming)
{
    // The product wraps as 32-bit arithmetic does, without the undefined
    // behaviour of a signed overflow.
    const auto product = static_cast<std::int32_t>(static_cast<std::uint32_t>(busDelay) * 500u);
    if (fastTiming == 1) {
        // The single-precision 0.5 scales a double, in which every 32-bit
        // product is exact, so the result is always exactly busDelay * 250.
        return static_cast<std::int32_t>(std::nearbyint(static_cast<double>(product) * 0.5f));
    }
    return product;
}

void BusWait()
{
    const std::int32_t count = busWaitCount(BusDelay, FastTiming);
    if (count <= 0)
        return;
    // The wait is nothing but this loop, so the optimiser would delete it. The
    // empty asm statement takes the counter as an in/out register operand: the
    // compiler can neither drop the statement (volatile) nor know the counter
    // after it, so every iteration stays one decrement and one branch
    // (checked in the Release build with objdump: a sub/test/jg loop).
    std::int32_t remaining = count;
    while (remaining > 0) {
#if defined(__GNUC__)
        asm volatile("" : "+r"(remaining));
#else
        static_cast<void>(*static_cast<volatile std::int32_t*>(&remaining));
#endif
        --remaining;
    }
    const std::int64_t performed = static_cast<std::int64_t>(count) - remaining;
    g_waitIterations += static_cast<std::uint64_t>(performed);
    if (PortBackend* b = installedPortBackend())
        b->onWait(performed);
}

std::uint64_t busWaitIterations()
{
    return g_waitIterations;
}

TransactionAcks lastTransactionAcks()
{
    return g_lastAcks;
}

void ClockLow() { setLine(DataPort, 0); }
void ClockHigh() { setLine(DataPort, 1); }
void DataLow() { setLine(ControlPort, 0); }
void DataHigh() { setLine(ControlPort, 1); }

void StartCondition()
{
    DataHigh();
    ClockHigh();
    DataLow();  // data falls while the clock is high: START
    ClockLow();
}

void StopCondition()
{
    DataLow();
    ClockHigh();
    DataHigh();  // data rises while the clock is high: STOP
    ClockLow();
}

void SendByte(std::uint8_t value)
{
    for (int bit = 7; bit >= 0; --bit) {
        if ((value >> bit) & 1)
            DataHigh();
        else
            DataLow();
        ClockHigh();
        ClockLow();
    }
}

std::uint8_t ReadAck()
{
    DataHigh();
    ClockHigh();
    const std::uint8_t bit = sampleDataLine();
    ClockLow();
    return bit;
}

std::uint8_t ReceiveByte()
{
    DataHigh();  // release the line so the device can drive it
    std::uint8_t result = 0;
    for (int i = 0; i < 8; ++i) {
        ClockHigh();
        const std::uint8_t bit = sampleDataLine();
        ClockLow();
        result = static_cast<std::uint8_t>((result << 1) | bit);
    }
    return result;
}

namespace {

std::uint8_t ackPollAddress(std::uint8_t addressByte)
{
    StartCondition();
    SendByte(addressByte);
    const std::uint8_t ack = ReadAck();
    StopCondition();
    return ack;
}

// The device ignores the bus during its internal write; it acknowledges its
// address again once the byte is stored. Polls that all went unanswered are
// recorded for the caller to report.
void pollUntilWritten(std::uint8_t addressByte)
{
    for (int poll = 0; poll < kMaxAckPolls; ++poll) {
        if (ackPollAddress(addressByte) == 0)
            return;
    }
    g_lastAcks.pollsRanOut = true;
}

}  // namespace

std::uint8_t AckPoll(std::uint8_t block)
{
    return ackPollAddress(address24C(block));
}

std::uint8_t address24C(std::uint8_t block)
{
    return static_cast<std::uint8_t>(0xA0 | (block << 1));
}

std::uint8_t addressSDA(std::uint8_t block)
{
    return static_cast<std::uint8_t>(0xA0 | (block << 2));
}

std::uint8_t ReadByte24C(std::uint16_t port, std::uint8_t block, std::uint8_t address)
{
    return randomRead(port, address24C(block), address);
}

std::uint8_t ReadByteSDA(std::uint16_t port, std::uint8_t block, std::uint8_t address)
{
    return randomRead(port, addressSDA(block), address);
}

std::uint8_t WriteByte24C(std::uint16_t port, std::uint8_t block, std::uint8_t address,
                          std::uint8_t data)
{
    byteWrite(port, address24C(block), address, data);
    pollUntilWritten(address24C(block));
    return 0;
}

std::uint8_t WriteByteSDA(std::uint16_t port, std::uint8_t block, std::uint8_t address,
                          std::uint8_t data)
{
    byteWrite(port, addressSDA(block), address, data);
    // SDA chips take up to 10 ms to store a byte and ignore the bus meanwhile;
    // without waiting for them, the next byte written straight after would be
    // lost. Polled like the 24C family, in the SDA address form.
    pollUntilWritten(addressSDA(block));
    return 0;
}

}  // namespace kavoda
