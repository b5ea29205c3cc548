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
    for (const char* text : {"parport", "ch341a", "i2c:/dev/i2c-0", "i2c:/dev/i2c-11",
                             "spidev:/dev/spidev0.1"}) {
        const auto choice = parseAdapter(text);
        ASSERT_TRUE(choice.has_value()) << text;
        EXPECT_EQ(adapterText(*choice), text);
    }
    EXPECT_EQ(parseAdapter("CH341A")->kind, AdapterKind::Ch341a);
    EXPECT_EQ(parseAdapter("I2C:/dev/i2c-2")->path, "/dev/i2c-2");
    // Only bus nodes: the program opens the file read-write.
    for (const char* bad : {"", "usb", "ch341", "i2c:", "i2c:/dev/sda", "i2c:/etc/passwd",
                            "i2c:/dev/i2c-1x", "/dev/i2c-1", " parport", "spidev:/dev/i2c-1",
                            "i2c:/dev/spidev0.0", "spidev:/dev/spidev0"})
        EXPECT_FALSE(parseAdapter(bad).has_value()) << '"' << bad << '"';

    EXPECT_EQ(adapterCaption(*parseAdapter("parport")), "");
    EXPECT_EQ(adapterCaption(*parseAdapter("ch341a")), "CH341A");
    EXPECT_EQ(adapterCaption(*parseAdapter("i2c:/dev/i2c-1")), "I2C /dev/i2c-1");
    EXPECT_EQ(adapterCaption(*parseAdapter("SPIDEV:/dev/spidev1.0")), "SPI /dev/spidev1.0");
}

TEST(AdapterChoice, EachRowOffersItsTransportsAndRefusesTheOthersBeforeOpening)
{
    const auto offers = [](const char* text, Transport t) {
        return parseAdapter(text)->type().offers(t);
    };
    EXPECT_TRUE(offers("parport", Transport::I2c));
    EXPECT_FALSE(offers("parport", Transport::Spi));
    EXPECT_TRUE(offers("ch341a", Transport::I2c));
    EXPECT_TRUE(offers("ch341a", Transport::Spi));
    EXPECT_TRUE(offers("i2c:/dev/i2c-1", Transport::I2c));
    EXPECT_FALSE(offers("i2c:/dev/i2c-1", Transport::Spi));
    EXPECT_FALSE(offers("spidev:/dev/spidev0.0", Transport::I2c));
    EXPECT_TRUE(offers("spidev:/dev/spidev0.0", Transport::Spi));

    ChipType spiChip = *findChip("24C64");
    spiChip.caption = "25640";
    spiChip.family = Family::Spi25;
    const ChipType& i2cChip = *findChip("24C16");
    EXPECT_EQ(transportRefusal(*parseAdapter("ch341a"), spiChip), "");
    EXPECT_EQ(transportRefusal(*parseAdapter("ch341a"), i2cChip), "");

    // Nothing is opened: the paths below do not exist, and what is said is
    // the refusal, not that they are missing.
    PortSession session(PortOptions{});
    const auto refused = [&](const char* adapter, const ChipType& chip) -> std::string {
        auto bus = makeDeviceBus(session, *parseAdapter(adapter), chip);
        try {
            BusClaim claim(*bus);
        } catch (const PortError& e) {
            return e.what();
        }
        return "opened";
    };
    EXPECT_EQ(refused("spidev:/dev/spidev250.1", i2cChip),
              "The 24C16 is an I2C chip: spidev reaches SPI chips only");
    EXPECT_EQ(refused("i2c:/dev/i2c-250", spiChip),
              "The 25640 is an SPI chip: SPI chips need a CH341A or spidev adapter");
    EXPECT_EQ(refused("parport", spiChip),
              "The 25640 is an SPI chip: SPI chips need a CH341A or spidev adapter");
    auto windowBus = makeDeviceBus(session, *parseAdapter("spidev:/dev/spidev250.1"));
    EXPECT_THROW(windowBus->claim(), PortError);
    std::uint8_t byte = 0;
    EXPECT_THROW(windowBus->read(i2cChip, {ReadRun{0, &byte, 1}}), PortError);
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
    EXPECT_EQ(resolveAdapter(options, stored).path, "/dev/i2c-4");
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
    EXPECT_NE(error("usb", std::nullopt)
                  .find("choose parport, ch341a, i2c:/dev/i2c-N or spidev:/dev/spidevB.C"),
              std::string::npos);
    EXPECT_NE(error("i2c:/dev/sda", std::nullopt), "");
    EXPECT_NE(error("ch341a", 50).find("20, 100, 400 or 750"), std::string::npos);
    EXPECT_NE(error("parport", 100).find("Delay"), std::string::npos);
    EXPECT_NE(error("i2c:/dev/i2c-2", 100).find("/dev/i2c-2"), std::string::npos);
    EXPECT_NE(error("ch341a", std::nullopt, "bus.vcd").find("--trace"), std::string::npos);
    EXPECT_EQ(error("parport", std::nullopt, "bus.vcd"), "");
    EXPECT_NE(error("spidev:/dev/spidev0.0", 400).find("--spi-speed"), std::string::npos);

    // --spi-speed: a spidev device's clock only, within its range.
    const auto spi = [](const char* adapter, int khz) {
        PortOptions o;
        return applyAdapterOptions(o, std::string(adapter), std::nullopt, khz);
    };
    EXPECT_EQ(spi("spidev:/dev/spidev0.0", 8000), "");
    EXPECT_NE(spi("spidev:/dev/spidev0.0", 0).find("10 to 100000"), std::string::npos);
    EXPECT_NE(spi("ch341a", 1000).find("fixed"), std::string::npos);
    EXPECT_NE(spi("i2c:/dev/i2c-1", 1000), "");
    PortOptions fast;
    applyAdapterOptions(fast, std::string("spidev:/dev/spidev0.0"), std::nullopt, 12000);
    EXPECT_EQ(resolveAdapter(fast).spiKhz, 12000);
    EXPECT_EQ(resolveAdapter(PortOptions{}, *parseAdapter("spidev:/dev/spidev0.0")).spiKhz,
              kDefaultSpiSpeedKhz);
}

// Answers from a script and records what the transactions asked for.
class ScriptedController final : public I2cController {
public:
    ReadOutcome read(const std::vector<ControllerRun>& runs) override
    {
        for (const ControllerRun& run : runs) {
            log.push_back(run.phase);
            std::fill(run.out, run.out + run.length, 0x77);
        }
        return {};
    }
    BusResult write(const AddressPhase& phase, const std::uint8_t*, std::uint32_t,
                    std::uint64_t pollLimitNs) override
    {
        log.push_back(phase);
        pollLimits.push_back(pollLimitNs);
        return {};
    }
    bool poll(std::uint8_t) override { return true; }
    bool probe(std::uint8_t) override { return true; }
    std::vector<AddressPhase> log;
    std::vector<std::uint64_t> pollLimits;
};

class ControllerBusTest : public test::EngineTest {
protected:
    std::unique_ptr<ControllerBus> makeBus()
    {
        return std::make_unique<ControllerBus>(
            [this]() -> std::unique_ptr<I2cController> {
                ++m_opens;
                auto controller = std::make_unique<ScriptedController>();
                m_controller = controller.get();
                return controller;
            },
            adapterType(AdapterKind::Ch341a).limits);
    }
    ScriptedController* m_controller = nullptr;
    int m_opens = 0;
};

std::vector<int> bytesOf(const AddressPhase& phase)
{
    std::vector<int> bytes{phase.device};
    for (int i = 0; i < phase.wordBytes; ++i)
        bytes.push_back(phase.word[i]);
    return bytes;
}

TEST_F(ControllerBusTest, AddressPhasesComeFromTheChipTable)
{
    auto bus = makeBus();
    BusClaim claim(*bus);
    std::uint8_t byte = 0;
    bus->read(*findChip("24C16"), {ReadRun{0x712, &byte, 1}});
    bus->read(*findChip("SDA3586"), {ReadRun{0x334, &byte, 1}});
    bus->write(*findChip("24C64"), 0x1234, &byte, 1);
    bus->write(*findChip("24M01"), 0x1ABCD, &byte, 1);
    bus->setChipAddress(2);
    bus->read(*findChip("24M01"), {ReadRun{0x00010, &byte, 1}});
    EXPECT_EQ(byte, 0x77);
    ASSERT_EQ(m_controller->log.size(), 5u);
    EXPECT_EQ(bytesOf(m_controller->log[0]), (std::vector<int>{0xAE, 0x12}));
    EXPECT_EQ(bytesOf(m_controller->log[1]), (std::vector<int>{0xAC, 0x34}));
    EXPECT_EQ(bytesOf(m_controller->log[2]), (std::vector<int>{0xA0, 0x12, 0x34}));
    EXPECT_EQ(bytesOf(m_controller->log[3]), (std::vector<int>{0xA2, 0xAB, 0xCD}));
    EXPECT_EQ(bytesOf(m_controller->log[4]), (std::vector<int>{0xA4, 0x00, 0x10}))
        << "A1 high: bit 2; the block bit stays clear";
    // Polling lasts a few times the table's longest write cycle.
    EXPECT_EQ(m_controller->pollLimits,
              (std::vector<std::uint64_t>{50'000'000, 50'000'000}));
    EXPECT_EQ(bus->counters().transactions, 5u);
    EXPECT_EQ(bus->counters().writes, 2u);
}

TEST_F(ControllerBusTest, EachClaimOpensTheAdapterAndEachReleaseClosesIt)
{
    auto bus = makeBus();
    { BusClaim claim(*bus); }
    { BusClaim claim(*bus); }
    EXPECT_EQ(m_opens, 2);
    EXPECT_TRUE(bus->poll(*findChip("24C02"), 0));  // a lone transaction opens it too
    EXPECT_EQ(m_opens, 3);
}

TEST_F(ControllerBusTest, MissingRealAdaptersGiveOneClearError)
{
    PortSession session(PortOptions{});
    auto i2c = makeDeviceBus(session, *parseAdapter("i2c:/dev/i2c-250"));
    try {
        i2c->claim();
        FAIL() << "a missing bus opened";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("/dev/i2c-250"), std::string::npos);
    }
    auto usb = makeDeviceBus(session, *parseAdapter("ch341a"));
    try {
        usb->claim();
        usb->release();
        GTEST_SKIP() << "a CH341A is plugged into this machine";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("CH341A"), std::string::npos);
    }
}

}  // namespace
}  // namespace kavoda
