// SPDX-License-Identifier: MIT
// The kernel I2C bus: the messages of each transaction, how errno values
// become acknowledges or errors, opening a bus, and the simulated bus
// driving the bit-level chip.
#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <fstream>
#include <functional>

#include "I2cDev.h"
#include "PortBackend.h"
#include "SimulatedI2cDev.h"
#include "TempFolder.h"
#include "ee24c.h"

namespace kavoda {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ScriptedBus final : public I2cDevFile {
public:
    int transfer(std::vector<I2cMessage>& messages) override
    {
        transfers.push_back(messages);
        if (onTransfer)
            onTransfer();
        const int error = errors.empty() ? 0 : errors.front();
        if (!errors.empty())
            errors.pop_front();
        for (I2cMessage& m : messages) {
            if (m.read && error == 0)
                std::fill(m.data.begin(), m.data.end(), readValue);
        }
        return error;
    }
    std::vector<std::vector<I2cMessage>> transfers;
    std::deque<int> errors;
    std::uint8_t readValue = 0x42;
    std::function<void()> onTransfer;
};

AddressPhase phaseOf(std::uint8_t device, std::uint8_t word)
{
    AddressPhase phase;
    phase.device = device;
    phase.word[0] = word;
    return phase;
}

TEST(I2cDevBus, ABlockIsOneCombinedTransferAndAPageOneMessage)
{
    ScriptedBus file;
    std::uint64_t now = 0;
    I2cDevBus bus(file, "/dev/i2c-3", [&now] { return now += 1000; });
    // 24C16 block 3 (0xA6) is 7-bit 0x53; SDA block 3 (0xAC) is 0x56.
    std::vector<std::uint8_t> block(256);
    EXPECT_TRUE(bus.read({ControllerRun{phaseOf(address24C(3), 0x00), block.data(), 256}}).result.ok());
    EXPECT_EQ(block[255], 0x42);
    ASSERT_EQ(file.transfers.size(), 1u);
    const auto& r = file.transfers[0];
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].address, 0x53);
    EXPECT_FALSE(r[0].read);
    EXPECT_EQ(r[0].data, Bytes{0x00});
    EXPECT_EQ(r[1].address, 0x53);
    EXPECT_TRUE(r[1].read);
    EXPECT_EQ(r[1].data.size(), 256u);

    // A two-byte word address and a page; the poll is the address alone.
    AddressPhase wide = phaseOf(0xA0, 0x12);
    wide.word[1] = 0x34;
    wide.wordBytes = 2;
    const std::uint8_t page[3] = {1, 2, 3};
    EXPECT_TRUE(bus.write(wide, page, 3, 10'000'000).ok());
    ASSERT_EQ(file.transfers[1].size(), 1u);
    EXPECT_EQ(file.transfers[1][0].address, 0x50);
    EXPECT_EQ(file.transfers[1][0].data, (Bytes{0x12, 0x34, 1, 2, 3}));
    ASSERT_EQ(file.transfers.size(), 3u);
    EXPECT_FALSE(file.transfers[2][0].read);
    EXPECT_TRUE(file.transfers[2][0].data.empty()) << "a poll is the address alone";
}

TEST(I2cDevBus, ErrnoValuesOfAMissingAcknowledgeABusyDriverAndABrokenBus)
{
    ScriptedBus file;
    std::uint64_t now = 0;
    I2cDevBus bus(file, "/dev/i2c-7", [&now] { return now += 1'000'000; });
    std::uint8_t value = 0;
    const ControllerRun run{phaseOf(0xA0, 0), &value, 1};
    file.errors = {ENXIO};
    EXPECT_EQ(bus.read({run}).result.status, BusStatus::NoAcknowledge);
    EXPECT_EQ(value, 0xFF);
    file.errors = {ENXIO};
    EXPECT_EQ(bus.write(phaseOf(0xA0, 0), &value, 1, 5'000'000).status, BusStatus::NoAcknowledge);
    // Data not taken, but the address is: write protection. A chip that
    // answers no poll either is missing, not protected.
    file.errors = {EREMOTEIO, 0};
    EXPECT_EQ(bus.write(phaseOf(0xA0, 0), &value, 1, 5'000'000).status, BusStatus::DataRefused);
    file.errors = {EREMOTEIO, ENXIO};
    EXPECT_EQ(bus.write(phaseOf(0xA0, 0), &value, 1, 5'000'000).status, BusStatus::NoAcknowledge);
    file.errors = {EIO, ENXIO};
    EXPECT_EQ(bus.write(phaseOf(0xA0, 0), &value, 1, 5'000'000).status, BusStatus::NoAcknowledge);
    // EIO part-way with the chip there: the bus failed, nothing was refused.
    file.errors = {EIO, 0};
    EXPECT_THROW(bus.write(phaseOf(0xA0, 0), &value, 1, 5'000'000), PortError);
    // A chip that never ends its cycle: polled for the time given.
    file.errors = std::deque<int>(100, ENXIO);
    file.errors.push_front(0);
    EXPECT_EQ(bus.write(phaseOf(0xA0, 0), &value, 1, 5'000'000).status, BusStatus::Busy);
    EXPECT_LT(file.errors.size(), 100u - 3u);

    // A signal or a busy driver: the transfer is made again, not reported.
    file.errors = {EINTR, EAGAIN, EINTR, 0};
    file.transfers.clear();
    EXPECT_TRUE(bus.read({run}).result.ok());
    EXPECT_EQ(file.transfers.size(), 4u);

    file.errors = {ENODEV};
    try {
        bus.read({run});
        FAIL() << "an unplugged bus must not pass for a silent chip";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("/dev/i2c-7"), std::string::npos);
    }
}

// A process held up past the polling's deadline right after a busy poll
// asks once more before calling the chip busy; the deadline counts from
// the write's STOP.
TEST(I2cDevBus, APollAfterAStallStillComes)
{
    ScriptedBus file;
    std::uint64_t now = 0;
    I2cDevBus bus(file, "/dev/i2c-1", [&now] { return now; });
    const std::uint8_t value = 0;
    file.errors = {0, ENXIO, 0};
    std::size_t seen = 0;
    file.onTransfer = [&] {
        if (++seen == 2)
            now += 1'000'000'000;  // held up for a second after the first poll
    };
    EXPECT_TRUE(bus.write(phaseOf(0xA0, 0), &value, 1, 50'000'000).ok());
    EXPECT_EQ(file.transfers.size(), 3u);

    // The write itself took long: its polls still get their whole time.
    file.transfers.clear();
    file.errors = {0, ENXIO, ENXIO, 0};
    seen = 0;
    file.onTransfer = [&] {
        if (++seen == 1)
            now += 1'000'000'000;
    };
    EXPECT_TRUE(bus.write(phaseOf(0xA0, 0), &value, 1, 50'000'000).ok());
}

TEST(I2cDevBus, PollsWithAOneByteReadWhereTheDriverRefusesEmptyMessages)
{
    ScriptedBus file;
    I2cDevBus bus(file, "/dev/i2c-1");
    file.errors = {EOPNOTSUPP, ENXIO, 0};
    EXPECT_FALSE(bus.poll(0xA4));
    EXPECT_TRUE(bus.poll(0xA4));
    ASSERT_EQ(file.transfers.size(), 3u);
    EXPECT_TRUE(file.transfers[0][0].data.empty());
    for (int i = 1; i < 3; ++i) {
        EXPECT_TRUE(file.transfers[i][0].read) << "later polls read at once";
        EXPECT_EQ(file.transfers[i][0].data.size(), 1u);
        EXPECT_EQ(file.transfers[i][0].address, 0x52);
    }
}

TEST(I2cDevOpen, MissingBusPermissionAndAFileThatIsNoBus)
{
    EXPECT_TRUE(isI2cDevPath("/dev/i2c-0"));
    EXPECT_TRUE(isI2cDevPath("/dev/i2c-12"));
    for (const char* bad : {"/dev/i2c-", "/dev/i2c-x", "/dev/sda", "i2c-1", "/dev/i2c-1/../sda"})
        EXPECT_FALSE(isI2cDevPath(bad)) << bad;

    EXPECT_NE(i2cDevOpenErrorText("/dev/i2c-4", ENOENT).find("modprobe i2c-dev"),
              std::string::npos);
    EXPECT_NE(i2cDevOpenErrorText("/dev/i2c-4", EACCES, false).find("group i2c"),
              std::string::npos);
    for (const int error : {ENOENT, EACCES})
        EXPECT_EQ(i2cDevOpenErrorText("/dev/i2c-4", error, true).find("sudo"), std::string::npos);

    test::TempFolder dir;
    try {
        openI2cDev(dir.file("i2c-9").string());
        FAIL() << "a missing bus opened";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("There is no I2C bus"), std::string::npos);
    }
    std::ofstream(dir.file("plain").string()) << "not a bus";
    try {
        openI2cDev(dir.file("plain").string());
        FAIL() << "a plain file passed for a bus";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("I2C_RDWR"), std::string::npos);
    }
}

TEST(SimulatedI2cDev, TheKernelsErrnoValuesAndADriverWithoutEmptyMessages)
{
    SimulatedI2cDev empty(ChipOptions{1, "", std::nullopt, ChipFault::EmptySocket});
    std::vector<I2cMessage> messages = I2cDevBus::readMessages(phaseOf(0xA0, 0), 1);
    EXPECT_EQ(empty.transfer(messages), ENXIO);

    SimulatedI2cDev strict(ChipOptions{1, "", std::nullopt, ChipFault::None}, 100, false);
    std::vector<I2cMessage> poll = I2cDevBus::pollMessages(0xA0);
    EXPECT_EQ(strict.transfer(poll), EOPNOTSUPP);
    I2cDevBus strictBus(strict, "/dev/i2c-1");
    EXPECT_TRUE(strictBus.poll(0xA0)) << "the one-byte read poll works there";
}

}  // namespace
}  // namespace kavoda
