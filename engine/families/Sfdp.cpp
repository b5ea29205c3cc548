// SPDX-License-Identifier: MIT
// The SFDP header and basic flash parameter table, as JESD216 (revisions
// up to D) lays them out.
#include "Sfdp.h"

#include <algorithm>

namespace kavoda {

namespace {

std::uint32_t dword(const std::vector<std::uint8_t>& bytes, std::size_t index)
{
    const std::size_t at = index * 4;
    if (at + 4 > bytes.size())
        return 0xFFFFFFFFu;
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 |
           std::uint32_t{bytes[at + 2]} << 16 | std::uint32_t{bytes[at + 3]} << 24;
}

// Typical erase times are not needed here: the polling is bounded by the
// longest times below, which are above every datasheet at hand.
EraseUnit unitOf(std::uint32_t size, std::uint8_t opcode)
{
    const std::uint32_t maxMs = size <= 4096 ? 1000 : size <= 32768 ? 3000 : 6000;
    return EraseUnit{size, opcode, maxMs / 8, maxMs};
}

}  // namespace

std::optional<SfdpTable> readSfdp(const SfdpReader& read)
{
    const std::vector<std::uint8_t> header = read(0, 16);
    if (header.size() < 16 || header[0] != 'S' || header[1] != 'F' || header[2] != 'D' ||
        header[3] != 'P' || header[5] != 1)
        return std::nullopt;
    // The first parameter header is the basic table's (ID 00, or FF00).
    if (header[8] != 0x00)
        return std::nullopt;
    const std::uint32_t length = std::min<std::uint32_t>(header[11], 20);
    const std::uint32_t pointer = std::uint32_t{header[12]} | std::uint32_t{header[13]} << 8 |
                                  std::uint32_t{header[14]} << 16;
    if (length < 9)
        return std::nullopt;
    const std::vector<std::uint8_t> table = read(pointer, length * 4);

    SfdpTable result;
    const std::uint32_t density = dword(table, 1);
    if (density & 0x80000000u) {
        const std::uint32_t power = density & 0x7FFFFFFFu;
        if (power < 16 || power > 40)
            return std::nullopt;
        result.sizeBytes = (std::uint64_t{1} << power) / 8;
    } else {
        result.sizeBytes = (std::uint64_t{density} + 1) / 8;
    }
    // A size the program can address: 32 KiB up to 2 GiB.
    if (result.sizeBytes < 32768 || result.sizeBytes > 0x80000000u)
        return std::nullopt;

    const std::uint32_t first = dword(table, 0);
    const std::uint32_t addressing = (first >> 17) & 0x3;
    result.fourByteAddressing = addressing == 1 || addressing == 2;

    std::vector<EraseUnit> units;
    for (std::size_t i = 7; i <= 8; ++i) {
        const std::uint32_t value = dword(table, i);
        for (int half = 0; half < 2; ++half) {
            const std::uint32_t type = value >> (16 * half);
            const std::uint32_t power = type & 0xFF;
            if (power >= 12 && power <= 16)
                units.push_back(unitOf(1u << power, static_cast<std::uint8_t>(type >> 8)));
        }
    }
    // The old 4 KiB field of DWORD 1, for a table whose erase types are empty.
    if (units.empty() && (first & 0x3) == 0x1)
        units.push_back(unitOf(4096, static_cast<std::uint8_t>(first >> 8)));
    if (units.empty())
        return std::nullopt;
    std::sort(units.begin(), units.end(),
              [](const EraseUnit& a, const EraseUnit& b) { return a.size < b.size; });
    units.erase(std::unique(units.begin(), units.end(),
                            [](const EraseUnit& a, const EraseUnit& b) { return a.size == b.size; }),
                units.end());
    for (std::size_t i = 0; i < units.size() && i < result.erase.size(); ++i)
        result.erase[i] = units[i];

    if (length >= 11) {
        const std::uint32_t page = (dword(table, 10) >> 4) & 0xF;
        if (page >= 4 && page <= 10)
            result.pageSize = 1u << page;
    }
    if (length >= 16) {
        const std::uint32_t enter = dword(table, 15) >> 24;
        if (enter & 0x02)
            result.enterNeedsWren = true;
        result.enterWithB7 = (enter & 0x03) != 0 || enter == 0;
    }
    return result;
}

std::string sizeText(std::uint64_t bytes)
{
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

std::string flashLayoutText(const ChipType& chip)
{
    std::string text = sizeText(static_cast<std::uint64_t>(chip.size)) + ", erase units";
    const char* separator = " ";
    for (const EraseUnit& unit : chip.spi.erase) {
        if (unit.size == 0)
            continue;
        static const char* digits = "0123456789ABCDEF";
        text += separator + sizeText(unit.size) + " (" + digits[unit.opcode >> 4] +
                digits[unit.opcode & 0xF] + "h)";
        separator = ", ";
    }
    return text;
}

}  // namespace kavoda
