// SPDX-License-Identifier: MIT
// The chip table as data, its lookups and the address phase.
#include "ChipTable.h"

#include <cctype>

namespace kavoda {

namespace {
constexpr std::string_view kMenu24C = "&Device 24C...";
constexpr std::string_view kMenuSDA = "De&vice SDA...";
// 10 ms is the longest write cycle of every datasheet at hand (newer parts
// take 5 ms).
constexpr std::uint32_t kCycle = 10'000;
}  // namespace

// clang-format off
const std::array<ChipType, 15> kChipTable = {{
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

const ChipType* findChip(std::string_view caption)
{
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
