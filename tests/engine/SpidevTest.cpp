// SPDX-License-Identifier: MIT
// The Linux SPI device: transactions as spidev messages within the driver's
// buffer, chip select released between them, on the simulated device that
// answers as the driver does; the messages for a device that cannot be
// opened.
#include <gtest/gtest.h>

#include <cerrno>

#include "PortBackend.h"
#include "SimulatedSpidev.h"
#include "SpiMemoryDouble.h"
#include "Spidev.h"

namespace kavoda {
namespace {

using Bytes = std::vector<std::uint8_t>;

class SpidevTest : public ::testing::Test {
protected:
    explicit SpidevTest(std::uint32_t buffer = kDefaultSpidevBufferSize)
    {
        auto chip = std::make_unique<test::SpiMemoryDouble>(0x10000);
        m_chip = chip.get();
        m_sim = std::make_unique<SimulatedSpidev>(std::move(chip), 1000, buffer);
        m_spi = std::make_unique<SpidevTransport>(*m_sim, "/dev/spidev0.0", buffer,
                                                  [this] { return m_sim->nowNs(); });
    }
    test::SpiMemoryDouble* m_chip;
    std::unique_ptr<SimulatedSpidev> m_sim;
    std::unique_ptr<SpidevTransport> m_spi;
};

TEST_F(SpidevTest, TransactionsShareAMessageWithChipSelectReleasedBetween)
{
    Bytes program{0x02, 0x00, 0x01, 0x00, 0xAA, 0xBB};
    const auto results = m_spi->run({SpiTransaction{{0x06}, 0}, SpiTransaction{program, 0},
                                     test::readCommand(0x100, 4), SpiTransaction{{0x05}, 1}});
    EXPECT_EQ(m_sim->transfers(), 1u) << "one system call";
    ASSERT_EQ(m_chip->commands.size(), 4u);
    EXPECT_EQ(m_chip->commands[0], Bytes{0x06});
    EXPECT_EQ(m_chip->commands[1], program);
    EXPECT_EQ(m_chip->commands[3], (Bytes{0x05, 0xFF})) << "0xFF shifted while reading";
    EXPECT_FALSE(m_chip->selected()) << "released after the message";
    EXPECT_EQ(m_chip->writeCycles(), 1u);
    EXPECT_EQ(results[2], (Bytes{0xAA, 0xBB, m_chip->cell(0x102), m_chip->cell(0x103)}));
    EXPECT_EQ(results[3], Bytes{0xFF});
    // 17 bytes at 1 MHz and the call.
    EXPECT_EQ(m_sim->nowNs(), SimulatedSpidev::kMessageOverheadNs + 17 * 8000u);
}

TEST_F(SpidevTest, MessagesKeepWithinTheDriversBuffer)
{
    // 2004 bytes each: two fit a 4096-byte buffer, the third goes alone.
    const auto results = m_spi->run(
        {test::readCommand(0, 2000), test::readCommand(2000, 2000), test::readCommand(4000, 2000)});
    EXPECT_EQ(m_sim->transfers(), 2u);
    for (std::uint32_t t = 0; t < 3; ++t) {
        ASSERT_EQ(results[t].size(), 2000u);
        for (std::uint32_t i = 0; i < 2000; ++i)
            ASSERT_EQ(results[t][i], m_chip->cell(t * 2000 + i)) << t << ' ' << i;
    }
    EXPECT_EQ(m_spi->limits().maxTransaction, kDefaultSpidevBufferSize);
    // One that the buffer cannot hold is refused by the driver, and said so.
    try {
        m_spi->run({test::readCommand(0, 4093)});
        FAIL() << "a message beyond the buffer went out";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("4096"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(m_chip->selected());
}

TEST(Spidev, PathsAndOpenMessages)
{
    for (const char* good : {"/dev/spidev0.0", "/dev/spidev1.2", "/dev/spidev32766.0"})
        EXPECT_TRUE(isSpidevPath(good)) << good;
    for (const char* bad : {"/dev/spidev", "/dev/spidev0", "/dev/spidev0.", "/dev/spidev.0",
                            "/dev/spidev0.0x", "/dev/sda", "/dev/spidev0.0/../../sda"})
        EXPECT_FALSE(isSpidevPath(bad)) << bad;

    EXPECT_NE(spidevOpenErrorText("/dev/spidev0.0", ENOENT, false).find("no SPI device "
                                                                          "/dev/spidev0.0"),
              std::string::npos);
    const std::string user = spidevOpenErrorText("/dev/spidev0.0", EACCES, false);
    EXPECT_NE(user.find("group spi"), std::string::npos);
    EXPECT_NE(user.find("udev rule"), std::string::npos);
    const std::string root = spidevOpenErrorText("/dev/spidev0.0", EACCES, true);
    EXPECT_EQ(root.find("sudo"), std::string::npos) << root;
    EXPECT_EQ(root.find("as root"), std::string::npos) << root;
    EXPECT_EQ(root.find("group"), std::string::npos) << root;

    try {
        openSpidev("/dev/spidev250.7", 1000);
        FAIL() << "a missing device opened";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("/dev/spidev250.7"), std::string::npos);
    }
}

}  // namespace
}  // namespace kavoda
