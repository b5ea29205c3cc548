// SPDX-License-Identifier: MIT
// One suite for every port backend that can run here: register semantics the
// bus driver relies on, and a chip answering through it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "BusTrace.h"
#include "EngineFixture.h"
#include "SimulatedChip.h"
#include "ee24c.h"

namespace kavoda {
namespace {

constexpr std::uint16_t kBase = 0x278;

// A backend under test with the simulated chip somewhere behind it.
struct BackendUnderTest {
    std::unique_ptr<SimulatedAdapter> adapter;
    std::unique_ptr<PortBackend> wrapper;
    PortBackend& backend() { return wrapper ? *wrapper : *adapter; }
};

struct BackendFactory {
    const char* name;
    std::function<BackendUnderTest(std::uint8_t deviceType)> make;
};

void PrintTo(const BackendFactory& factory, std::ostream* os)
{
    *os << factory.name;
}

std::string tracePath()
{
    return (test::scratchDir() / "bus.vcd").string();
}

const BackendFactory kFactories[] = {
    {"simulated",
     [](std::uint8_t type) {
         BackendUnderTest b;
         b.adapter = std::make_unique<SimulatedAdapter>(
             kBase, ChipOptions{type, "", std::nullopt, ChipFault::None});
         return b;
     }},
    {"traced_simulated",
     [](std::uint8_t type) {
         BackendUnderTest b;
         b.adapter = std::make_unique<SimulatedAdapter>(
             kBase, ChipOptions{type, "", std::nullopt, ChipFault::None});
         b.wrapper = std::make_unique<BusTrace>(tracePath(), *b.adapter, kBase);
         return b;
     }},
};

class BackendConformance : public test::EngineTest,
                           public ::testing::WithParamInterface<BackendFactory> {};

TEST_P(BackendConformance, StatusBit4FollowsTheReleasedDataLine)
{
    BackendUnderTest b = GetParam().make(1);
    PortBackend& port = b.backend();
    port.write(kBase + 2, 1);
    EXPECT_NE(port.read(kBase + 1) & 0x10, 0);
    port.write(kBase + 2, 0);
    EXPECT_EQ(port.read(kBase + 1) & 0x10, 0);
    ASSERT_TRUE(port.busDataLine().has_value());
    EXPECT_FALSE(*port.busDataLine());
}

TEST_P(BackendConformance, BytesRoundTripInBothFamilies)
{
    for (const std::uint8_t type : {std::uint8_t{4}, std::uint8_t{8}}) {
        BackendUnderTest b = GetParam().make(type);
        ScopedPortBackend scope(b.backend());
        SelectDevice(*findDeviceByType(type));
        const bool sda = familyOf(type) == Family::SDA;
        for (const int address : {0, 255, 256, 1023}) {
            const auto block = static_cast<std::uint8_t>(address / 256);
            const auto offset = static_cast<std::uint8_t>(address % 256);
            const auto value = static_cast<std::uint8_t>(address ^ 0xA5);
            if (sda) {
                WriteByteSDA(kBase, block, offset, value);
                b.adapter->elapse(findDeviceByType(type)->writeCycleUs * 1000ull);
                EXPECT_EQ(ReadByteSDA(kBase, block, offset), value) << address;
            } else {
                WriteByte24C(kBase, block, offset, value);
                EXPECT_EQ(ReadByte24C(kBase, block, offset), value) << address;
            }
        }
    }
}

TEST_P(BackendConformance, WaitsReachTheChipsClock)
{
    BackendUnderTest b = GetParam().make(1);
    const std::uint64_t before = b.adapter->nowNs();
    b.backend().onWait(1000);
    EXPECT_EQ(b.adapter->nowNs() - before, 1000 * SimulatedAdapter::kWaitIterationNs);
}

INSTANTIATE_TEST_SUITE_P(Backends, BackendConformance, ::testing::ValuesIn(kFactories),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavoda
