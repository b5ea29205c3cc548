// SPDX-License-Identifier: MIT
// The golden register sequences: every Port[n] access of one 24C read, one
// 24C write polled twice and one SDA read, in value and order, built from the
// table of line and bus primitives. A swapped DataHigh/ClockHigh in a START
// looks the same on a decoded wire; here it does not.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "BusRecorder.h"
#include "EngineFixture.h"
#include "ee24c.h"

namespace kavoda {
namespace {

constexpr std::uint16_t kBase = 0x278;
constexpr std::uint8_t kLow = 0x6F;   // status with bit 4 (the data line) low
constexpr std::uint8_t kHigh = 0x7F;  // and high

// Tokens: "D1" the data register (clock) written 1, "C0" the control register
// (data line) written 0, "DFF"/"CFF" the 0xFF writes of a read, "R" a status
// read, "w" one BusWait.
class Golden {
public:
    void clockLow() { line('D', 0); }
    void clockHigh() { line('D', 1); }
    void dataLow() { line('C', 0); }
    void dataHigh() { line('C', 1); }
    void start()
    {
        dataHigh();
        clockHigh();
        dataLow();
        clockLow();
    }
    void stop()
    {
        dataLow();
        clockHigh();
        dataHigh();
        clockLow();
    }
    void send(std::uint8_t value)
    {
        for (int bit = 7; bit >= 0; --bit) {
            if ((value >> bit) & 1)
                dataHigh();
            else
                dataLow();
            clockHigh();
            clockLow();
        }
    }
    void readAck()
    {
        dataHigh();
        clockHigh();
        m_tokens.push_back("R");
        clockLow();
    }
    void receive()
    {
        dataHigh();
        for (int i = 0; i < 8; ++i) {
            clockHigh();
            m_tokens.push_back("R");
            clockLow();
        }
    }
    void ffWrites()
    {
        m_tokens.push_back("DFF");
        m_tokens.push_back("CFF");
    }
    void randomRead(std::uint8_t writeAddress, std::uint8_t address)
    {
        ffWrites();
        start();
        send(writeAddress);
        readAck();
        send(address);
        readAck();
        start();
        send(static_cast<std::uint8_t>(writeAddress | 1));
        readAck();
        receive();
        readAck();
        stop();
    }
    void ackPoll(std::uint8_t addressByte)
    {
        start();
        send(addressByte);
        readAck();
        stop();
    }

    const std::vector<std::string>& tokens() const { return m_tokens; }

private:
    void line(char reg, int value)
    {
        m_tokens.push_back(std::string(1, reg) + std::to_string(value));
        m_tokens.push_back("w");
    }
    std::vector<std::string> m_tokens;
};

std::vector<std::string> tokensOf(const test::RecordingPort& port, std::int64_t waitIterations)
{
    std::vector<std::string> tokens;
    for (const test::PortEvent& e : port.events) {
        std::ostringstream t;
        if (e.kind == test::PortEvent::Wait) {
            EXPECT_EQ(e.iterations, waitIterations);
            t << 'w';
        } else if (e.kind == test::PortEvent::Read) {
            t << (e.port == kBase + 1 ? "R" : "R? " + std::to_string(e.port));
        } else if (e.port == kBase || e.port == kBase + 2) {
            t << (e.port == kBase ? 'D' : 'C') << std::uppercase << std::hex << int(e.value);
        } else {
            t << "W? to port " << e.port;
        }
        tokens.push_back(t.str());
    }
    return tokens;
}

std::string joined(const std::vector<std::string>& tokens, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < std::min(count, tokens.size()); ++i)
        out += (i ? " " : "") + tokens[i];
    return out;
}

class RegisterSequenceTest : public test::EngineTest {
protected:
    // Runs transaction on a recording port whose status reads answer in turn.
    std::vector<std::string> record(const std::function<void()>& transaction,
                                    std::function<std::uint8_t(int)> status,
                                    std::int64_t waitIterations)
    {
        test::RecordingPort port(kBase);
        port.answer = [&status](std::uint16_t, int index) { return status(index); };
        ScopedPortBackend scope(port);
        transaction();
        return tokensOf(port, waitIterations);
    }
};

TEST_F(RegisterSequenceTest, Read24C)
{
    BusDelay = 2;
    FastTiming = 1;
    std::uint8_t value = 0;
    const auto tokens = record([&value] { value = ReadByte24C(kBase, 3, 0x10); },
                               [](int i) { return (i >= 3 && i <= 10 && i % 2) ? kHigh : kLow; },
                               500);
    Golden golden;
    golden.randomRead(0xA6, 0x10);
    EXPECT_EQ(tokens, golden.tokens());
    // The start, spelled out: no wait after the 0xFF writes, then the START
    // and the first bit of 0xA6.
    EXPECT_EQ(joined(tokens, 18), "DFF CFF C1 w D1 w C0 w D0 w C1 w D1 w D0 w C0 w");
    EXPECT_EQ(value, 0xAA);
}

TEST_F(RegisterSequenceTest, Write24CPolledTwice)
{
    BusDelay = 1;
    FastTiming = 0;
    // The three acknowledges of the write come; the first poll goes
    // unanswered (the write cycle runs), the second is answered.
    const auto tokens = record([] { WriteByte24C(kBase, 5, 0x80, 0x3C); },
                               [](int i) { return i == 3 ? kHigh : kLow; }, 500);
    Golden golden;
    golden.start();
    golden.send(0xAA);
    golden.readAck();
    golden.send(0x80);
    golden.readAck();
    golden.send(0x3C);
    golden.readAck();
    golden.stop();
    golden.ackPoll(0xAA);
    golden.ackPoll(0xAA);
    EXPECT_EQ(tokens, golden.tokens());
    EXPECT_EQ(joined(tokens, 8), "C1 w D1 w C0 w D0 w") << "a write starts with its START";
}

TEST_F(RegisterSequenceTest, ReadSDA)
{
    BusDelay = 1;
    FastTiming = 1;
    const auto tokens =
        record([] { ReadByteSDA(kBase, 2, 0x33); }, [](int) { return kLow; }, 250);
    Golden golden;
    golden.randomRead(0xA8, 0x33);
    EXPECT_EQ(tokens, golden.tokens());
}

}  // namespace
}  // namespace kavoda
