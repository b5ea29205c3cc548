// SPDX-License-Identifier: MIT
// One suite for every adapter on its simulator: the parallel port, the CH341A
// and the kernel I2C bus each carry the whole-device loops to the same
// bit-level chip, with the same results and the same acknowledge record.
#include <gtest/gtest.h>

#include <memory>

#include "Adapter.h"
#include "ControllerBus.h"
#include "DeviceBus.h"
#include "DeviceOperations.h"
#include "EngineFixture.h"
#include "PortSession.h"
#include "QuietDisplay.h"
#include "SimulatedChip.h"
#include "ee24c.h"

namespace kavoda {
namespace {

using test::QuietDisplay;

// A simulated chip behind one adapter's transactions, made as the programs
// make them: from the session's options.
struct Rig {
    std::unique_ptr<PortSession> session;
    std::unique_ptr<DeviceBus> bus;

    SimulatedChip& chip()
    {
        if (auto* controller = dynamic_cast<ControllerBus*>(bus.get()))
            return *controller->simulatedChip();
        return session->simulator()->chip();
    }
};

struct AdapterFactory {
    const char* name;
    const char* adapter;
};

void PrintTo(const AdapterFactory& factory, std::ostream* os)
{
    *os << factory.name;
}

Rig makeRig(const char* adapter, const ChipOptions& chip)
{
    PortOptions options;
    options.simulateType = chip.deviceType;
    options.simFault = chip.fault;
    options.simWriteCycleNs = chip.writeCycleNs;
    options.adapter = *parseAdapter(adapter);
    Rig rig;
    rig.session = std::make_unique<PortSession>(options);
    rig.bus = makeDeviceBus(*rig.session);
    return rig;
}

const AdapterFactory kAdapters[] = {
    {"parport", "parport"},
    {"ch341a", "ch341a"},
    {"i2c", "i2c:/dev/i2c-1"},
};

class Bytes final : public ByteSink, public ByteSource {
public:
    Bytes() = default;
    explicit Bytes(std::vector<std::uint8_t> bytes) : bytes(std::move(bytes)) {}
    void put(std::uint8_t value) override { bytes.push_back(value); }
    void rewind() override { m_at = 0; }
    bool atEnd() override { return m_at >= bytes.size(); }
    std::uint8_t next() override { return bytes.at(m_at++); }
    std::vector<std::uint8_t> bytes;

private:
    std::size_t m_at = 0;
};

std::vector<std::uint8_t> pattern(int size, int seed)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i)
        bytes[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(i * 29 + (i >> 8) * 7 + seed);
    return bytes;
}

class AdapterConformance : public test::EngineTest,
                           public ::testing::WithParamInterface<AdapterFactory> {
protected:
    // A short write cycle keeps the parallel port's polling brief; the
    // datasheet cycle is tested on its own below.
    Rig insert(const CatalogueEntry& type, ChipFault fault = ChipFault::None,
               std::optional<std::uint64_t> cycleNs = 200'000)
    {
        SelectDevice(type);
        return makeRig(GetParam().adapter, ChipOptions{type.deviceType, "", cycleNs, fault});
    }
    QuietDisplay m_display;
};

TEST_P(AdapterConformance, EveryTypeIsWrittenReadAndVerified)
{
    for (const CatalogueEntry& type : kCatalogue) {
        SCOPED_TRACE(std::string(type.caption));
        Rig rig = insert(type);
        BusClaim claim(*rig.bus);
        Bytes image(pattern(type.sizeBytes(), type.deviceType));
        ASSERT_EQ(fillPass(*rig.bus, m_display, 0xFF, true), PassEnd::Completed);
        ASSERT_EQ(writePass(*rig.bus, m_display, image), PassEnd::Completed);
        Bytes read;
        ASSERT_EQ(readPass(*rig.bus, m_display, read), PassEnd::Completed);
        EXPECT_FALSE(verifyDevice(read.bytes, image.bytes).has_value());
        int wrongCells = 0;
        for (int a = 0; a < type.sizeBytes(); ++a)
            wrongCells += rig.chip().cell(a) != image.bytes[static_cast<std::size_t>(a)];
        EXPECT_EQ(wrongCells, 0) << "every block's bytes sit in their own cells";
        EXPECT_TRUE(rig.bus->acks().clean());
        EXPECT_EQ(rig.bus->acks().transactions, 3u * static_cast<std::uint64_t>(type.sizeBytes()));
    }
}

TEST_P(AdapterConformance, AShortImageLeavesTheRestErasedAndTheContentOutlivesTheClaim)
{
    const CatalogueEntry& type = *findDevice("SDA3546");
    Rig rig = insert(type);
    Bytes image(pattern(100, 3));
    {
        BusClaim claim(*rig.bus);
        fillPass(*rig.bus, m_display, 0x00, false);
        fillPass(*rig.bus, m_display, 0xFF, true);
        writePass(*rig.bus, m_display, image);
    }
    BusClaim again(*rig.bus);
    Bytes read;
    readPass(*rig.bus, m_display, read);
    ASSERT_EQ(read.bytes.size(), 512u);
    EXPECT_FALSE(verifyDevice(read.bytes, image.bytes).has_value());
    EXPECT_EQ(read.bytes[100], 0xFF);
    EXPECT_EQ(read.bytes[511], 0xFF);
}

TEST_P(AdapterConformance, WritesWaitOutTheDatasheetWriteCycle)
{
    for (const char* caption : {"24C08", "SDA3586"}) {
        Rig rig = insert(*findDevice(caption), ChipFault::None, std::nullopt);
        BusClaim claim(*rig.bus);
        const Family family = findDevice(caption)->family;
        // Back to back: a byte written while the chip still stores the last
        // one would be lost.
        for (int i = 0; i < 8; ++i)
            rig.bus->writeByte(family, 3, static_cast<std::uint8_t>(i),
                               static_cast<std::uint8_t>(0x40 + i));
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(rig.bus->readByte(family, 3, static_cast<std::uint8_t>(i)), 0x40 + i)
                << caption;
        EXPECT_EQ(rig.chip().writeCycles(), 8u);
        EXPECT_TRUE(rig.bus->acks().clean());
    }
}

TEST_P(AdapterConformance, EmptySocketIsReportedNotRead)
{
    Rig rig = insert(*findDevice("24C04"), ChipFault::EmptySocket);
    BusClaim claim(*rig.bus);
    Bytes read;
    readPass(*rig.bus, m_display, read);
    EXPECT_EQ(read.bytes, std::vector<std::uint8_t>(512, 0xFF)) << "an idle bus reads 1s";
    EXPECT_EQ(rig.bus->acks().unanswered, 512u);
    rig.bus->clearAcks();
    rig.bus->writeByte(Family::C24, 1, 0x10, 0x00);
    EXPECT_EQ(rig.bus->acks().unanswered, 1u);
    EXPECT_EQ(rig.bus->acks().pollsRanOut, 1u);
    EXPECT_FALSE(ackReportText(rig.bus->acks(), "24C04").empty());
}

TEST_P(AdapterConformance, EndlessWriteCycleRunsOutOfPollsAndReadOnlyFailsVerify)
{
    Rig stuck = insert(*findDevice("SDA3526"), ChipFault::EndlessWriteCycle);
    {
        BusClaim claim(*stuck.bus);
        stuck.bus->writeByte(Family::SDA, 0, 0, 0x12);
        EXPECT_EQ(stuck.bus->acks().unanswered, 0u) << "the write itself was taken";
        EXPECT_EQ(stuck.bus->acks().pollsRanOut, 1u);
        stuck.bus->readByte(Family::SDA, 0, 0);
        EXPECT_EQ(stuck.bus->acks().unanswered, 1u) << "the chip stays busy";
    }

    Rig readOnly = insert(*findDevice("24C02"), ChipFault::WritesDoNotStick);
    BusClaim claim(*readOnly.bus);
    Bytes image(pattern(256, 9));
    writePass(*readOnly.bus, m_display, image);
    Bytes read;
    readPass(*readOnly.bus, m_display, read);
    const auto mismatch = verifyDevice(read.bytes, image.bytes);
    ASSERT_TRUE(mismatch.has_value());
    EXPECT_EQ(mismatch->address, 0);
    EXPECT_TRUE(readOnly.bus->acks().clean()) << "the chip answered every byte";
}

INSTANTIATE_TEST_SUITE_P(Adapters, AdapterConformance, ::testing::ValuesIn(kAdapters),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavoda
