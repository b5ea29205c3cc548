// SPDX-License-Identifier: MIT
// Adapter names, and the device transactions on an adapter's own controller:
// address bytes, polling, the acknowledge record, opening and releasing.
#include <gtest/gtest.h>

#include <deque>

#include "Adapter.h"
#include "ControllerBus.h"
#include "EngineFixture.h"
#include "PortBackend.h"
#include "PortSession.h"
#include "ee24c.h"

namespace kavoda {
namespace {

TEST(AdapterChoice, NamesRoundTripAndAnythingElseIsRefused)
{
    for (const char* text : {"parport", "ch341a", "i2c:/dev/i2c-0", "i2c:/dev/i2c-11"}) {
        const auto choice = parseAdapter(text);
        ASSERT_TRUE(choice.has_value()) << text;
        EXPECT_EQ(adapterText(*choice), text);
    }
    EXPECT_EQ(parseAdapter("CH341A")->kind, AdapterKind::Ch341a);
    EXPECT_EQ(parseAdapter("I2C:/dev/i2c-2")->i2cPath, "/dev/i2c-2");
    // Only bus nodes: the program opens the file read-write.
    for (const char* bad : {"", "usb", "ch341", "i2c:", "i2c:/dev/sda", "i2c:/etc/passwd",
                            "i2c:/dev/i2c-1x", "/dev/i2c-1", " parport"})
        EXPECT_FALSE(parseAdapter(bad).has_value()) << '"' << bad << '"';

    EXPECT_EQ(adapterCaption(*parseAdapter("parport")), "");
    EXPECT_EQ(adapterCaption(*parseAdapter("ch341a")), "CH341A");
    EXPECT_EQ(adapterCaption(*parseAdapter("i2c:/dev/i2c-1")), "I2C /dev/i2c-1");
}

TEST(AdapterChoice, CommandLineBeforeSettingsFileBeforeTheParallelPort)
{
    PortOptions options;
    EXPECT_TRUE(resolveAdapter(options).isParallelPort()) << "nothing said: the parallel port";

    AdapterChoice stored = *parseAdapter("ch341a");
    stored.speed = I2cSpeed::k400kHz;
    EXPECT_EQ(resolveAdapter(options, stored), stored);

    options.i2cSpeed = I2cSpeed::k20kHz;
    EXPECT_EQ(resolveAdapter(options, stored).speed, I2cSpeed::k20kHz);

    options.adapter = *parseAdapter("parport");
    EXPECT_TRUE(resolveAdapter(options, stored).isParallelPort());
    options.adapter = *parseAdapter("i2c:/dev/i2c-4");
    EXPECT_EQ(resolveAdapter(options, stored).i2cPath, "/dev/i2c-4");
}

TEST(AdapterChoice, CommandLineOptionsAndTheirUsageErrors)
{
    PortOptions options;
    EXPECT_EQ(applyAdapterOptions(options, std::nullopt, std::nullopt), "");
    EXPECT_FALSE(options.adapter.has_value()) << "not given: the settings file decides";

    EXPECT_EQ(applyAdapterOptions(options, std::string("ch341a"), 400), "");
    EXPECT_EQ(options.adapter->kind, AdapterKind::Ch341a);
    EXPECT_EQ(options.i2cSpeed, I2cSpeed::k400kHz);
    PortOptions speedOnly;
    EXPECT_EQ(applyAdapterOptions(speedOnly, std::nullopt, 20), "") << "for a stored CH341A";
    EXPECT_EQ(speedOnly.i2cSpeed, I2cSpeed::k20kHz);

    const auto error = [](const char* adapter, std::optional<int> khz, std::string trace = "") {
        PortOptions o;
        o.tracePath = std::move(trace);
        return applyAdapterOptions(o, adapter ? std::optional<std::string>(adapter) : std::nullopt,
                                   khz);
    };
    EXPECT_NE(error("usb", std::nullopt).find("choose parport, ch341a or i2c:/dev/i2c-N"),
              std::string::npos);
    EXPECT_NE(error("i2c:/dev/sda", std::nullopt), "");
    EXPECT_NE(error("ch341a", 50).find("20, 100, 400 or 750"), std::string::npos);
    EXPECT_NE(error("parport", 100).find("Delay"), std::string::npos);
    EXPECT_NE(error("i2c:/dev/i2c-2", 100).find("/dev/i2c-2"), std::string::npos);
    EXPECT_NE(error("ch341a", std::nullopt, "bus.vcd").find("--trace"), std::string::npos);
    EXPECT_EQ(error("parport", std::nullopt, "bus.vcd"), "");
}

// Answers from a script and records what the transactions asked for.
class ScriptedController final : public I2cController {
public:
    I2cRead randomRead(std::uint8_t addressByte, std::uint8_t word) override
    {
        log.push_back({'R', addressByte, word});
        return {0x77, answer};
    }
    bool byteWrite(std::uint8_t addressByte, std::uint8_t word, std::uint8_t) override
    {
        log.push_back({'W', addressByte, word});
        return answer;
    }
    bool poll(std::uint8_t addressByte) override
    {
        log.push_back({'P', addressByte, 0});
        ++polls;
        return polls > busyPolls;
    }
    struct Call {
        char kind;
        std::uint8_t addressByte;
        std::uint8_t word;
        bool operator==(const Call& o) const
        {
            return kind == o.kind && addressByte == o.addressByte && word == o.word;
        }
    };
    std::vector<Call> log;
    bool answer = true;
    int polls = 0;
    int busyPolls = 0;
};

class ControllerBusTest : public test::EngineTest {
protected:
    ControllerBus makeBus()
    {
        return ControllerBus([this]() -> std::unique_ptr<I2cController> {
            ++m_opens;
            auto controller = std::make_unique<ScriptedController>();
            m_controller = controller.get();
            return controller;
        });
    }
    ScriptedController* m_controller = nullptr;
    int m_opens = 0;
};

TEST_F(ControllerBusTest, AddressBytesOfBothFamiliesAreThoseOfTheParallelPort)
{
    ControllerBus bus = makeBus();
    BusClaim claim(bus);
    EXPECT_EQ(bus.readByte(Family::C24, 7, 0x12), 0x77);
    EXPECT_EQ(bus.readByte(Family::SDA, 3, 0x34), 0x77);
    bus.writeByte(Family::C24, 5, 0x56, 1);
    bus.writeByte(Family::SDA, 2, 0x78, 2);
    using C = ScriptedController::Call;
    EXPECT_EQ(m_controller->log,
              (std::vector<C>{{'R', address24C(7), 0x12}, {'R', addressSDA(3), 0x34},
                              {'W', address24C(5), 0x56}, {'P', address24C(5), 0},
                              {'W', addressSDA(2), 0x78}, {'P', addressSDA(2), 0}}));
    EXPECT_EQ(address24C(7), 0xAE);
    EXPECT_EQ(addressSDA(3), 0xAC);
    EXPECT_TRUE(bus.acks().clean());
    EXPECT_EQ(bus.acks().transactions, 4u);
}

TEST_F(ControllerBusTest, PollingStopsAtTheFirstAcknowledgeAndGivesUpAfterAThousand)
{
    ControllerBus bus = makeBus();
    BusClaim claim(bus);
    m_controller->busyPolls = 6;
    bus.writeByte(Family::C24, 0, 0, 0);
    EXPECT_EQ(m_controller->polls, 7);
    EXPECT_TRUE(bus.acks().clean());

    m_controller->polls = 0;
    m_controller->busyPolls = 1'000'000;
    bus.writeByte(Family::SDA, 0, 0, 0);
    EXPECT_EQ(m_controller->polls, kMaxAckPolls);
    EXPECT_EQ(bus.acks().pollsRanOut, 1u);
    EXPECT_EQ(bus.acks().unanswered, 0u);

    m_controller->answer = false;
    bus.clearAcks();
    bus.readByte(Family::C24, 0, 0);
    EXPECT_EQ(bus.acks().unanswered, 1u);
}

TEST_F(ControllerBusTest, EachClaimOpensTheAdapterAndEachReleaseClosesIt)
{
    ControllerBus bus = makeBus();
    { BusClaim claim(bus); }
    { BusClaim claim(bus); }
    EXPECT_EQ(m_opens, 2);
    bus.readByte(Family::C24, 0, 0);  // a lone transaction opens it too
    EXPECT_EQ(m_opens, 3);
}

TEST_F(ControllerBusTest, MissingRealAdaptersGiveOneClearError)
{
    AdapterChoice bus = *parseAdapter("i2c:/dev/i2c-250");
    ControllerBus i2c(bus, std::nullopt);
    try {
        i2c.claim();
        FAIL() << "a missing bus opened";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("/dev/i2c-250"), std::string::npos);
    }
    ControllerBus usb(*parseAdapter("ch341a"), std::nullopt);
    try {
        usb.claim();
        usb.release();
        GTEST_SKIP() << "a CH341A is plugged into this machine";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("CH341A"), std::string::npos);
    }
}

}  // namespace
}  // namespace kavoda
