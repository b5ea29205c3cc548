// SPDX-License-Identifier: MIT
// The bus scan and the identification of the EEPROM on it.
#include "Identify.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "DeviceBus.h"

namespace kavoda {

namespace {

constexpr std::uint32_t kWindow = 32;
constexpr std::uint32_t kBlock = 256;
// Where the pairs of two-address-byte reads start: spread over the first
// 4 KiB so that a chip holding data somewhere there shows it. On a chip of
// one address byte the high byte picks the start and the low one is data,
// so a pair reads the same; on a chip of two bytes it reads one byte apart.
constexpr std::uint16_t kPairStarts[] = {0x0000, 0x0770, 0x0F30};
// The wraps looked for above a reference window: 4, 8, 16 and 32 KiB.
constexpr std::uint32_t kWraps[] = {0x1000, 0x2000, 0x4000, 0x8000};

bool uniform(const Window& w)
{
    return std::all_of(w.begin(), w.end(), [&](std::uint8_t b) { return b == w.front(); });
}

// Whether two reads show the same cells: identical bytes prove it only
// where they are not all one value; any difference disproves it.
enum class Alias { Same, Differ, Unknown };

Alias alias(const Window& a, const Window& b)
{
    if (a.empty() || b.empty() || a.size() != b.size())
        return Alias::Unknown;
    if (a != b)
        return Alias::Differ;
    return uniform(a) ? Alias::Unknown : Alias::Same;
}

AddressPhase twoBytePhase(std::uint8_t address, std::uint16_t word)
{
    AddressPhase phase;
    phase.device = static_cast<std::uint8_t>(address << 1);
    phase.word[0] = static_cast<std::uint8_t>(word >> 8);
    phase.word[1] = static_cast<std::uint8_t>(word);
    phase.wordBytes = 2;
    return phase;
}

AddressPhase oneBytePhase(std::uint8_t address, std::uint8_t word)
{
    AddressPhase phase;
    phase.device = static_cast<std::uint8_t>(address << 1);
    phase.word[0] = word;
    phase.wordBytes = 1;
    return phase;
}

// Reads gathered from several addresses, run in as few calls as the
// adapter takes; a read the device refuses leaves its window empty.
class Reads {
public:
    void add(const AddressPhase& phase, Window* out, std::uint32_t length)
    {
        out->assign(length, 0xFF);
        m_runs.push_back(PhaseRun{phase, out->data(), length});
        m_outs.push_back(out);
    }
    void run(DeviceBus& bus)
    {
        std::size_t from = 0;
        while (from < m_runs.size()) {
            const std::vector<PhaseRun> rest(m_runs.begin() + static_cast<std::ptrdiff_t>(from),
                                             m_runs.end());
            const DeviceBus::ReadOutcome outcome = bus.readPhases(rest);
            if (outcome.result.ok())
                break;
            m_outs[from + outcome.run]->clear();
            from += outcome.run + 1;
        }
        m_runs.clear();
        m_outs.clear();
    }

private:
    std::vector<PhaseRun> m_runs;
    std::vector<Window*> m_outs;
};

// The pairs of two-address-byte reads judged: one byte apart (two address
// bytes), identical and not uniform (one), or neither (no memory).
Addressing pairsAddressing(const std::vector<Window>& windows)
{
    bool one = false;
    bool two = false;
    bool neither = false;
    for (std::size_t i = 0; i + 1 < windows.size(); i += 2) {
        const Window& a = windows[i];
        const Window& b = windows[i + 1];
        if (a.empty() || b.empty())
            continue;
        if (a == b) {
            one = one || !uniform(a);
        } else if (std::equal(a.begin() + 1, a.end(), b.begin())) {
            two = true;
        } else {
            neither = true;
        }
    }
    if (neither || (one && two))
        return Addressing::NotMemory;
    if (two)
        return Addressing::TwoBytes;
    return one ? Addressing::OneByte : Addressing::Unknown;
}

// The first start from which `length` bytes of the block are not all one
// value, between from and the end.
std::optional<std::size_t> varied(const Window& block, std::size_t from, std::size_t length)
{
    for (std::size_t x = from; x + length <= block.size(); ++x) {
        if (!std::all_of(block.begin() + static_cast<std::ptrdiff_t>(x),
                         block.begin() + static_cast<std::ptrdiff_t>(x + length),
                         [&](std::uint8_t b) { return b == block[x]; }))
            return x;
    }
    return std::nullopt;
}

void addWrapReads(Reads& reads, AddressSeen& s, std::uint16_t start)
{
    s.wrapWindows.assign(std::size(kWraps), Window());
    for (std::size_t i = 0; i < std::size(kWraps); ++i)
        reads.add(twoBytePhase(s.address, static_cast<std::uint16_t>(start + kWraps[i])),
                  &s.wrapWindows[i], kWindow);
}

std::string hexAddress(std::uint8_t address)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", address);
    return text;
}

std::string sizeText(int bytes)
{
    return bytes < 1024 ? std::to_string(bytes) + " bytes" : std::to_string(bytes / 1024) + " KiB";
}

bool isI2cRow(const ChipType& chip)
{
    return chip.family == Family::C24 || chip.family == Family::SDA;
}

// The block each address 0x50..0x57 reaches under a hypothesis.
std::vector<std::optional<std::uint32_t>> blocksOf(const Hypothesis& h)
{
    std::vector<std::optional<std::uint32_t>> blocks;
    for (unsigned a = kEepromFirst; a <= kEepromLast; ++a) {
        if (h.ignoresPins)
            blocks.emplace_back(0);
        else
            blocks.push_back(blockAnswering(*h.chip, static_cast<std::uint8_t>(a << 1), h.pins));
    }
    return blocks;
}

std::vector<Hypothesis> hypotheses()
{
    std::vector<Hypothesis> all;
    for (const ChipType& chip : kChipTable) {
        if (!isI2cRow(chip))
            continue;
        for (std::uint8_t pins = 0; pins < 8; ++pins) {
            if ((pins & ~chip.chipAddressMask & 0x07) == 0)
                all.push_back(Hypothesis{&chip, pins, false});
        }
        // Some small parts have no address pins, or ignore them.
        if (chip.family == Family::C24 && chip.blockMask == 0 && chip.chipAddressMask == 0x07)
            all.push_back(Hypothesis{&chip, 0, true});
    }
    return all;
}

// What the 2-byte reads of an address show, to compare with another's.
Window twoByteFingerprint(const AddressSeen& s)
{
    Window all;
    for (const Window& w : s.twoByteWindows) {
        if (w.empty())
            return {};
        all.insert(all.end(), w.begin(), w.end());
    }
    return all;
}

const AddressSeen* seenAt(const std::vector<AddressSeen>& seen, unsigned address)
{
    for (const AddressSeen& s : seen) {
        if (s.address == address)
            return &s;
    }
    return nullptr;
}

bool fits(const Hypothesis& h, const std::vector<AddressSeen>& seen)
{
    const ChipType& chip = *h.chip;
    const bool oneByte = chip.wordAddressBytes == 1;
    const auto blocks = blocksOf(h);
    std::vector<const AddressSeen*> members;
    std::vector<std::uint32_t> memberBlocks;
    for (unsigned i = 0; i < blocks.size(); ++i) {
        const AddressSeen* s = seenAt(seen, kEepromFirst + i);
        if (blocks[i]) {
            if (!s || s->addressing == Addressing::NotMemory)
                return false;
            if (s->addressing == (oneByte ? Addressing::TwoBytes : Addressing::OneByte))
                return false;
            members.push_back(s);
            memberBlocks.push_back(*blocks[i]);
        } else if (s && s->addressing != Addressing::NotMemory &&
                   (s->addressing != Addressing::Unknown || !uniform(s->block))) {
            return false;  // memory the chip does not explain: a second chip
        }
    }
    const auto compare = [&](const AddressSeen& a, const AddressSeen& b) {
        return oneByte ? alias(a.block, b.block)
                       : alias(twoByteFingerprint(a), twoByteFingerprint(b));
    };
    for (std::size_t i = 0; i < members.size(); ++i) {
        for (std::size_t j = i + 1; j < members.size(); ++j) {
            const Alias a = compare(*members[i], *members[j]);
            if (memberBlocks[i] == memberBlocks[j] ? a == Alias::Differ : a == Alias::Same)
                return false;
        }
    }
    for (const AddressSeen* s : members) {
        if (oneByte) {
            if (s->block.size() != kBlock)
                continue;
            const Window low(s->block.begin(), s->block.begin() + kBlock / 2);
            const Window high(s->block.begin() + kBlock / 2, s->block.end());
            const Alias halves = alias(low, high);
            if (chip.size <= static_cast<int>(kBlock / 2) ? halves == Alias::Differ
                                                           : halves == Alias::Same)
                return false;
        } else {
            const std::uint32_t span =
                std::min<std::uint32_t>(static_cast<std::uint32_t>(chip.size), chip.blockSpan());
            for (std::size_t i = 0; i < s->wrapWindows.size(); ++i) {
                const Alias a = alias(s->reference, s->wrapWindows[i]);
                if (kWraps[i] < span ? a == Alias::Same : a == Alias::Differ)
                    return false;
            }
        }
    }
    return true;
}

// Whether two hypotheses read every byte through the same address phases.
bool readAlike(const Hypothesis& a, const Hypothesis& b)
{
    if (a.chip->size != b.chip->size || a.chip->wordAddressBytes != b.chip->wordAddressBytes)
        return false;
    for (std::uint32_t at = 0; at < static_cast<std::uint32_t>(a.chip->size);
         at += a.chip->blockSpan()) {
        if (addressPhase(*a.chip, at, a.ignoresPins ? 0 : a.pins).device !=
            addressPhase(*b.chip, at, b.ignoresPins ? 0 : b.pins).device)
            return false;
    }
    return true;
}

std::string captions(const std::vector<const ChipType*>& chips, const char* joint)
{
    std::string text;
    for (std::size_t i = 0; i < chips.size(); ++i) {
        if (i > 0)
            text += i + 1 == chips.size() ? joint : ", ";
        text += chips[i]->caption;
    }
    return text;
}

std::string evidence(const Hypothesis& h)
{
    const ChipType& chip = *h.chip;
    const auto blocks = blocksOf(h);
    std::vector<std::uint32_t> distinct;
    unsigned first = 0;
    for (unsigned i = 0; i < blocks.size(); ++i) {
        if (!blocks[i])
            continue;
        if (distinct.empty())
            first = kEepromFirst + i;
        if (std::find(distinct.begin(), distinct.end(), *blocks[i]) == distinct.end())
            distinct.push_back(*blocks[i]);
    }
    std::string text;
    if (h.ignoresPins)
        text = "the same content at all 8 addresses (it ignores its address pins)";
    else if (distinct.size() == 1)
        text = "1 block answers at " + hexAddress(static_cast<std::uint8_t>(first));
    else
        text = std::to_string(distinct.size()) + " blocks answer";
    text += chip.wordAddressBytes == 1 ? ", 1-byte addressing" : ", 2-byte addressing";
    const int span = static_cast<int>(std::min<std::uint32_t>(
        static_cast<std::uint32_t>(chip.size), chip.blockSpan()));
    if (chip.wordAddressBytes == 1 ? chip.size < static_cast<int>(kBlock) : span < 0x10000)
        text += ", wraps at " + sizeText(span);
    else
        text += ", no wrap below " + sizeText(chip.size);
    return text;
}

bool allUniform(const std::vector<AddressSeen>& seen)
{
    for (const AddressSeen& s : seen) {
        if (s.addressing == Addressing::NotMemory)
            continue;
        for (const Window& w : s.twoByteWindows) {
            if (!uniform(w))
                return false;
        }
        if (!uniform(s.block))
            return false;
    }
    return true;
}

}  // namespace

std::vector<std::uint8_t> scanBus(DeviceBus& bus, std::uint8_t first, std::uint8_t last)
{
    std::vector<std::uint8_t> bytes;
    for (unsigned a = first; a <= last; ++a)
        bytes.push_back(static_cast<std::uint8_t>(a << 1));
    const std::vector<bool> answered = bus.probe(bytes);
    std::vector<std::uint8_t> answering;
    for (std::size_t i = 0; i < answered.size(); ++i) {
        if (answered[i])
            answering.push_back(static_cast<std::uint8_t>(first + i));
    }
    return answering;
}

std::string scanTable(const std::vector<std::uint8_t>& answering, std::uint8_t first,
                      std::uint8_t last)
{
    std::string text = "   ";
    for (int column = 0; column < 16; ++column) {
        char head[4];
        std::snprintf(head, sizeof head, "  %x", column);
        text += head;
    }
    text += '\n';
    for (unsigned row = first & 0xF0u; row <= last; row += 16) {
        char head[8];
        std::snprintf(head, sizeof head, "%02x:", row);
        text += head;
        for (unsigned a = row; a < row + 16 && a <= last; ++a) {
            if (a < first) {
                text += "   ";
            } else if (std::find(answering.begin(), answering.end(), a) != answering.end()) {
                char cell[8];
                std::snprintf(cell, sizeof cell, " %02x", a);
                text += cell;
            } else {
                text += " --";
            }
        }
        text += '\n';
    }
    return text;
}

Identification identifyI2c(DeviceBus& bus)
{
    std::vector<AddressSeen> seen;
    for (const std::uint8_t address : scanBus(bus, kEepromFirst, kEepromLast)) {
        AddressSeen s;
        s.address = address;
        seen.push_back(s);
    }
    Reads reads;
    // Which addressing: pairs read with two address bytes, one byte apart.
    for (AddressSeen& s : seen) {
        s.twoByteWindows.assign(2 * std::size(kPairStarts), Window());
        for (std::size_t i = 0; i < std::size(kPairStarts); ++i) {
            reads.add(twoBytePhase(s.address, kPairStarts[i]), &s.twoByteWindows[2 * i], kWindow);
            reads.add(twoBytePhase(s.address, static_cast<std::uint16_t>(kPairStarts[i] + 1)),
                      &s.twoByteWindows[2 * i + 1], kWindow);
        }
    }
    reads.run(bus);
    for (AddressSeen& s : seen)
        s.addressing = pairsAddressing(s.twoByteWindows);

    // Two address bytes: the size by where a window repeats. Else the
    // block as a one-byte chip reads it.
    const auto wrapFor = [&](AddressSeen& s, const std::vector<Window>& pairs,
                             const std::uint16_t* starts, std::size_t count) {
        std::size_t pick = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (!pairs[2 * i].empty() && !uniform(pairs[2 * i])) {
                pick = i;
                break;
            }
        }
        s.reference = pairs[2 * pick];
        addWrapReads(reads, s, starts[pick]);
    };
    for (AddressSeen& s : seen) {
        if (s.addressing == Addressing::TwoBytes)
            wrapFor(s, s.twoByteWindows, kPairStarts, std::size(kPairStarts));
        else if (s.addressing != Addressing::NotMemory)
            reads.add(oneBytePhase(s.address, 0), &s.block, kBlock);
    }
    reads.run(bus);

    // A one-byte chip's block read again from elsewhere must show the same
    // bytes there; a device that sends the same bytes from any address
    // does not. Blocks that told nothing get a pair where they vary.
    std::vector<Window> checks(seen.size());
    std::vector<std::vector<Window>> pairs(seen.size());
    std::vector<std::uint16_t> pairStart(seen.size(), 0);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        AddressSeen& s = seen[i];
        if (s.addressing == Addressing::OneByte) {
            // From 1 on: a device with fixed bytes reads the same from 0.
            const auto x = varied(s.block, 1, kWindow);
            if (!x) {
                s.addressing = Addressing::Unknown;
                continue;
            }
            reads.add(oneBytePhase(s.address, static_cast<std::uint8_t>(*x)), &checks[i], kWindow);
        } else if (s.addressing == Addressing::Unknown && s.block.size() == kBlock) {
            const auto j = varied(s.block, 0, 2);
            if (!j)
                continue;
            pairStart[i] = static_cast<std::uint16_t>((*j >= 8 ? *j - 8 : 0) << 8);
            pairs[i].assign(2, Window());
            reads.add(twoBytePhase(s.address, pairStart[i]), &pairs[i][0], kWindow);
            reads.add(twoBytePhase(s.address, static_cast<std::uint16_t>(pairStart[i] + 1)),
                      &pairs[i][1], kWindow);
        }
    }
    reads.run(bus);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        AddressSeen& s = seen[i];
        if (s.addressing == Addressing::OneByte) {
            const std::size_t x = *varied(s.block, 1, kWindow);
            if (checks[i].empty())
                s.addressing = Addressing::Unknown;
            else if (!std::equal(checks[i].begin(), checks[i].end(),
                            s.block.begin() + static_cast<std::ptrdiff_t>(x)))
                s.addressing = Addressing::NotMemory;
        } else if (!pairs[i].empty()) {
            s.addressing = pairsAddressing(pairs[i]);
            if (s.addressing == Addressing::TwoBytes) {
                s.block.clear();  // what a one-byte read gets from it means nothing
                wrapFor(s, pairs[i], &pairStart[i], 1);
            }
        }
    }
    reads.run(bus);

    Identification result = judge(seen);
    return result;
}

Identification judge(const std::vector<AddressSeen>& seen)
{
    Identification result;
    result.seen = seen;
    if (seen.empty()) {
        result.confidence = Confidence::NothingThere;
        result.verdict = "no EEPROM answers at 0x50..0x57";
        return result;
    }
    std::vector<Hypothesis> fitting;
    for (const Hypothesis& h : hypotheses()) {
        if (fits(h, seen))
            fitting.push_back(h);
    }
    for (const Hypothesis& h : fitting) {
        if (std::find(result.candidates.begin(), result.candidates.end(), h.chip) ==
            result.candidates.end())
            result.candidates.push_back(h.chip);
    }
    const bool certain =
        !fitting.empty() && std::all_of(fitting.begin(), fitting.end(), [&](const Hypothesis& h) {
            return readAlike(fitting.front(), h);
        });

    // Addresses outside the chip that answer anyway.
    std::vector<std::optional<std::uint32_t>> chipBlocks(8);
    if (certain)
        chipBlocks = blocksOf(fitting.front());
    for (const AddressSeen& s : seen) {
        if (chipBlocks[s.address - kEepromFirst])
            continue;
        if (s.addressing == Addressing::NotMemory)
            result.doubts.push_back(hexAddress(s.address) +
                                    " answers but mirrors nothing: another device?");
        else if (certain)
            result.doubts.push_back(hexAddress(s.address) +
                                    " answers with uniform content where the chip has no "
                                    "block: another device?");
    }

    if (certain) {
        result.confidence = Confidence::Certain;
        result.chosen = fitting.front();
        result.alike = result.candidates;
        result.verdict = captions(result.candidates, " or ") + " (certain: " +
                         evidence(result.chosen) +
                         (result.candidates.size() > 1 ? "; these read alike" : "") + ")";
        return result;
    }
    result.confidence = Confidence::Undecided;
    if (result.candidates.empty()) {
        std::string where;
        for (const AddressSeen& s : seen)
            where += (where.empty() ? "" : ", ") + hexAddress(s.address);
        result.verdict = "undecided: no type of the table explains what answers at " + where;
    } else if (allUniform(seen)) {
        result.verdict =
            "blank or uniform content: one of " + captions(result.candidates, " or ");
    } else {
        result.verdict = "undecided: one of " + captions(result.candidates, " or ") +
                         " (what the reads show does not tell them apart)";
    }
    return result;
}

std::string seenText(const AddressSeen& s)
{
    std::string text = hexAddress(s.address) + "  ";
    switch (s.addressing) {
    case Addressing::OneByte: return text + "reads with 1 word address byte";
    case Addressing::TwoBytes: return text + "reads with 2 word address bytes";
    case Addressing::Unknown: return text + "addressing not told: its content reads uniform";
    case Addressing::NotMemory: return text + "answers, but reads like no EEPROM";
    }
    return text;
}

}  // namespace kavoda
