// SPDX-License-Identifier: MIT
// The 93Cxx Microwire EEPROMs: their rows against the datasheets, their
// commands as they reach the lines of the CH341A's socket, and the
// operations over them on the simulated programmer and chip.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "Ch341aWire.h"
#include "DeviceOperations.h"
#include "MicrowireBus.h"
#include "QuietDisplay.h"
#include "SimulatedCh341a.h"

namespace kavoda {
namespace {

// Datasheet figures typed apart from the table (Microchip 93AA/LC/C46..86,
// Atmel AT93C46..86, ST M93C46..86): size in bytes, address bits of a
// command in x8 and x16, longest write cycle.
struct Datasheet {
    int size;
    int bits8;
    int bits16;
    std::uint32_t writeUs;
};

const std::map<std::string, Datasheet> kDatasheets = {
    {"93C46", {128, 7, 6, 10000}},   {"93C56", {256, 9, 8, 10000}},
    {"93C66", {512, 9, 8, 10000}},   {"93C76", {1024, 11, 10, 10000}},
    {"93C86", {2048, 11, 10, 10000}},
};

TEST(MicrowireTable, EveryRowHoldsItsDatasheetFiguresAndMakersNames)
{
    std::size_t rows = 0;
    for (const ChipType* chip : chipsOf(Transport::Lines)) {
        SCOPED_TRACE(std::string(chip->caption));
        const auto found = kDatasheets.find(std::string(chip->caption));
        ASSERT_NE(found, kDatasheets.end());
        ++rows;
        EXPECT_EQ(chip->family, Family::Microwire);
        EXPECT_EQ(chip->size, found->second.size);
        EXPECT_EQ(chip->microwire.addressBits8, found->second.bits8);
        EXPECT_EQ(chip->microwire.addressBits16, found->second.bits16);
        EXPECT_EQ(chip->writeCycleUs, found->second.writeUs);
        EXPECT_EQ(chip->microwire.organisation, 0) << "the ORG pin is the user's to name";
        const ChipType x16 = withOrganisation(*chip, 16, ByteOrder::Little);
        EXPECT_EQ(x16.pageSize, 2);
        EXPECT_EQ(x16.wordBytes(), 2);
        EXPECT_EQ(withOrganisation(*chip, 8, ByteOrder::Big).pageSize, 1);
    }
    EXPECT_EQ(rows, kDatasheets.size());
    EXPECT_EQ(findChip("93LC66B"), findChip("93C66"));
    EXPECT_EQ(findChip("AT93C46"), findChip("93C46"));
    EXPECT_EQ(findChip("cat93c86"), findChip("93C86"));
    EXPECT_EQ(findChip("93AA56A"), findChip("93C56"));
    EXPECT_EQ(findChip("93C66X"), nullptr);
    EXPECT_EQ(organisationOfName("93LC66B"), 16);
    EXPECT_EQ(organisationOfName("93AA46A"), 8);
    EXPECT_EQ(organisationOfName("93LC46C"), 0);
    EXPECT_EQ(organisationOfName("24C02"), 0);
}

// The family's bus over a programmer's link (the simulated one, or a tap
// on it), on the simulation's clock.
std::unique_ptr<MicrowireBus> busOver(UsbBulkLink& link, SimulatedCh341a& sim,
                                      std::shared_ptr<SimulatedLink> simulation = nullptr)
{
    return std::make_unique<MicrowireBus>(
        [&link, &sim] { return std::make_unique<Ch341aWire>(link, [&sim] { return sim.nowNs(); }); },
        kCh341aWireLimits, std::move(simulation));
}

// The simulated programmer with a simulated 93Cxx on its lines, and the
// family's bus over it.
struct WireRig {
    std::shared_ptr<SimulatedCh341a> link;
    std::unique_ptr<MicrowireBus> bus;
    ChipType chip;

    WireRig(const std::string& type, int organisation, ByteOrder order,
            ChipFault fault = ChipFault::None, int chipOrganisation = 0)
    {
        ChipOptions options;
        options.deviceType = findChip(type)->deviceType;
        options.fault = fault;
        options.organisation = chipOrganisation ? chipOrganisation : organisation;
        link = std::make_shared<SimulatedCh341a>(makeSimulatedMicrowireChip(options));
        bus = busOver(*link, *link, link);
        chip = withOrganisation(*findChip(type), organisation, order);
    }
    SimulatedWireDevice& device() { return *link->wireChip(); }
};

std::vector<std::uint8_t> randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

TEST(MicrowireChip, EveryRowAndOrganisationWritesAndReadsByteExactInBothByteOrders)
{
    for (const ChipType* row : chipsOf(Transport::Lines)) {
        for (const int organisation : {8, 16}) {
            for (const ByteOrder order : {ByteOrder::Big, ByteOrder::Little}) {
                if (organisation == 8 && order == ByteOrder::Little)
                    continue;
                SCOPED_TRACE(std::string(row->caption) + " x" + std::to_string(organisation) +
                             (order == ByteOrder::Big ? " big" : " little"));
                WireRig rig(std::string(row->caption), organisation, order);
                test::QuietDisplay display;
                ChipJob job{*rig.bus, rig.chip, display};
                BusClaim claim(*rig.bus);
                const auto image = randomBytes(static_cast<std::size_t>(row->size), 7);
                const WantedImage wanted = WantedImage::fromImage(image, image.size(), 0xFF);
                EXPECT_EQ(writeRuns(job, planWrite(job, wanted, nullptr)).written, row->size);
                // The chip holds each word high byte first: where the image
                // is little-endian, its bytes swap.
                for (std::uint32_t a = 0; a < static_cast<std::uint32_t>(row->size); ++a) {
                    const std::uint32_t at =
                        organisation == 16 && order == ByteOrder::Little ? (a ^ 1u) : a;
                    ASSERT_EQ(rig.device().cell(at), image[a]) << a;
                }
                EXPECT_EQ(rig.device().writeCycles(),
                          static_cast<std::uint64_t>(row->size * 8 / organisation));
                std::vector<std::uint8_t> back;
                ASSERT_EQ(readRange(job, 0, static_cast<std::uint32_t>(row->size), back),
                          PassEnd::Completed);
                EXPECT_EQ(back, image);
            }
        }
    }
}

// Passes every transfer to the simulated programmer and keeps what went
// out, to be read as line levels.
class TappedLink final : public UsbBulkLink {
public:
    explicit TappedLink(SimulatedCh341a& sim) : m_sim(sim) {}
    void bulkOut(const std::vector<std::uint8_t>& packets) override
    {
        // A synchronous OUT has no IN waiting: none of its packets may answer.
        for (std::size_t at = 0; at < packets.size(); at += 32)
            for (std::size_t i = at + 1; i < std::min(packets.size(), at + 32) && packets[i] != 0x20; ++i)
                EXPECT_NE(packets[i], 0x00) << "a pin read in a synchronous OUT";
        sent.push_back(packets);
        m_sim.bulkOut(packets);
    }
    std::vector<std::uint8_t> bulkIn(std::size_t n) override { return m_sim.bulkIn(n); }
    std::vector<std::uint8_t> exchange(const std::vector<std::uint8_t>& packets,
                                       const std::vector<std::size_t>& ins) override
    {
        sent.push_back(packets);
        maxIns = std::max(maxIns, ins.size());
        return m_sim.exchange(packets, ins);
    }
    std::vector<std::vector<std::uint8_t>> sent;  // the transfers
    std::size_t maxIns = 0;

private:
    SimulatedCh341a& m_sim;
};

// The commands on the lines, read from the UIO packets as a logic analyser
// would: the DI level at each rising SK while CS (D0) is high, one string of
// bits per time CS is high. Also checks each packet against the stream's
// rules: 32 bytes, AB first, at most 30 commands before END.
std::vector<std::string> commandsOnLines(const std::vector<std::vector<std::uint8_t>>& transfers)
{
    std::vector<std::string> commands;
    std::uint8_t levels = 0;
    std::string current;
    bool select = false;
    for (const auto& sent : transfers)
    for (std::size_t at = 0; at < sent.size(); at += 32) {
        EXPECT_EQ(sent[at], 0xAB) << "packet at " << at;
        std::size_t i = at + 1;
        for (; i < std::min(sent.size(), at + 32) && sent[i] != 0x20; ++i) {
            const std::uint8_t c = sent[i];
            if ((c & 0xC0) != 0x80)
                continue;
            const std::uint8_t next = c & 0x3F;
            const bool cs = (next & 0x01) != 0;
            if (cs && !select)
                current.clear();
            if (cs && (next & 0x08) && !(levels & 0x08))
                current += (next & 0x20) ? '1' : '0';
            if (!cs && select && !current.empty())
                commands.push_back(current);
            select = cs;
            levels = next;
        }
        EXPECT_LT(i, at + 32) << "no END in the packet at " << at;
        EXPECT_LE(i - at - 1, 30u);
    }
    return commands;
}

TEST(MicrowireLines, CommandsCarryStartBitOpcodeAndTheOrganisationsAddressBits)
{
    ChipOptions options;
    options.deviceType = findChip("93C56")->deviceType;
    options.organisation = 8;
    SimulatedCh341a sim(makeSimulatedMicrowireChip(options));
    TappedLink link(sim);
    const auto owned = busOver(link, sim);
    MicrowireBus& bus = *owned;
    const ChipType x8 = withOrganisation(*findChip("93C56"), 8, ByteOrder::Big);
    BusClaim claim(bus);
    std::uint8_t byte = 0;
    ASSERT_TRUE(bus.read(x8, {ReadRun{0x05, &byte, 1}}).result.ok());
    const std::uint8_t value = 0xA5;
    ASSERT_TRUE(bus.write(x8, 0xFE, &value, 1).ok());
    ASSERT_TRUE(bus.writeAll(x8, 0x3C).ok());
    ASSERT_TRUE(bus.writeAll(x8, 0xFF).ok());
    // The 93C56 in x8: nine address bits, the first don't care. READ clocks
    // on through the dummy 0 and eight data bits.
    const std::vector<std::string> expected = {
        "110000000101" "00000000",      // READ 05
        "100110000000",                 // EWEN
        "101011111110" "10100101",      // WRITE FE A5
        "100000000000",                 // EWDS
        "100110000000", "100010000000" "00111100", "100000000000",  // WRAL 3C
        "100110000000", "100100000000", "100000000000",             // ERAL
    };
    EXPECT_EQ(commandsOnLines(link.sent), expected);
    EXPECT_LE(link.maxIns, Ch341aBus::kMaxInsPerExchange);
    EXPECT_EQ(sim.wireChip()->cell(0xFE), 0xFF) << "ERAL last";
}

TEST(MicrowireLines, X16WordsGoHighByteFirstAndTheImageTakesTheChosenOrder)
{
    for (const ByteOrder order : {ByteOrder::Big, ByteOrder::Little}) {
        ChipOptions options;
        options.deviceType = findChip("93C46")->deviceType;
        options.organisation = 16;
        SimulatedCh341a sim(makeSimulatedMicrowireChip(options));
        TappedLink link(sim);
        const auto owned = busOver(link, sim);
        MicrowireBus& bus = *owned;
        const ChipType x16 = withOrganisation(*findChip("93C46"), 16, order);
        BusClaim claim(bus);
        const std::uint8_t image[2] = {0x12, 0x34};
        ASSERT_TRUE(bus.write(x16, 2 * 0x2A, image, 2).ok());
        const std::string word = order == ByteOrder::Big ? "0001001000110100" : "0011010000010010";
        const auto commands = commandsOnLines(link.sent);
        ASSERT_EQ(commands.size(), 3u);
        EXPECT_EQ(commands[0], "100110000");  // EWEN: 11 and four don't care bits
        EXPECT_EQ(commands[1], "101101010" + word);
        EXPECT_EQ(commands[2], "100000000");
        std::uint8_t back[2] = {0, 0};
        ASSERT_TRUE(bus.read(x16, {ReadRun{2 * 0x2A, back, 2}}).result.ok());
        EXPECT_EQ(back[0], 0x12);
        EXPECT_EQ(back[1], 0x34);
        // A lone byte of a word: the other byte is kept as the chip holds it.
        const std::uint8_t low = 0x99;
        ASSERT_TRUE(bus.write(x16, 2 * 0x2A + 1, &low, 1).ok());
        ASSERT_TRUE(bus.read(x16, {ReadRun{2 * 0x2A, back, 2}}).result.ok());
        EXPECT_EQ(back[0], 0x12);
        EXPECT_EQ(back[1], 0x99);
    }
}

TEST(MicrowireChip, ProbeSeesTheAddressWidthOfEachRowAndOrganisationWithoutWriting)
{
    for (const ChipType* row : chipsOf(Transport::Lines)) {
        for (const int organisation : {8, 16}) {
            WireRig rig(std::string(row->caption), organisation, ByteOrder::Big);
            BusClaim claim(*rig.bus);
            const int bits = rig.bus->probeAddressBits();
            EXPECT_EQ(bits, organisation == 8 ? row->microwire.addressBits8
                                              : row->microwire.addressBits16)
                << row->caption << " x" << organisation;
            bool named = false;
            for (const MicrowireWidth& w : microwireChipsWithAddressBits(bits))
                named = named || (w.row == row && w.organisation == organisation);
            EXPECT_TRUE(named);
            EXPECT_EQ(rig.device().writeCycles(), 0u);
        }
    }
    WireRig empty("93C66", 16, ByteOrder::Big, ChipFault::EmptySocket);
    BusClaim claim(*empty.bus);
    EXPECT_EQ(empty.bus->probeAddressBits(), 0);
}

// One answer per fault: nothing drives DO, the write enable is refused,
// the cycle never ends; a chip whose cells keep their value fails the
// verify.
TEST(MicrowireChip, FaultsAreToldApart)
{
    const std::vector<std::uint8_t> data{0x55, 0xAA};
    {
        WireRig rig("93C66", 16, ByteOrder::Big, ChipFault::EmptySocket);
        BusClaim claim(*rig.bus);
        std::uint8_t byte = 0;
        EXPECT_EQ(rig.bus->read(rig.chip, {ReadRun{0, &byte, 1}}).result.status, BusStatus::NoAcknowledge);
        EXPECT_EQ(rig.bus->write(rig.chip, 0, data.data(), 2).status, BusStatus::NoAcknowledge);
    }
    {
        WireRig rig("93C66", 16, ByteOrder::Big, ChipFault::WriteProtected);
        test::QuietDisplay display;
        ChipJob job{*rig.bus, rig.chip, display};
        BusClaim claim(*rig.bus);
        try {
            writeRuns(job, {WriteRun{4, data}});
            ADD_FAILURE() << "a refused write passed";
        } catch (const ChipStop& e) {
            EXPECT_NE(std::string(e.what()).find("write enable (EWEN)"), std::string::npos) << e.what();
        }
        EXPECT_EQ(rig.bus->writeAll(rig.chip, 0x00).status, BusStatus::DataRefused);
        // A WRAL without a cycle is tried word by word, and the first word
        // tells.
        EXPECT_THROW(fillMicrowireChip(job, 0x00, false), ChipStop);
        EXPECT_EQ(rig.device().writeCycles(), 0u);
    }
    {
        WireRig rig("93C46", 8, ByteOrder::Big, ChipFault::EndlessWriteCycle);
        BusClaim claim(*rig.bus);
        const std::uint64_t before = rig.link->nowNs();
        EXPECT_EQ(rig.bus->write(rig.chip, 0, data.data(), 1).status, BusStatus::Busy);
        const std::uint64_t polled = rig.link->nowNs() - before;
        EXPECT_GE(polled, MicrowireBus::kPollMargin * rig.chip.writeCycleUs * 1000);
        EXPECT_LE(polled, 3 * MicrowireBus::kPollMargin * rig.chip.writeCycleUs * 1000);
    }
    {
        WireRig rig("93C46", 8, ByteOrder::Big, ChipFault::WritesDoNotStick);
        test::QuietDisplay display;
        ChipJob job{*rig.bus, rig.chip, display};
        BusClaim claim(*rig.bus);
        const std::vector<WriteRun> runs{WriteRun{3, {0x42}}};
        EXPECT_EQ(writeRuns(job, runs).written, 1);
        const auto mismatch = verifyRuns(job, runs, WantedImage::constant(128, 0x42));
        ASSERT_TRUE(mismatch.has_value());
        EXPECT_EQ(mismatch->address, 3u);
    }
}

// A cycle longer than its polls: the chip is waited for, and writes end
// disabled even though the EWDS after them found it busy.
TEST(MicrowireChip, ACycleThatOutlastsItsPollsEndsWithWritesDisabled)
{
    ChipOptions options;
    options.deviceType = findChip("93C46")->deviceType;
    options.organisation = 8;
    options.writeCycleNs = 20'000'000;  // ERAL and WRAL: 40 ms, beyond the 30 ms polled
    auto link = std::make_shared<SimulatedCh341a>(makeSimulatedMicrowireChip(options));
    const auto owned = busOver(*link, *link, link);
    MicrowireBus& bus = *owned;
    const ChipType chip = withOrganisation(*findChip("93C46"), 8, ByteOrder::Big);
    BusClaim claim(bus);
    ASSERT_TRUE(bus.writeAll(chip, 0x11).ok());
    EXPECT_EQ(link->wireChip()->cell(127), 0x11);
    // A WRITE without EWEN must find the chip disabled.
    Ch341aWire wire(*link, [l = link.get()] { return l->nowNs(); });
    WireCommand write;
    write.clocks = 3 + 7 + 8;
    write.out = (std::uint64_t{0b101} << 7 | 5) << 8 | 0x77;
    write.polls = 1;
    EXPECT_EQ(wire.run({write}).at(0).readyAt, 0) << "no cycle: writes are disabled";
    EXPECT_EQ(link->wireChip()->cell(5), 0x11);
}

// A chip that does not take ERAL or WRAL (some do only at 5 V) ends up
// filled all the same, word by word.
TEST(MicrowireChip, FillTakesOneCycleAndRewritesWhatTheChipLeft)
{
    WireRig rig("93C76", 16, ByteOrder::Little);
    test::QuietDisplay display;
    ChipJob job{*rig.bus, rig.chip, display};
    BusClaim claim(*rig.bus);
    long rewritten = -1;
    EXPECT_EQ(fillMicrowireChip(job, 0x5A, false, &rewritten), PassEnd::Completed);
    EXPECT_EQ(rewritten, 0);
    EXPECT_EQ(rig.device().writeCycles(), 1u);
    for (std::uint32_t a = 0; a < 1024; a += 37)
        EXPECT_EQ(rig.device().cell(a), 0x5A);
    EXPECT_EQ(fillMicrowireChip(job, 0xFF, true, &rewritten), PassEnd::Completed);
    EXPECT_EQ(rig.device().writeCycles(), 2u);
    EXPECT_EQ(rig.device().cell(1023), 0xFF);

    WireRig stuck("93C46", 8, ByteOrder::Big, ChipFault::WritesDoNotStick);
    ChipJob stuckJob{*stuck.bus, stuck.chip, display};
    BusClaim stuckClaim(*stuck.bus);
    EXPECT_EQ(fillMicrowireChip(stuckJob, 0x00, false, &rewritten), PassEnd::Completed);
    EXPECT_EQ(rewritten, 128) << "every word the WRAL left, written again";
}

// Pulled out at any transfer of a write, the programmer's report counts
// exactly the words the chip took.
TEST(MicrowireChip, AnUnpluggedProgrammerReportsExactlyWhatTheChipTook)
{
    for (std::uint64_t after = 1; after < 120; after += 9) {
        SCOPED_TRACE("after " + std::to_string(after));
        WireRig rig("93C56", 16, ByteOrder::Big);
        rig.link->unplugAfter(after);
        test::QuietDisplay display;
        ChipJob job{*rig.bus, rig.chip, display};
        std::string report;
        try {
            BusClaim claim(*rig.bus);
            writeRuns(job, planWrite(job, WantedImage::constant(256, 0x00), nullptr));
        } catch (const std::exception& e) {
            report = e.what();
        }
        ASSERT_FALSE(report.empty());
        long changed = 0;
        for (std::uint32_t a = 0; a < 256; ++a)
            changed += rig.device().cell(a) == 0x00;
        if (changed == 0)
            EXPECT_NE(report.find("Nothing was written."), std::string::npos) << report;
        else
            EXPECT_NE(report.find("after writing " + std::to_string(changed) + " of"),
                      std::string::npos)
                << report << " changed " << changed;
    }
}

}  // namespace
}  // namespace kavoda
