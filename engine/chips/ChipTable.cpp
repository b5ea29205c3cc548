// SPDX-License-Identifier: MIT
// The chip table as data, its lookups and the address phase.
#include "ChipTable.h"

#include <cctype>
#include <utility>

namespace kavoda {

namespace {
constexpr std::string_view kMenu24C = "&Device 24C...";
constexpr std::string_view kMenuSDA = "De&vice SDA...";
// 10 ms is the longest write cycle of every datasheet at hand (newer parts
// take 5 ms).
constexpr std::uint32_t kCycle = 10'000;

constexpr int kKiB = 1024;
constexpr int kMiB = 1024 * 1024;

// A 25xx EEPROM. The page is the smallest of the Microchip 25AA/25LC,
// Atmel AT25 and ST M95 datasheets for that size, so that a write fits the
// page of whichever maker's part is in the socket; the write cycle is their
// longest.
constexpr ChipType eeprom25(std::string_view caption, int size, int page, std::uint8_t addressBytes,
                            std::uint32_t cycleUs, std::uint8_t code, bool a8 = false)
{
    ChipType chip{caption, size, page, 0, 0, 0, 0, cycleUs, Family::Spi25, {}, {}, {}, code, 0, {}};
    chip.spi.addressBytes = addressBytes;
    chip.spi.a8InOpcode = a8;
    return chip;
}

// What a maker's 25-series flash shares: erase units and times, program
// time, block-protect bits, SFDP. Times are the datasheets' typical and
// longest; chip erase per MiB.
struct FlashLine {
    std::array<EraseUnit, 3> erase;
    std::uint32_t programTypicalUs;
    std::uint32_t programMaxUs;
    std::uint32_t chipEraseTypicalMsPerMiB;
    std::uint32_t chipEraseMaxMsPerMiB;
    std::uint8_t protectBits;
    bool hasSfdp;
};

constexpr EraseUnit k4K(std::uint32_t typ, std::uint32_t max) { return {4 * kKiB, 0x20, typ, max}; }
constexpr EraseUnit k32K(std::uint32_t typ, std::uint32_t max) { return {32 * kKiB, 0x52, typ, max}; }
constexpr EraseUnit k64K(std::uint32_t typ, std::uint32_t max) { return {64 * kKiB, 0xD8, typ, max}; }

// Winbond W25Q (JV/FV): 4/32/64 KiB, page program 0.7 ms (3 ms).
constexpr FlashLine kWinbond{{k4K(45, 400), k32K(120, 1600), k64K(150, 2000)}, 700, 3000, 2500, 12500, 3, true};
// Macronix MX25Lxx05/06: 4 and 64 KiB only, no SFDP on the 05 parts.
constexpr FlashLine kMacronixOld{{k4K(90, 300), k64K(700, 2000), {}}, 1400, 5000, 6000, 20000, 4, false};
// Macronix MX25L..35F: 4/32/64 KiB.
constexpr FlashLine kMacronix{{k4K(40, 400), k32K(200, 1000), k64K(400, 2000)}, 600, 3000, 3000, 10000, 4, true};
// GigaDevice GD25Q (C/E).
constexpr FlashLine kGigaDevice{{k4K(50, 400), k32K(150, 1600), k64K(200, 2000)}, 600, 3000, 2500, 12500, 3, true};
// ISSI IS25LP.
constexpr FlashLine kIssi{{k4K(70, 300), k32K(100, 500), k64K(150, 1000)}, 200, 800, 2500, 12500, 4, true};
// EON EN25Q/QH: 4 and 64 KiB.
constexpr FlashLine kEon{{k4K(90, 300), k64K(500, 2000), {}}, 1300, 5000, 4000, 12500, 3, false};
// Micron (ST) M25P: 64 KiB sectors only.
constexpr FlashLine kM25p{{k64K(600, 3000), {}, {}}, 800, 5000, 6000, 20000, 3, false};
// Micron N25Q: 4 KiB subsectors and 64 KiB sectors.
constexpr FlashLine kN25q{{k4K(250, 800), k64K(700, 3000), {}}, 500, 5000, 4000, 15000, 4, true};
// XMC XM25QH: as the Winbond parts it replaces.
constexpr FlashLine kXmc{{k4K(45, 400), k32K(120, 1600), k64K(150, 2000)}, 700, 3000, 2500, 12500, 3, true};

constexpr ChipType flash(std::string_view caption, int size, std::uint32_t jedecId,
                         const FlashLine& line, std::uint8_t code, bool fourByteOpcodes = false)
{
    ChipType chip{caption, size, 256, 0, 0, 0, 0, line.programMaxUs, Family::SpiNor, {}, {}, {}, code, 0, {}};
    chip.spi.addressBytes = size > 16 * kMiB ? 4 : 3;
    chip.spi.jedecId = jedecId;
    chip.spi.erase = line.erase;
    chip.spi.chipEraseOpcode = 0xC7;
    const auto mib = static_cast<std::uint32_t>(size / kMiB);
    chip.spi.chipEraseTypicalMs = line.chipEraseTypicalMsPerMiB * mib;
    chip.spi.chipEraseMaxMs = line.chipEraseMaxMsPerMiB * mib;
    chip.spi.programTypicalUs = line.programTypicalUs;
    chip.spi.protectBits = line.protectBits;
    chip.spi.fourByteOpcodes = fourByteOpcodes;
    chip.spi.hasSfdp = line.hasSfdp;
    return chip;
}

// A 93Cxx Microwire EEPROM: the address bits of its commands in x8 and x16.
// The write cycle is the longest of the Microchip 93AA/LC/C, Atmel AT93C
// and ST M93C datasheets; ERAL and WRAL take longer on some.
constexpr ChipType microwire(std::string_view caption, int size, std::uint8_t bits8,
                             std::uint8_t bits16, std::uint8_t code)
{
    ChipType chip{caption, size, 1, 0, 0, 0, 0, 10'000, Family::Microwire, {}, {}, {}, code, 0, {}};
    chip.microwire.addressBits8 = bits8;
    chip.microwire.addressBits16 = bits16;
    chip.microwire.eraseAllUs = 15'000;
    chip.microwire.writeAllUs = 30'000;
    return chip;
}

// Any flash with an SFDP table: size and erase units come from the chip.
constexpr ChipType sfdpFlash(std::uint8_t code)
{
    ChipType chip{"spi-flash", 0, 256, 0, 0, 0, 0, 5000, Family::SpiNor, {}, {}, {}, code, 0, {}};
    chip.spi.addressBytes = 3;
    chip.spi.chipEraseOpcode = 0xC7;
    chip.spi.protectBits = 4;
    chip.spi.hasSfdp = true;
    chip.spi.fromSfdp = true;
    return chip;
}
}  // namespace

// clang-format off
constexpr std::array<ChipType, kChipCount> kChipTable = {{
    // The block bits take the places of the low address pins; the pins
    // above them are real chip-enable inputs (A2 A1 on the 24C04, A2 on the
    // 24C08), so two such chips can share a bus.
    // caption   size     page word shift mask pins cycle  family       menu      handler          panel      code last
    {"24C02",    256,      8,   1,   1,   0x0, 0x7, kCycle, Family::C24, kMenu24C, "N24c021Click",  "24C02",    1, 0},
    {"24C04",    512,      16,  1,   1,   0x1, 0x6, kCycle, Family::C24, kMenu24C, "N24c041Click",  "24C04",    2, 1},
    {"24C08",    1024,     16,  1,   1,   0x3, 0x4, kCycle, Family::C24, kMenu24C, "N24c081Click",  "24C08",    3, 3},
    {"24C16",    2048,     16,  1,   1,   0x7, 0x0, kCycle, Family::C24, kMenu24C, "N24c161Click",  "24C16",    4, 7},
    // The SDA parts write one byte at a time; bit 1 of their device address
    // is a chip select tied low.
    {"SDA3526",  256,      1,   1,   2,   0x0, 0x0, kCycle, Family::SDA, kMenuSDA, "SDA35261Click", "SDA3526",  6, 0},
    {"SDA3546",  512,      1,   1,   2,   0x1, 0x0, kCycle, Family::SDA, kMenuSDA, "SDA35461Click", "SDA3546",  7, 1},
    {"SDA3586",  1024,     1,   1,   2,   0x3, 0x0, kCycle, Family::SDA, kMenuSDA, "SDA35861Click", "SDA3586",  8, 3},
    // kavoda-cli's other types. The 24C01 uses 7 bits of its word address.
    {"24C01",    128,      8,   1,   1,   0x0, 0x7, kCycle, Family::C24, {}, {}, {}, 16, 0},
    {"24C32",    4096,     32,  2,   1,   0x0, 0x7, kCycle, Family::C24, {}, {}, {}, 17, 0},
    {"24C64",    8192,     32,  2,   1,   0x0, 0x7, kCycle, Family::C24, {}, {}, {}, 18, 0},
    {"24C128",   16384,    64,  2,   1,   0x0, 0x7, kCycle, Family::C24, {}, {}, {}, 19, 0},
    {"24C256",   32768,    64,  2,   1,   0x0, 0x7, kCycle, Family::C24, {}, {}, {}, 20, 0},
    {"24C512",   65536,    128, 2,   1,   0x0, 0x7, kCycle, Family::C24, {}, {}, {}, 21, 0},
    // The common Microchip/Atmel layout: the 64 KiB block in bit 1 (P0),
    // and for the 24M02 bits 2..1 (P1, P0); the other pins stay free.
    {"24M01",    131072,   256, 2,   1,   0x1, 0x6, kCycle, Family::C24, {}, {}, {}, 22, 0},
    {"24M02",    262144,   256, 2,   1,   0x3, 0x4, kCycle, Family::C24, {}, {}, {}, 23, 0},
    // 25xx SPI EEPROMs: one address byte to 4 Kbit (the 25040's ninth bit in
    // the opcode), two to 512 Kbit, three above.
    eeprom25("25010",  128,        8,   1, 5000,  24),
    eeprom25("25020",  256,        8,   1, 5000,  25),
    eeprom25("25040",  512,        8,   1, 5000,  26, true),
    eeprom25("25080",  1 * kKiB,   16,  2, 5000,  27),
    eeprom25("25160",  2 * kKiB,   16,  2, 5000,  28),
    eeprom25("25320",  4 * kKiB,   32,  2, 5000,  29),
    eeprom25("25640",  8 * kKiB,   32,  2, 5000,  30),
    eeprom25("25128",  16 * kKiB,  64,  2, 5000,  31),
    eeprom25("25256",  32 * kKiB,  64,  2, 5000,  32),
    eeprom25("25512",  64 * kKiB,  128, 2, 5000,  33),
    eeprom25("25M01",  128 * kKiB, 256, 3, 6000,  34),
    eeprom25("25M02",  256 * kKiB, 256, 3, 10000, 35),
    // SPI NOR flash, by JEDEC ID (manufacturer, memory type, capacity).
    flash("W25Q80",      1 * kMiB,  0xEF4014, kWinbond,    36),
    flash("W25Q16",      2 * kMiB,  0xEF4015, kWinbond,    37),
    flash("W25Q32",      4 * kMiB,  0xEF4016, kWinbond,    38),
    flash("W25Q64",      8 * kMiB,  0xEF4017, kWinbond,    39),
    flash("W25Q128",     16 * kMiB, 0xEF4018, kWinbond,    40),
    // The W25Q256 has no 4-byte 32 KiB erase: it goes into 4-byte mode (B7h).
    flash("W25Q256",     32 * kMiB, 0xEF4019, kWinbond,    41),
    flash("MX25L8005",   1 * kMiB,  0xC22014, kMacronixOld, 42),
    flash("MX25L1605",   2 * kMiB,  0xC22015, kMacronixOld, 43),
    flash("MX25L3205",   4 * kMiB,  0xC22016, kMacronixOld, 44),
    flash("MX25L6405",   8 * kMiB,  0xC22017, kMacronixOld, 45),
    flash("MX25L12835F", 16 * kMiB, 0xC22018, kMacronix,   46),
    flash("MX25L25635F", 32 * kMiB, 0xC22019, kMacronix,   47, true),
    flash("GD25Q80",     1 * kMiB,  0xC84014, kGigaDevice, 48),
    flash("GD25Q16",     2 * kMiB,  0xC84015, kGigaDevice, 49),
    flash("GD25Q32",     4 * kMiB,  0xC84016, kGigaDevice, 50),
    flash("GD25Q64",     8 * kMiB,  0xC84017, kGigaDevice, 51),
    flash("GD25Q128",    16 * kMiB, 0xC84018, kGigaDevice, 52),
    flash("IS25LP080",   1 * kMiB,  0x9D6014, kIssi,       53),
    flash("IS25LP016",   2 * kMiB,  0x9D6015, kIssi,       54),
    flash("IS25LP032",   4 * kMiB,  0x9D6016, kIssi,       55),
    flash("IS25LP064",   8 * kMiB,  0x9D6017, kIssi,       56),
    flash("IS25LP128",   16 * kMiB, 0x9D6018, kIssi,       57),
    flash("EN25Q32",     4 * kMiB,  0x1C3016, kEon,        58),
    flash("EN25Q64",     8 * kMiB,  0x1C3017, kEon,        59),
    flash("EN25QH128",   16 * kMiB, 0x1C7018, kEon,        60),
    flash("M25P80",      1 * kMiB,  0x202014, kM25p,       61),
    flash("M25P16",      2 * kMiB,  0x202015, kM25p,       62),
    flash("M25P32",      4 * kMiB,  0x202016, kM25p,       63),
    flash("N25Q064",     8 * kMiB,  0x20BA17, kN25q,       64),
    flash("N25Q128",     16 * kMiB, 0x20BA18, kN25q,       65),
    flash("XM25QH64A",   8 * kMiB,  0x207017, kXmc,        66),
    flash("XM25QH128A",  16 * kMiB, 0x207018, kXmc,        67),
    sfdpFlash(68),
    // 93Cxx Microwire EEPROMs. The 93C56 and 93C76 carry one address bit
    // more than they need (don't care), as the next larger part.
    microwire("93C46", 128,  7,  6,  69),
    microwire("93C56", 256,  9,  8,  70),
    microwire("93C66", 512,  9,  8,  71),
    microwire("93C76", 1024, 11, 10, 72),
    microwire("93C86", 2048, 11, 10, 73),
}};
// clang-format on

AddressPhase addressPhase(const ChipType& chip, std::uint32_t address, std::uint8_t chipAddress)
{
    AddressPhase phase;
    const std::uint32_t block = address / chip.blockSpan();
    const std::uint32_t word = address % chip.blockSpan();
    // Only the low 8 bits go on the wire.
    phase.device = static_cast<std::uint8_t>(0xA0 | ((block & chip.blockMask) << chip.blockShift) |
                                             ((chipAddress & chip.chipAddressMask) << 1));
    phase.wordBytes = chip.wordAddressBytes;
    if (chip.wordAddressBytes == 2) {
        phase.word[0] = static_cast<std::uint8_t>(word >> 8);
        phase.word[1] = static_cast<std::uint8_t>(word);
    } else {
        phase.word[0] = static_cast<std::uint8_t>(word);
    }
    return phase;
}

std::optional<std::uint32_t> blockAnswering(const ChipType& chip, std::uint8_t addressByte,
                                            std::uint8_t chipAddress)
{
    if ((addressByte & 0xF0) != 0xA0)
        return std::nullopt;
    // Bits 3..1 are the A2..A0 pins or block bits.
    const unsigned pins = (addressByte >> 1) & 0x07;
    const unsigned blockPins = static_cast<unsigned>(chip.blockMask) << (chip.blockShift - 1);
    const unsigned wired = static_cast<unsigned>(chipAddress & chip.chipAddressMask);
    if ((pins & ~blockPins & 0x07) != wired)
        return std::nullopt;
    const std::uint32_t block = (pins & blockPins) >> (chip.blockShift - 1);
    if (block * chip.blockSpan() >= static_cast<std::uint32_t>(chip.size))
        return std::nullopt;
    return block;
}

namespace {
// ST's M95 parts answer as the 25xx of the same size (the M95040 with its
// ninth address bit in the opcode too); their pages are as large or larger.
constexpr std::pair<std::string_view, std::string_view> kAliases[] = {
    {"95010", "25010"}, {"95020", "25020"}, {"95040", "25040"}, {"95080", "25080"},
    {"95160", "25160"}, {"95320", "25320"}, {"95640", "25640"}, {"95128", "25128"},
    {"95256", "25256"}, {"95512", "25512"}, {"95M01", "25M01"}, {"95M02", "25M02"},
    {"M95010", "25010"}, {"M95020", "25020"}, {"M95040", "25040"}, {"M95080", "25080"},
    {"M95160", "25160"}, {"M95320", "25320"}, {"M95640", "25640"}, {"M95128", "25128"},
    {"M95256", "25256"}, {"M95512", "25512"}, {"M95M01", "25M01"}, {"M95M02", "25M02"},
    {"25C1024", "25M01"},
};

bool sameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
}  // namespace

static_assert(!kChipTable.back().caption.empty(), "kChipCount counts more rows than the table has");

std::vector<const ChipType*> chipsOf(Transport transport)
{
    std::vector<const ChipType*> rows;
    for (const ChipType& chip : kChipTable)
        if (chip.transport() == transport)
            rows.push_back(&chip);
    return rows;
}

std::string_view familyName(Family family)
{
    switch (family) {
    case Family::C24:
        return "24C (I2C EEPROM)";
    case Family::SDA:
        return "SDA (I2C EEPROM)";
    case Family::Spi25:
        return "25xx (SPI EEPROM)";
    case Family::SpiNor:
        return "SPI NOR flash";
    case Family::Microwire:
        return "93Cxx (Microwire EEPROM)";
    }
    return {};
}

const ChipType* findChipByJedecId(std::uint32_t id)
{
    for (const ChipType& chip : kChipTable)
        if (chip.isFlash() && chip.spi.jedecId == id && id != 0)
            return &chip;
    return nullptr;
}

std::string chipCaptions(Transport transport)
{
    std::string list;
    for (const ChipType* chip : chipsOf(transport)) {
        if (!list.empty())
            list += ", ";
        list += chip->caption;
    }
    return list;
}

namespace {
// A 93Cxx name as the makers print it: 93AA66, 93LC66B, AT93C66A, M93C66,
// CAT93C66; the row's caption for it and the suffix letter, if any.
std::optional<std::pair<std::string, char>> microwireCaption(std::string_view name)
{
    std::string text;
    for (const char c : name)
        text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string_view prefix : {"CAT", "AT", "M"})
        if (text.rfind(prefix, 0) == 0 && text.size() > prefix.size() &&
            text[prefix.size()] == '9') {
            text.erase(0, prefix.size());
            break;
        }
    for (const std::string_view family : {"93AA", "93LC"})
        if (text.rfind(family, 0) == 0)
            text.replace(0, family.size(), "93C");
    if (text.size() < 5 || text.rfind("93C", 0) != 0)
        return std::nullopt;
    char suffix = 0;
    if (text.size() == 6 && (text[5] == 'A' || text[5] == 'B' || text[5] == 'C')) {
        suffix = text[5];
        text.pop_back();
    }
    if (text.size() != 5)
        return std::nullopt;
    return std::make_pair(text, suffix);
}
}  // namespace

int organisationOfName(std::string_view name)
{
    const auto found = microwireCaption(name);
    if (!found)
        return 0;
    return found->second == 'A' ? 8 : found->second == 'B' ? 16 : 0;
}

ChipType withOrganisation(const ChipType& row, int organisation, ByteOrder order)
{
    ChipType chip = row;
    if (!row.isMicrowire())
        return chip;
    chip.microwire.organisation = static_cast<std::uint8_t>(organisation);
    chip.microwire.byteOrder = order;
    chip.pageSize = organisation == 16 ? 2 : 1;
    return chip;
}

std::string organisationText(const ChipType& chip)
{
    if (chip.microwire.organisation != 16)
        return "x8";
    return chip.microwire.byteOrder == ByteOrder::Big ? "x16, big-endian (high byte first)"
                                                      : "x16, little-endian (low byte first)";
}

const ChipType* findChip(std::string_view caption)
{
    std::string microwireName;
    if (const auto found = microwireCaption(caption)) {
        microwireName = found->first;
        caption = microwireName;
    }
    for (const auto& [alias, row] : kAliases)
        if (sameNoCase(caption, alias))
            caption = row;
    // The 24M01 is sold as 24C1024 too.
    if (caption.size() == 7 && (caption[0] == '2') && std::toupper(caption[2]) == 'C' &&
        caption.substr(3) == "1024" && caption[1] == '4')
        caption = "24M01";
    for (const ChipType& chip : kChipTable) {
        if (chip.caption.size() != caption.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < caption.size() && same; ++i)
            same = std::toupper(static_cast<unsigned char>(chip.caption[i])) ==
                   std::toupper(static_cast<unsigned char>(caption[i]));
        if (same)
            return &chip;
    }
    return nullptr;
}

const ChipType* findChipByCode(std::uint8_t code)
{
    for (const ChipType& chip : kChipTable) {
        if (chip.deviceType == code)
            return &chip;
    }
    return nullptr;
}

std::string chipCaptions(bool windowOnly)
{
    std::string list;
    for (const ChipType& chip : kChipTable) {
        if (windowOnly && !chip.inWindow())
            continue;
        if (!list.empty())
            list += ", ";
        list += chip.caption;
    }
    return list;
}

}  // namespace kavoda
