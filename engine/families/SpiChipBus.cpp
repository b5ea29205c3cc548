// SPDX-License-Identifier: MIT
// The 25xx EEPROM and SPI NOR flash commands over an SPI transport: write
// enable before every write, page writes and programs inside their page,
// status polling bounded by the transport's clock, the block-protect bits
// read and named, the flash identified by its JEDEC ID and SFDP table.
#include "SpiChipBus.h"

#include <algorithm>

#include "HexText.h"
#include "SimulatedLink.h"

namespace kavoda {

namespace {

constexpr std::uint8_t kWrsr = 0x01;
constexpr std::uint8_t kWrite = 0x02;
constexpr std::uint8_t kRead = 0x03;
constexpr std::uint8_t kRdsr = 0x05;
constexpr std::uint8_t kWren = 0x06;
constexpr std::uint8_t kSfdp = 0x5A;
constexpr std::uint8_t kJedecId = 0x9F;
constexpr std::uint8_t kEnter4Byte = 0xB7;
constexpr std::uint8_t kExit4Byte = 0xE9;
constexpr std::uint8_t kWip = 0x01;
// A status write takes a write cycle too: 15 ms on the slowest parts.
constexpr std::uint64_t kStatusWriteNs = 15'000'000;

// The opcodes of the 4-byte instruction set (JESD216 4BAIT).
std::uint8_t fourByteOpcode(std::uint8_t opcode)
{
    switch (opcode) {
    case 0x03:
        return 0x13;
    case 0x02:
        return 0x12;
    case 0x20:
        return 0x21;
    case 0x52:
        return 0x5C;
    case 0xD8:
        return 0xDC;
    default:
        return opcode;
    }
}

std::string idText(std::uint32_t id)
{
    return byteHex(static_cast<std::uint8_t>(id >> 16)) + " " +
           byteHex(static_cast<std::uint8_t>(id >> 8)) + " " + byteHex(static_cast<std::uint8_t>(id));
}

std::string noChipText(const ChipType& row, const std::string& what)
{
    return std::string(kNoSpiChipText) + " (" + what + "): check that the " +
           std::string(row.caption) + " sits in the socket the right way round and the adapter "
           "is powered";
}

}  // namespace

SpiChipBus::SpiChipBus(Opener open, TransferLimits limits,
                       std::shared_ptr<SimulatedLink> simulation)
    : m_open(std::move(open)), m_limits(limits), m_simulation(std::move(simulation))
{
}

SpiChipBus::~SpiChipBus()
{
    release();
}

void SpiChipBus::claim()
{
    if (!m_transport)
        m_transport = m_open();
    m_identified = nullptr;
    m_writable = false;
}

void SpiChipBus::release() noexcept
{
    // A board's own processor expects its flash in 3-byte mode.
    if (m_transport && m_fourByteMode) {
        try {
            m_transport->run({SpiTransaction{{kExit4Byte}, 0}});
        } catch (...) {
            // Ends at the next power cycle anyway.
        }
    }
    m_fourByteMode = false;
    m_identified = nullptr;
    m_writable = false;
    m_transport.reset();
}

SpiTransport& SpiChipBus::transport()
{
    if (!m_transport)
        claim();
    return *m_transport;
}

std::uint8_t SpiChipBus::readStatus()
{
    ++m_counters.transactions;
    return transport().run({SpiTransaction{{kRdsr}, 1}}).at(0).at(0);
}

BusStatus SpiChipBus::waitReady(std::uint64_t limitNs)
{
    SpiTransport& spi = transport();
    const std::uint64_t start = spi.nowNs();
    for (;;) {
        const bool late = spi.nowNs() - start > limitNs;
        if (!(readStatus() & kWip))
            return BusStatus::Done;
        // The poll after the deadline was the last.
        if (late)
            return BusStatus::Busy;
    }
}

std::vector<std::uint8_t> SpiChipBus::command(const ChipType& chip, std::uint8_t opcode,
                                              std::uint32_t address) const
{
    std::vector<std::uint8_t> out;
    int bytes = chip.spi.addressBytes;
    if (chip.family == Family::Spi25) {
        if (chip.spi.a8InOpcode && (address & 0x100))
            opcode |= 0x08;
    } else if (bytes == 4 && chip.spi.fourByteOpcodes) {
        opcode = fourByteOpcode(opcode);
    }
    out.push_back(opcode);
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    return out;
}

// The data bytes one write or read transaction carries beside its command.
std::uint32_t SpiChipBus::chunkOf(const ChipType& chip) const
{
    const std::uint32_t header = 1u + chip.spi.addressBytes;
    const SpiLimits limits = m_transport ? m_transport->limits() : SpiLimits{0x10000, 0x10000};
    // A write's call carries WREN and RDSR (three bytes) beside it.
    const std::uint32_t most = std::min(limits.maxTransaction, limits.maxBatch > 3 ? limits.maxBatch - 3 : 1);
    return std::max<std::uint32_t>(1, most > header ? most - header : 1);
}

const ChipType& SpiChipBus::identify(const ChipType& row)
{
    if (m_identified)
        return *m_identified;
    SpiTransport& spi = transport();
    if (row.family == Family::Spi25) {
        // Bits 6..4 of a 25xx status register always read 0: a floating
        // MISO reads them 1.
        // Atmel's AT25 parts read all 1s during their write cycle: a chip
        // is missing only when that outlasts one.
        std::uint8_t status = readStatus();
        const std::uint64_t start = spi.nowNs();
        while ((status & 0x70) && spi.nowNs() - start <= kPollMargin * row.writeCycleUs * 1000u)
            status = readStatus();
        if (status & 0x70)
            throw SpiChipError(noChipText(row, "its status register reads " + byteHex(status)));
        m_identified = &row;
        return row;
    }

    const auto readId = [&] {
        const auto id = spi.run({SpiTransaction{{kJedecId}, 3}}).at(0);
        ++m_counters.transactions;
        return std::uint32_t{id.at(0)} << 16 | std::uint32_t{id.at(1)} << 8 | id.at(2);
    };
    std::uint32_t jedec = readId();
    if (jedec == 0xFFFFFF) {
        // A flash still erasing ignores 9Fh but shows WIP; a missing one
        // reads FF there too.
        const std::uint8_t status = readStatus();
        if (status != 0xFF && (status & kWip) && waitReady(kPollMargin * 3'000'000'000ull) == BusStatus::Done)
            jedec = readId();
    }
    if (jedec == 0xFFFFFF || jedec == 0)
        throw SpiChipError(noChipText(row, "its JEDEC ID reads " + idText(jedec)));
    m_identity.jedecId = jedec;
    m_identity.row = findChipByJedecId(jedec);
    m_identity.sfdp = readSfdp([&](std::uint32_t address, std::uint32_t length) {
        // Five command bytes: 5A, the address, a dummy byte.
        const std::uint32_t most = std::max<std::uint32_t>(1, spi.limits().maxTransaction - 5);
        std::vector<std::uint8_t> bytes;
        for (std::uint32_t at = address; at < address + length;) {
            const std::uint32_t piece = std::min(most, address + length - at);
            ++m_counters.transactions;
            const auto got = spi.run({SpiTransaction{{kSfdp, static_cast<std::uint8_t>(at >> 16),
                                                      static_cast<std::uint8_t>(at >> 8),
                                                      static_cast<std::uint8_t>(at), 0xFF},
                                                     piece}})
                                 .at(0);
            bytes.insert(bytes.end(), got.begin(), got.end());
            at += piece;
        }
        return bytes;
    });

    const ChipType* chip = &row;
    if (row.spi.fromSfdp) {
        if (m_identity.sfdp) {
            const SfdpTable& sfdp = *m_identity.sfdp;
            auto made = std::make_unique<ChipType>(row);
            made->size = static_cast<int>(sfdp.sizeBytes);
            made->pageSize = static_cast<int>(std::min<std::uint32_t>(sfdp.pageSize, 256));
            made->spi.erase = sfdp.erase;
            made->spi.jedecId = jedec;
            made->spi.addressBytes = sfdp.sizeBytes > 0x1000000u ? 4 : 3;
            // Not in the table: the slowest rate of the table's makers.
            const auto mib = static_cast<std::uint32_t>(std::max<std::uint64_t>(1, sfdp.sizeBytes >> 20));
            made->spi.chipEraseTypicalMs = 6000 * mib;
            made->spi.chipEraseMaxMs = 20000 * mib;
            // The type made at the first claim lives as long as the bus: the
            // operations hold it.
            const int known = m_fromSfdp ? m_fromSfdp->size : row.size;
            if (known != 0 && known != made->size)
                throw SpiChipError("The flash in the socket has changed: it holds " +
                                   std::to_string(made->size) + " bytes, not " +
                                   std::to_string(known));
            if (!m_fromSfdp)
                m_fromSfdp = std::move(made);
            chip = m_fromSfdp.get();
        } else if (m_identity.row) {
            chip = m_identity.row;
        } else {
            throw SpiChipError("The flash answers with JEDEC ID " + idText(jedec) +
                               " but has no SFDP table, and no row of the chip table has that "
                               "ID: its size and erase units are unknown");
        }
    } else if (jedec != row.spi.jedecId) {
        std::string text = "The chip answers with JEDEC ID " + idText(jedec) + ", not the " +
                           std::string(row.caption) + "'s " + idText(row.spi.jedecId);
        if (m_identity.row)
            text += ": it is a " + std::string(m_identity.row->caption) + "; give -d " +
                    std::string(m_identity.row->caption);
        else
            text += "; give -d spi-flash to take its size from its SFDP table";
        throw SpiChipError(text);
    }
    if (chip->spi.addressBytes == 4 && !chip->spi.fourByteOpcodes && !m_fourByteMode) {
        std::vector<SpiTransaction> enter;
        if (m_identity.sfdp && m_identity.sfdp->enterNeedsWren)
            enter.push_back(SpiTransaction{{kWren}, 0});
        enter.push_back(SpiTransaction{{kEnter4Byte}, 0});
        spi.run(enter);
        m_fourByteMode = true;
    }
    m_identified = chip;
    return *chip;
}

std::string SpiChipBus::protection(const ChipType& chip)
{
    identify(chip);
    const std::uint8_t status = readStatus();
    const unsigned bits = chip.spi.protectBits;
    const unsigned bp = (status >> 2) & ((1u << bits) - 1);
    if (bp == 0)
        return {};
    std::string names;
    std::string values;
    for (unsigned i = bits; i-- > 0;) {
        names += "BP" + std::to_string(i) + (i ? " " : "");
        values += (bp >> i) & 1 ? '1' : '0';
    }
    return names + " = " + values;
}

void SpiChipBus::ensureWritable(const ChipType& chip)
{
    if (m_writable)
        return;
    const std::string bits = protection(chip);
    if (!bits.empty()) {
        const std::string head = "The " + std::string(chip.caption) +
                                 " is write-protected by its status register (" + bits + ")";
        if (!m_unprotect)
            throw SpiChipError(head + "; give --unprotect to clear it");
        const std::uint8_t status = readStatus();
        const auto mask = static_cast<std::uint8_t>(((1u << chip.spi.protectBits) - 1) << 2);
        transport().run({SpiTransaction{{kWren}, 0},
                         SpiTransaction{{kWrsr, static_cast<std::uint8_t>(status & ~mask & 0x7C)}, 0}});
        m_counters.transactions += 2;
        if (waitReady(kPollMargin * kStatusWriteNs) != BusStatus::Done || !protection(chip).empty())
            throw SpiChipError(head + " and the bits did not clear: its WPEN (SRP) bit is set and "
                                      "its WP pin is held low; tie WP high and try again");
    }
    m_writable = true;
}

DeviceBus::ReadOutcome SpiChipBus::read(const ChipType& chip, const std::vector<ReadRun>& runs)
{
    identify(chip);
    SpiTransport& spi = transport();
    const SpiLimits limits = spi.limits();
    const std::uint32_t chunk = chunkOf(chip);
    std::vector<SpiTransaction> batch;
    std::vector<std::uint8_t*> targets;
    std::uint32_t inBatch = 0;
    const auto flush = [&] {
        if (batch.empty())
            return;
        const auto replies = spi.run(batch);
        for (std::size_t i = 0; i < batch.size(); ++i)
            std::copy(replies.at(i).begin(), replies.at(i).end(), targets[i]);
        m_counters.transactions += batch.size();
        batch.clear();
        targets.clear();
        inBatch = 0;
    };
    for (const ReadRun& run : runs) {
        for (std::uint32_t at = 0; at < run.length;) {
            const std::uint32_t length = std::min(chunk, run.length - at);
            const std::uint32_t bytes = length + 1 + chip.spi.addressBytes;
            if (inBatch + bytes > limits.maxBatch)
                flush();
            batch.push_back(SpiTransaction{command(chip, kRead, run.address + at), length});
            targets.push_back(run.out + at);
            inBatch += bytes;
            at += length;
        }
    }
    flush();
    return {};
}

BusResult SpiChipBus::write(const ChipType& chip, std::uint32_t address, const std::uint8_t* data,
                            std::uint32_t length)
{
    m_writeStored = false;
    identify(chip);
    ensureWritable(chip);
    SpiTransport& spi = transport();
    const std::uint32_t chunk = chunkOf(chip);
    const std::uint64_t limitNs = kPollMargin * chip.writeCycleUs * 1000u;
    for (std::uint32_t at = 0; at < length;) {
        const std::uint32_t piece = std::min(chunk, length - at);
        std::vector<std::uint8_t> out = command(chip, kWrite, address + at);
        out.insert(out.end(), data + at, data + at + piece);
        // Write enable, the write, and the first look at its progress in one call.
        const auto replies = spi.run({SpiTransaction{{kWren}, 0}, SpiTransaction{std::move(out), 0},
                                      SpiTransaction{{kRdsr}, 1}});
        m_counters.transactions += 3;
        ++m_counters.writes;
        at += piece;
        if (at == length)
            m_writeStored = true;
        if (replies.at(2).at(0) & kWip) {
            const BusStatus status = waitReady(limitNs);
            if (status != BusStatus::Done)
                return BusResult{status, 0};
        }
    }
    return {};
}

DeviceBus::WriteOutcome SpiChipBus::writeBatch(const ChipType& chip,
                                               const std::vector<WriteRun>& runs)
{
    // The protection is refused before anything is written: no run is done.
    identify(chip);
    ensureWritable(chip);
    return DeviceBus::writeBatch(chip, runs);
}

bool SpiChipBus::poll(const ChipType& chip, std::uint32_t)
{
    identify(chip);
    return !(readStatus() & kWip);
}

BusResult SpiChipBus::erase(const ChipType& chip, std::uint32_t address, const EraseUnit& unit)
{
    identify(chip);
    ensureWritable(chip);
    const auto replies = transport().run({SpiTransaction{{kWren}, 0},
                                          SpiTransaction{command(chip, unit.opcode, address), 0},
                                          SpiTransaction{{kRdsr}, 1}});
    m_counters.transactions += 3;
    ++m_counters.writes;
    if (!(replies.at(2).at(0) & kWip))
        return {};
    return BusResult{waitReady(kPollMargin * unit.maxMs * 1'000'000ull), 0};
}

BusResult SpiChipBus::eraseChip(const ChipType& chip,
                                const std::function<void(std::uint64_t)>& progress)
{
    identify(chip);
    ensureWritable(chip);
    SpiTransport& spi = transport();
    spi.run({SpiTransaction{{kWren}, 0}, SpiTransaction{{chip.spi.chipEraseOpcode}, 0}});
    m_counters.transactions += 2;
    ++m_counters.writes;
    const std::uint64_t start = spi.nowNs();
    const std::uint64_t limitNs = kPollMargin * chip.spi.chipEraseMaxMs * 1'000'000ull;
    for (;;) {
        const bool late = spi.nowNs() - start > limitNs;
        if (!(readStatus() & kWip))
            return {};
        if (late)
            return BusResult{BusStatus::Busy, 0};
        if (progress)
            progress(spi.nowNs() - start);
    }
}

std::unique_ptr<DeviceBus> makeSpiChipBus(std::function<std::unique_ptr<SpiTransport>()> open,
                                          TransferLimits limits,
                                          std::shared_ptr<SimulatedLink> simulation)
{
    return std::make_unique<SpiChipBus>(std::move(open), limits, std::move(simulation));
}

}  // namespace kavoda
