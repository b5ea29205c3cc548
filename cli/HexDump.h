// SPDX-License-Identifier: MIT
// The listing of the dump verb, like `hexdump -C`: 16 bytes a line with the
// absolute address, the bytes in two groups of eight, then the printable
// characters, and a last line with the address after the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kavoda {

std::string hexDumpText(const std::uint8_t* bytes, std::size_t count, std::uint32_t start);

}  // namespace kavoda
