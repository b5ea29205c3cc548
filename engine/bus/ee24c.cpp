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
BusResult g_lastResult;

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

BusResult lastTransactionResult()
{
    return g_lastResult;
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

void SendAck()
{
    DataLow();
    ClockHigh();
    ClockLow();
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
// address again once the bytes are stored.
bool pollUntilWritten(std::uint8_t addressByte)
{
    for (int poll = 0; poll < kMaxAckPolls; ++poll) {
        if (ackPollAddress(addressByte) == 0)
            return true;
    }
    return false;
}

// Sends the word address bytes; true when every one was acknowledged.
bool sendWordAddress(const AddressPhase& phase)
{
    bool answered = true;
    for (int i = 0; i < phase.wordBytes; ++i) {
        SendByte(phase.word[i]);
        answered = ReadAck() == 0 && answered;
    }
    return answered;
}

AddressPhase bytePhase(std::uint8_t addressByte, std::uint8_t address)
{
    AddressPhase phase;
    phase.device = addressByte;
    phase.word[0] = address;
    phase.wordBytes = 1;
    return phase;
}

}  // namespace

bool pollDevice(std::uint16_t port, std::uint8_t addressByte)
{
    selectPort(port);
    return ackPollAddress(addressByte) == 0;
}

bool probeDevice(std::uint16_t port, std::uint8_t addressByte)
{
    selectPort(port);
    BytePort.Port[DataPort] = 0xFF;
    BytePort.Port[ControlPort] = 0xFF;
    StartCondition();
    SendByte(static_cast<std::uint8_t>(addressByte | 0x01));
    const bool answered = ReadAck() == 0;
    ReceiveByte();
    ReadAck();  // the data line stays at 1: not acknowledged, the read ends
    StopCondition();
    return answered;
}

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

BusResult sequentialRead(std::uint16_t port, const AddressPhase& phase, std::uint8_t* out,
                         std::size_t n)
{
    selectPort(port);
    // Clock and data to 1 before the START; these two writes have no wait.
    BytePort.Port[DataPort] = 0xFF;
    BytePort.Port[ControlPort] = 0xFF;
    StartCondition();
    SendByte(phase.device);
    bool answered = ReadAck() == 0;
    answered = sendWordAddress(phase) && answered;
    StartCondition();  // repeated START turns the bus around for reading
    SendByte(static_cast<std::uint8_t>(phase.device | 0x01));
    answered = ReadAck() == 0 && answered;
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = ReceiveByte();
        if (i + 1 < n)
            SendAck();
    }
    // The data line stays at 1 on the last byte's ninth clock: no
    // acknowledge, the read ends. The bit sampled is the host's own.
    ReadAck();
    StopCondition();
    g_lastResult = BusResult{answered ? BusStatus::Done : BusStatus::NoAcknowledge, 0};
    return g_lastResult;
}

BusResult pageWrite(std::uint16_t port, const AddressPhase& phase, const std::uint8_t* data,
                    std::size_t n, bool* stored)
{
    selectPort(port);
    StartCondition();
    SendByte(phase.device);
    const bool device = ReadAck() == 0;
    const bool word = sendWordAddress(phase);
    BusResult result;
    for (std::size_t i = 0; i < n; ++i) {
        SendByte(data[i]);
        if (ReadAck() != 0 && result.ok())
            result = BusResult{BusStatus::DataRefused, i};
    }
    StopCondition();
    if (!device || !word) {
        // No chip took the address, so no write cycle runs: nothing to poll.
        g_lastResult = BusResult{BusStatus::NoAcknowledge, 0};
        return g_lastResult;
    }
    if (stored && result.ok())
        *stored = true;
    if (!pollUntilWritten(phase.device) && result.ok())
        result = BusResult{BusStatus::Busy, 0};
    g_lastResult = result;
    return result;
}

std::uint8_t ReadByte24C(std::uint16_t port, std::uint8_t block, std::uint8_t address)
{
    std::uint8_t value = 0;
    sequentialRead(port, bytePhase(address24C(block), address), &value, 1);
    return value;
}

std::uint8_t ReadByteSDA(std::uint16_t port, std::uint8_t block, std::uint8_t address)
{
    std::uint8_t value = 0;
    sequentialRead(port, bytePhase(addressSDA(block), address), &value, 1);
    return value;
}

std::uint8_t WriteByte24C(std::uint16_t port, std::uint8_t block, std::uint8_t address,
                          std::uint8_t data)
{
    pageWrite(port, bytePhase(address24C(block), address), &data, 1);
    return 0;
}

// SDA chips take up to 10 ms to store a byte and ignore the bus meanwhile;
// without waiting for them, the next byte written straight after would be
// lost. Polled like the 24C family, in the SDA address form.
std::uint8_t WriteByteSDA(std::uint16_t port, std::uint8_t block, std::uint8_t address,
                          std::uint8_t data)
{
    pageWrite(port, bytePhase(addressSDA(block), address), &data, 1);
    return 0;
}

}  // namespace kavoda
