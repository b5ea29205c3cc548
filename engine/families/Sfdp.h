// SPDX-License-Identifier: MIT
// The Serial Flash Discoverable Parameters of JESD216: the header and the
// basic flash parameter table (density, erase types and opcodes, address
// bytes, 4-byte entry), as a flash answers them to 5Ah.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ChipTable.h"

namespace kavoda {

struct SfdpTable {
    std::uint64_t sizeBytes = 0;
    std::array<EraseUnit, 3> erase{};  // smallest first, up to 64 KiB
    bool fourByteAddressing = false;   // 3 and 4, or 4 only
    bool enterWithB7 = true;           // DWORD 16: B7h, with or without WREN
    bool enterNeedsWren = false;
    std::uint32_t pageSize = 256;
};

// Reads `length` bytes of SFDP space from `address`.
using SfdpReader = std::function<std::vector<std::uint8_t>(std::uint32_t address, std::uint32_t length)>;

// The table, or nothing when the chip has no SFDP signature or its basic
// table makes no sense (no density, no erase type).
std::optional<SfdpTable> readSfdp(const SfdpReader& read);

// "4 MiB, erase units 4 KiB (20h), 32 KiB (52h), 64 KiB (D8h)".
std::string flashLayoutText(const ChipType& chip);
// "1 KiB", "4 MiB", "640 bytes".
std::string sizeText(std::uint64_t bytes);

}  // namespace kavoda
