// SPDX-License-Identifier: MIT
// The 93Cxx commands over single lines: a start bit, two opcode bits, the
// address bits of the organisation, and a write's data, most significant
// bit first.
#include "MicrowireBus.h"

#include <algorithm>

#include "SimulatedLink.h"

namespace kavoda {

namespace {

constexpr unsigned kStartRead = 0b110;
constexpr unsigned kStartWrite = 0b101;
constexpr unsigned kStartSpecial = 0b100;
// The two address bits after the special opcode 00.
constexpr unsigned kEwen = 0b11;
constexpr unsigned kEwds = 0b00;
constexpr unsigned kEral = 0b10;
constexpr unsigned kWral = 0b01;

// Polls while no cycle has been timed: dense, over the longest cycle.
constexpr std::uint32_t kFirstGapUs = 200;
// Polls around a timed cycle: from nine tenths of it, this many, a
// twentieth of it apart (up to 1.2 cycles). The stream cannot stop at the
// first ready, so every poll after it costs time; a cycle that runs longer
// is waited for and the words after it sent again.
constexpr int kTimedPolls = 6;

int wordBits(const ChipType& chip)
{
    return 8 * chip.wordBytes();
}

std::string organisationMissing(const ChipType& chip)
{
    return "the " + std::string(chip.caption) +
           "'s organisation is not chosen: give --org 8 or --org 16 as its ORG pin is wired";
}

}  // namespace

MicrowireBus::MicrowireBus(Opener open, TransferLimits limits,
                           std::shared_ptr<SimulatedLink> simulation)
    : m_open(std::move(open)), m_limits(limits), m_simulation(std::move(simulation))
{
}

MicrowireBus::~MicrowireBus()
{
    release();
}

void MicrowireBus::claim()
{
    if (!m_transport)
        m_transport = m_open();
}

void MicrowireBus::release() noexcept
{
    m_transport.reset();
}

WireTransport& MicrowireBus::transport()
{
    if (!m_transport)
        m_transport = m_open();
    return *m_transport;
}

WireCommand MicrowireBus::readCommand(const ChipType& chip, std::uint32_t word) const
{
    if (chip.microwire.organisation == 0)
        throw PortError(organisationMissing(chip));
    const int n = chip.addressBits();
    const int w = wordBits(chip);
    WireCommand c;
    c.clocks = 3 + n + w;
    c.out = (std::uint64_t{kStartRead} << n | word) << w;
    // The dummy 0 after the last address bit, then the word.
    c.sample = (std::uint64_t{1} << (w + 1)) - 1;
    return c;
}

WireCommand MicrowireBus::writeCommand(const ChipType& chip, const Word& word) const
{
    const int n = chip.addressBits();
    const int w = wordBits(chip);
    WireCommand c;
    c.clocks = 3 + n + w;
    c.out = (std::uint64_t{kStartWrite} << n | word.index) << w | word.value;
    return c;
}

WireCommand MicrowireBus::special(const ChipType& chip, unsigned top, int dataBits,
                                  unsigned data) const
{
    const int n = chip.addressBits();
    WireCommand c;
    c.clocks = 3 + n + dataBits;
    c.out = (std::uint64_t{kStartSpecial} << n | std::uint64_t{top} << (n - 2)) << dataBits | data;
    return c;
}

void MicrowireBus::addPolls(WireCommand& command, std::uint64_t longestUs) const
{
    if (m_cycleUs == 0) {
        command.waitUs = kFirstGapUs;
        command.pollGapUs = kFirstGapUs;
        command.polls = 2 + static_cast<int>(longestUs / kFirstGapUs);
        return;
    }
    command.waitUs = static_cast<std::uint32_t>(m_cycleUs * 9 / 10);
    command.pollGapUs = static_cast<std::uint32_t>(std::max<std::uint64_t>(20, m_cycleUs / 20));
    command.polls = 2 + kTimedPolls;
}

void MicrowireBus::learn(const WireCommand& command, const WireReply& reply)
{
    if (reply.readyAt < 1)
        return;
    m_cycleUs = command.waitUs + std::uint64_t{command.pollGapUs} *
                                     static_cast<std::uint64_t>(reply.readyAt - 1);
}

BusStatus MicrowireBus::waitReady(std::uint64_t startNs, std::uint64_t limitNs)
{
    WireTransport& wire = transport();
    bool last = false;
    for (;;) {
        WireCommand poll;
        poll.polls = 4;
        poll.waitUs = kFirstGapUs;
        poll.pollGapUs = kFirstGapUs;
        const auto replies = wire.run({poll});
        ++m_counters.transactions;
        if (replies.at(0).readyAt >= 0)
            return BusStatus::Done;
        if (last)
            return BusStatus::Busy;
        // One look more after the deadline: a slow host may have let it pass.
        last = wire.nowNs() - startNs > limitNs;
    }
}

BusStatus MicrowireBus::refusal(const ChipType& chip, std::uint32_t word)
{
    // No dummy 0 either: nothing answers at all.
    const auto replies = transport().run({readCommand(chip, word)});
    ++m_counters.transactions;
    const bool answered = (replies.at(0).in >> wordBits(chip) & 1) == 0;
    return answered ? BusStatus::DataRefused : BusStatus::NoAcknowledge;
}

DeviceBus::ReadOutcome MicrowireBus::read(const ChipType& chip, const std::vector<ReadRun>& runs)
{
    const std::uint32_t bytes = static_cast<std::uint32_t>(chip.wordBytes());
    const int w = wordBits(chip);
    std::vector<WireCommand> commands;
    for (const ReadRun& run : runs) {
        if (run.length == 0)
            continue;
        for (std::uint32_t word = run.address / bytes; word <= (run.address + run.length - 1) / bytes;
             ++word)
            commands.push_back(readCommand(chip, word));
    }
    const auto replies = transport().run(commands);
    m_counters.transactions += commands.size();
    std::size_t at = 0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const ReadRun& run = runs[r];
        if (run.length == 0)
            continue;
        for (std::uint32_t word = run.address / bytes; word <= (run.address + run.length - 1) / bytes;
             ++word) {
            const WireReply& reply = replies.at(at++);
            if ((reply.in >> w & 1) != 0)
                return {BusResult{BusStatus::NoAcknowledge, 0}, r};
            const unsigned value = static_cast<unsigned>(reply.in & ((1u << w) - 1));
            std::uint8_t image[2] = {static_cast<std::uint8_t>(value), 0};
            if (bytes == 2) {
                const bool big = chip.microwire.byteOrder == ByteOrder::Big;
                image[0] = static_cast<std::uint8_t>(big ? value >> 8 : value);
                image[1] = static_cast<std::uint8_t>(big ? value : value >> 8);
            }
            for (std::uint32_t b = 0; b < bytes; ++b) {
                const std::uint32_t address = word * bytes + b;
                if (address >= run.address && address < run.address + run.length)
                    run.out[address - run.address] = image[b];
            }
        }
    }
    return {};
}

std::vector<MicrowireBus::Word> MicrowireBus::wordsOf(const ChipType& chip,
                                                      const std::vector<WriteRun>& runs)
{
    const std::uint32_t bytes = static_cast<std::uint32_t>(chip.wordBytes());
    std::vector<Word> words;
    for (const WriteRun& run : runs) {
        const std::uint32_t index = run.address / bytes;
        std::uint8_t image[2] = {0, 0};
        // Bytes of a word the run leaves out: as the chip holds them.
        if (run.bytes.size() != bytes || run.address % bytes != 0) {
            const auto result = read(chip, {ReadRun{index * bytes, image, bytes}});
            if (!result.result.ok())
                throw PortError("no chip answers on the Microwire lines (no dummy 0 before its "
                                "data): check that the " + std::string(chip.caption) +
                                " sits in its adapter the right way round");
        }
        for (std::size_t b = 0; b < run.bytes.size(); ++b)
            image[run.address % bytes + b] = run.bytes[b];
        unsigned value = image[0];
        if (bytes == 2)
            value = chip.microwire.byteOrder == ByteOrder::Big
                        ? static_cast<unsigned>(image[0]) << 8 | image[1]
                        : static_cast<unsigned>(image[1]) << 8 | image[0];
        words.push_back({index, value});
    }
    return words;
}

BusResult MicrowireBus::write(const ChipType& chip, std::uint32_t address,
                              const std::uint8_t* data, std::uint32_t length)
{
    m_writeStored = false;
    const auto outcome =
        writeBatch(chip, {WriteRun{address, std::vector<std::uint8_t>(data, data + length)}});
    m_writeStored = outcome.result.ok();
    return outcome.result;
}

DeviceBus::WriteOutcome MicrowireBus::writeBatch(const ChipType& chip,
                                                 const std::vector<WriteRun>& runs)
{
    const std::vector<Word> words = wordsOf(chip, runs);
    WireTransport& wire = transport();
    const std::uint64_t longestUs = chip.writeCycleUs;
    std::size_t next = 0;
    // An EWDS that reached the chip in its cycle was not taken.
    bool disableLost = false;
    while (next < words.size()) {
        disableLost = false;
        // Until a cycle has been timed, one word to a transfer.
        const std::size_t count =
            m_cycleUs == 0 ? 1 : std::min<std::size_t>(words.size() - next, std::max<std::uint32_t>(1, m_limits.maxWriteBatch));
        std::vector<WireCommand> commands{special(chip, kEwen)};
        for (std::size_t k = 0; k < count; ++k) {
            WireCommand c = writeCommand(chip, words[next + k]);
            addPolls(c, longestUs);
            commands.push_back(c);
        }
        commands.push_back(special(chip, kEwds));
        std::vector<WireReply> replies;
        try {
            replies = wire.run(commands);
        } catch (const WireRunFailure& e) {
            // Words whose cycle was seen to begin are on the chip.
            std::size_t done = 0;
            for (std::size_t k = 1; k < e.done().size() && k <= count; ++k) {
                const int readyAt = e.done()[k].readyAt;
                if (readyAt == 0)
                    break;
                ++done;
                if (readyAt < 0)
                    break;  // the words after it may have found the chip busy
            }
            throw WriteBatchFailure(e.what(), next + done);
        }
        m_counters.transactions += commands.size();
        bool resend = false;
        for (std::size_t k = 0; k < count && !resend; ++k) {
            const WireReply& reply = replies.at(1 + k);
            const WireCommand& command = commands.at(1 + k);
            ++m_counters.writes;
            if (reply.readyAt == 0) {
                // Ready at once: no cycle began, the chip did not take it.
                return {BusResult{refusal(chip, words[next + k].index), 0}, next + k};
            }
            if (reply.readyAt > 0) {
                learn(command, reply);
                continue;
            }
            // Still busy after its polls: the words sent after it found the
            // chip busy and were ignored. Wait, then send them again.
            const std::uint64_t polledNs = (command.waitUs + std::uint64_t{command.pollGapUs} *
                                                                 static_cast<std::uint64_t>(command.polls - 2)) * 1000;
            const std::uint64_t startNs = wire.nowNs() - std::min(wire.nowNs(), polledNs);
            BusStatus status = BusStatus::Done;
            try {
                status = waitReady(startNs, kPollMargin * longestUs * 1000);
            } catch (const PortError& e) {
                throw WriteBatchFailure(e.what(), next + k + 1);
            }
            if (status != BusStatus::Done)
                return {BusResult{BusStatus::Busy, 0}, next + k};
            m_cycleUs = (wire.nowNs() - startNs) / 1000;
            next += k + 1;
            resend = true;
            disableLost = true;
        }
        if (!resend)
            next += count;
    }
    if (disableLost) {
        try {
            wire.run({special(chip, kEwds)});
        } catch (const PortError& e) {
            throw WriteBatchFailure(e.what(), words.size());
        }
    }
    return {};
}

bool MicrowireBus::poll(const ChipType&, std::uint32_t)
{
    WireCommand c;
    c.polls = 1;
    const auto replies = transport().run({c});
    ++m_counters.transactions;
    return replies.at(0).readyAt == 0;
}

BusResult MicrowireBus::writeAll(const ChipType& chip, std::uint8_t value)
{
    const int w = wordBits(chip);
    const unsigned word = w == 16 ? (unsigned{value} << 8 | value) : value;
    WireCommand all = value == 0xFF ? special(chip, kEral) : special(chip, kWral, w, word);
    const std::uint64_t longestUs = value == 0xFF ? chip.microwire.eraseAllUs : chip.microwire.writeAllUs;
    all.waitUs = kFirstGapUs;
    all.pollGapUs = kFirstGapUs;
    all.polls = 2 + static_cast<int>(longestUs / kFirstGapUs);
    WireTransport& wire = transport();
    const std::uint64_t startNs = wire.nowNs();
    const auto replies = wire.run({special(chip, kEwen), all, special(chip, kEwds)});
    m_counters.transactions += 3;
    ++m_counters.writes;
    const WireReply& reply = replies.at(1);
    if (reply.readyAt == 0)
        return BusResult{refusal(chip, 0), 0};
    if (reply.readyAt < 0) {
        if (waitReady(startNs, kPollMargin * longestUs * 1000) != BusStatus::Done)
            return BusResult{BusStatus::Busy, 0};
        // The EWDS after it found the chip busy.
        wire.run({special(chip, kEwds)});
    }
    return {};
}

int MicrowireBus::probeAddressBits()
{
    WireCommand c;
    c.clocks = 3 + kProbeBits;
    c.out = std::uint64_t{kStartRead} << kProbeBits;
    c.sample = (std::uint64_t{1} << kProbeBits) - 1;
    const auto replies = transport().run({c});
    ++m_counters.transactions;
    for (int k = 0; k < kProbeBits; ++k)
        if ((replies.at(0).in >> (kProbeBits - 1 - k) & 1) == 0)
            return k + 1;
    return 0;
}

std::unique_ptr<DeviceBus> makeMicrowireBus(std::function<std::unique_ptr<WireTransport>()> open,
                                            TransferLimits limits,
                                            std::shared_ptr<SimulatedLink> simulation)
{
    return std::make_unique<MicrowireBus>(std::move(open), limits, std::move(simulation));
}

std::vector<MicrowireWidth> microwireChipsWithAddressBits(int bits)
{
    std::vector<MicrowireWidth> found;
    for (const ChipType* row : chipsOf(Transport::Lines)) {
        if (row->microwire.addressBits8 == bits)
            found.push_back({row, 8});
        if (row->microwire.addressBits16 == bits)
            found.push_back({row, 16});
    }
    return found;
}

}  // namespace kavoda
