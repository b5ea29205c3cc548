// SPDX-License-Identifier: MIT
// The simulated 25xx EEPROM and SPI NOR flash, command by command as their
// datasheets describe them:
// - Microchip 25AA/25LC and ST M95 datasheets: WREN (06) sets WEL, which
//   every completed WRITE (02) or WRSR (01) clears; a write without WEL is
//   ignored; a write's bytes wrap inside their page; the write starts when
//   chip select goes high after a whole byte; RDSR (05) shows WIP during
//   the cycle; BP1 BP0 protect the upper quarter, half or all of the array;
//   the 25040 takes its ninth address bit in bit 3 of READ and WRITE.
// - Winbond W25Q and Macronix MX25L datasheets: page program (02, 12) only
//   clears bits and wraps inside its 256-byte page; sector and block erases
//   (20, 52, D8 and the 4-byte 21, 5C, DC), chip erase (C7, 60); every
//   command but RDSR is ignored while WIP is set; JEDEC ID (9F); B7 and E9
//   enter and leave 4-byte addressing; READ (03, 13) and FAST READ (0B).
// - JESD216: the SFDP table (5A, three address bytes and a dummy byte).
// Any BP bit set on a simulated flash protects all of it: the parts differ
// in which portion each value guards, and a write the program refuses is
// the same either way.
#include "SimulatedSpiDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

#include "ChipTable.h"
#include "PortBackend.h"
#include "SimulatedContentFile.h"

namespace kavoda {

namespace {

constexpr std::uint8_t kWip = 0x01;
constexpr std::uint8_t kWel = 0x02;
constexpr std::uint64_t kForever = std::numeric_limits<std::uint64_t>::max();

// A table of JESD216 (rev. B) built from a row: the header, one parameter
// header, and the 16 DWORDs of the basic flash parameter table.
std::vector<std::uint8_t> sfdpOf(const ChipType& chip, std::uint32_t size)
{
    std::vector<std::uint8_t> table(0x80, 0xFF);
    const auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            table[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    // "SFDP", revision 1.6, one parameter header, protocol FF.
    put32(0, 0x50444653);
    table[4] = 0x06;
    table[5] = 0x01;
    table[6] = 0x00;
    table[7] = 0xFF;
    // Basic flash parameter table: ID 00 (FF00), 1.6, 16 DWORDs at 0x30.
    table[8] = 0x00;
    table[9] = 0x06;
    table[10] = 0x01;
    table[11] = 16;
    table[12] = 0x30;
    table[13] = 0x00;
    table[14] = 0x00;
    table[15] = 0xFF;
    std::uint32_t dword1 = 0xFFF00000u | 0x0000FFE0u;  // reserved bits 1
    const EraseUnit* fourK = nullptr;
    for (const EraseUnit& unit : chip.spi.erase)
        if (unit.size == 4096)
            fourK = &unit;
    dword1 = (dword1 & ~0xFF03u) | (fourK ? (0x01u | (std::uint32_t{fourK->opcode} << 8)) : 0x03u);
    // Address bytes: 3 only, or 3 and 4.
    dword1 = (dword1 & ~(0x3u << 17)) | ((size > 16u * 1024 * 1024 ? 1u : 0u) << 17);
    put32(0x30, dword1);
    put32(0x34, size * 8 - 1);  // density in bits, minus one
    for (int i = 2; i < 7; ++i)
        put32(0x30 + 4 * static_cast<std::size_t>(i), 0);  // fast reads: none stated
    // DWORDs 8 and 9: erase types 1..4, size as a power of two and opcode.
    std::uint8_t erase[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    int type = 0;
    for (const EraseUnit& unit : chip.spi.erase) {
        if (unit.size == 0)
            continue;
        int power = 0;
        while ((1u << power) < unit.size)
            ++power;
        erase[2 * type] = static_cast<std::uint8_t>(power);
        erase[2 * type + 1] = unit.opcode;
        ++type;
    }
    std::memcpy(&table[0x30 + 28], erase, 8);
    for (int i = 9; i < 16; ++i)
        put32(0x30 + 4 * static_cast<std::size_t>(i), 0);
    // DWORD 11: page size 2^8 in bits 7:4.
    put32(0x30 + 40, 8u << 4);
    // DWORD 16: enter 4-byte addressing with B7h (bit 24).
    put32(0x30 + 60, size > 16u * 1024 * 1024 ? 0x01000000u : 0);
    return table;
}

class SimulatedSpiChip final : public SimulatedSpiDevice {
public:
    explicit SimulatedSpiChip(const ChipOptions& options) : m_fault(options.fault)
    {
        const ChipType* row = findChipByCode(options.deviceType);
        if (!row || row->transport() != Transport::Spi)
            throw PortError("There is no SPI chip type " + std::to_string(options.deviceType));
        m_row = *row;
        // The row that reads its size from the chip: a 4 MiB flash whose ID
        // no row of the table has, with the common erase units.
        if (m_row.spi.fromSfdp) {
            m_row = *findChip("W25Q32");
            m_row.spi.jedecId = 0xEF6016;
            m_row.spi.hasSfdp = true;
        }
        m_flash = m_row.isFlash();
        m_cells.assign(static_cast<std::size_t>(m_row.size), 0xFF);
        m_cycleNs = options.writeCycleNs.value_or(
            std::uint64_t{m_flash ? m_row.spi.programTypicalUs : m_row.writeCycleUs} * 1000u);
        if (m_row.spi.hasSfdp)
            m_sfdp = sfdpOf(m_row, static_cast<std::uint32_t>(m_row.size));
        if (!options.imagePath.empty())
            m_file = std::make_unique<ContentFile>(options.imagePath, m_cells, m_row.caption);
        if (m_fault == ChipFault::WriteProtected)
            m_status |= static_cast<std::uint8_t>(((1u << m_row.spi.protectBits) - 1) << 2);
    }

    void select(std::uint64_t nowNs) override
    {
        m_command.clear();
        m_busy = nowNs < m_busyUntilNs;
    }

    std::uint8_t exchange(std::uint8_t mosi, std::uint64_t nowNs) override
    {
        m_command.push_back(mosi);
        if (m_fault == ChipFault::EmptySocket)
            return 0xFF;
        const std::uint8_t op = m_command[0];
        const std::size_t at = m_command.size() - 1;  // index of this byte
        if (op == 0x05 && at > 0)
            return status(nowNs);
        // A chip in its cycle leaves MISO floating to every other command.
        if (m_busy || at == 0)
            return 0xFF;
        if (op == 0x9F && at <= 3)
            return static_cast<std::uint8_t>(m_row.spi.jedecId >> (8 * (3 - at)));
        if (op == 0x5A && at > 4) {
            const std::uint32_t address = addressOf(1, 3) + static_cast<std::uint32_t>(at - 5);
            return address < m_sfdp.size() ? m_sfdp[address] : 0xFF;
        }
        if (isRead(op)) {
            const int bytes = addressBytes(op);
            const std::size_t first = 1 + static_cast<std::size_t>(bytes) + (m_flash && op == 0x0B ? 1 : 0);
            if (at < first)
                return 0xFF;
            const std::uint32_t address =
                (addressOf(1, bytes) | a8Of(op)) + static_cast<std::uint32_t>(at - first);
            return m_cells[address % m_cells.size()];
        }
        return 0xFF;
    }

    void deselect(std::uint64_t nowNs) override
    {
        if (m_command.empty() || m_busy || m_fault == ChipFault::EmptySocket)
            return;
        const std::uint8_t op = m_command[0];
        if (op == 0x06) {
            m_status |= kWel;
        } else if (op == 0x04) {
            m_status &= static_cast<std::uint8_t>(~kWel);
        } else if (m_flash && op == 0xB7) {
            m_fourByteMode = true;
        } else if (m_flash && op == 0xE9) {
            m_fourByteMode = false;
        } else if (op == 0x01 && m_command.size() >= 2 && (m_status & kWel)) {
            // WPEN (bit 7) keeps the status register while WP is low; the
            // simulated WP pin is high.
            const std::uint8_t keep = kWip | kWel;
            m_status = static_cast<std::uint8_t>((m_command[1] & ~keep) | (m_status & kWip));
            startCycle(nowNs, m_cycleNs);
        } else if (isWrite(op) && (m_status & kWel)) {
            write(op, nowNs);
        } else if (m_flash && isErase(op) && (m_status & kWel)) {
            erase(op, nowNs);
        }
    }

    std::uint8_t cell(std::uint32_t address) const override { return m_cells.at(address); }
    std::uint64_t writeCycles() const override { return m_writeCycles; }

private:
    std::uint8_t status(std::uint64_t nowNs) const
    {
        return static_cast<std::uint8_t>(m_status | (nowNs < m_busyUntilNs ? kWip : 0));
    }

    bool isRead(std::uint8_t op) const
    {
        if (!m_flash)
            return (op & ~0x08) == 0x03 && (op == 0x03 || m_row.spi.a8InOpcode);
        return op == 0x03 || op == 0x0B || op == 0x13;
    }
    bool isWrite(std::uint8_t op) const
    {
        if (!m_flash)
            return (op & ~0x08) == 0x02 && (op == 0x02 || m_row.spi.a8InOpcode);
        return op == 0x02 || op == 0x12;
    }
    bool isErase(std::uint8_t op) const
    {
        if (op == 0xC7 || op == 0x60)
            return true;
        return eraseSize(op) != 0;
    }
    std::uint32_t eraseSize(std::uint8_t op) const
    {
        const std::uint8_t threeByte = op == 0x21 ? 0x20 : op == 0x5C ? 0x52 : op == 0xDC ? 0xD8 : op;
        for (const EraseUnit& unit : m_row.spi.erase)
            if (unit.size != 0 && unit.opcode == threeByte)
                return unit.size;
        return 0;
    }
    int addressBytes(std::uint8_t op) const
    {
        if (!m_flash)
            return m_row.spi.addressBytes;
        if (op == 0x13 || op == 0x12 || op == 0x21 || op == 0x5C || op == 0xDC)
            return 4;
        return m_fourByteMode ? 4 : 3;
    }
    std::uint32_t a8Of(std::uint8_t op) const
    {
        return !m_flash && m_row.spi.a8InOpcode && (op & 0x08) ? 0x100u : 0u;
    }
    std::uint32_t addressOf(std::size_t from, int bytes) const
    {
        std::uint32_t address = 0;
        for (int i = 0; i < bytes; ++i)
            address = (address << 8) | m_command[from + static_cast<std::size_t>(i)];
        return address;
    }

    void startCycle(std::uint64_t nowNs, std::uint64_t ns)
    {
        m_status &= static_cast<std::uint8_t>(~kWel);
        ++m_writeCycles;
        m_busyUntilNs = m_fault == ChipFault::EndlessWriteCycle ? kForever : nowNs + ns;
    }

    // The address range the BP bits guard.
    bool protectedAt(std::uint32_t address) const
    {
        const unsigned bp = (m_status >> 2) & ((1u << m_row.spi.protectBits) - 1);
        if (bp == 0)
            return false;
        if (m_flash)
            return true;
        const std::uint32_t size = static_cast<std::uint32_t>(m_cells.size());
        const std::uint32_t from = bp == 3 ? 0 : bp == 2 ? size / 2 : size - size / 4;
        return address >= from;
    }

    void write(std::uint8_t op, std::uint64_t nowNs)
    {
        const int bytes = addressBytes(op);
        if (m_command.size() <= 1 + static_cast<std::size_t>(bytes))
            return;  // no data: WEL stays, as on the parts
        const std::uint32_t size = static_cast<std::uint32_t>(m_cells.size());
        const std::uint32_t address = ((addressOf(1, bytes) | a8Of(op)) % size);
        const auto page = static_cast<std::uint32_t>(m_row.pageSize);
        const std::uint32_t base = address / page * page;
        std::vector<std::uint8_t> updated(m_cells.begin() + base, m_cells.begin() + base + page);
        for (std::size_t i = 1 + static_cast<std::size_t>(bytes); i < m_command.size(); ++i) {
            // Bytes past the page's end wrap to its start.
            const std::uint32_t offset =
                (address - base + static_cast<std::uint32_t>(i - 1 - static_cast<std::size_t>(bytes))) %
                page;
            updated[offset] = m_flash ? static_cast<std::uint8_t>(updated[offset] & m_command[i])
                                      : m_command[i];
        }
        if (protectedAt(address)) {
            // A protected block takes the command and starts no cycle.
            m_status &= static_cast<std::uint8_t>(~kWel);
            return;
        }
        startCycle(nowNs, m_cycleNs);
        if (m_fault != ChipFault::WritesDoNotStick)
            store(base, updated);
    }

    void erase(std::uint8_t op, std::uint64_t nowNs)
    {
        const bool whole = op == 0xC7 || op == 0x60;
        std::uint32_t from = 0;
        std::uint32_t length = static_cast<std::uint32_t>(m_cells.size());
        std::uint64_t ns = std::uint64_t{m_row.spi.chipEraseTypicalMs} * 1'000'000u;
        if (!whole) {
            const int bytes = addressBytes(op);
            if (m_command.size() != 1 + static_cast<std::size_t>(bytes))
                return;
            length = eraseSize(op);
            from = addressOf(1, bytes) % static_cast<std::uint32_t>(m_cells.size()) / length * length;
            for (const EraseUnit& unit : m_row.spi.erase)
                if (unit.size == length)
                    ns = std::uint64_t{unit.typicalMs} * 1'000'000u;
        } else if (m_command.size() != 1) {
            return;
        }
        if (protectedAt(from)) {
            m_status &= static_cast<std::uint8_t>(~kWel);
            return;
        }
        startCycle(nowNs, ns);
        if (m_fault == ChipFault::WritesDoNotStick)
            return;
        store(from, std::vector<std::uint8_t>(length, 0xFF));
    }

    void store(std::uint32_t address, const std::vector<std::uint8_t>& bytes)
    {
        if (m_file)
            m_file->store(bytes.data(), address, static_cast<std::uint32_t>(bytes.size()));
        std::copy(bytes.begin(), bytes.end(), m_cells.begin() + address);
    }

    ChipType m_row{};
    ChipFault m_fault;
    bool m_flash = false;
    std::vector<std::uint8_t> m_cells;
    std::vector<std::uint8_t> m_sfdp;
    std::unique_ptr<ContentFile> m_file;
    std::uint64_t m_cycleNs = 0;
    std::uint8_t m_status = 0;
    bool m_fourByteMode = false;
    bool m_busy = false;
    std::vector<std::uint8_t> m_command;
    std::uint64_t m_busyUntilNs = 0;
    std::uint64_t m_writeCycles = 0;
};

}  // namespace

std::unique_ptr<SimulatedSpiDevice> makeSimulatedSpiChip(const ChipOptions& options)
{
    return std::make_unique<SimulatedSpiChip>(options);
}

}  // namespace kavoda
