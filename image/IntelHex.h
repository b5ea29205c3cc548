// SPDX-License-Identifier: MIT
// Intel HEX files: a strict reader that names the line and the fault of a bad
// record, and a writer. Plain C++, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kavoda {

// A record the reader refuses. what() is "line N: <fault>"; a character of
// the file that the fault quotes is shown only when printable ASCII.
class IntelHexError : public std::runtime_error {
public:
    IntelHexError(int line, const std::string& fault);
    int line() const { return m_line; }
    const std::string& fault() const { return m_fault; }

private:
    int m_line;
    std::string m_fault;
};

// Data addressed beyond the capacity given to the reader. what() names the
// line and the first such address.
class IntelHexBeyondError : public IntelHexError {
public:
    IntelHexBeyondError(int line, std::uint64_t address, std::size_t capacity);
    std::uint64_t address() const { return m_address; }

private:
    std::uint64_t m_address;
};

// The bytes of a HEX file laid over 0..capacity-1.
struct IntelHexImage {
    std::vector<std::uint8_t> bytes;  // capacity bytes; 0xFF where the file gives none
    std::vector<bool> present;        // which of them the file gives
    std::size_t given = 0;            // how many are present
    std::size_t beyond = 0;           // bytes beyond the capacity that were dropped
};

enum class BeyondCapacity {
    Refuse,  // throw IntelHexBeyondError at the first such byte
    Drop,    // count them in `beyond` and go on
};

// Reads records 00 (data), 01 (end), 02 (extended segment address) and 04
// (extended linear address); 03 and 05 (start addresses) carry nothing for a
// memory image and are checked, then skipped. Upper- and lower-case digits,
// LF or CRLF line ends and blank lines are accepted; anything else that is not
// a well-formed record, a byte given twice, text after the end record and a
// missing end record are refused with IntelHexError.
IntelHexImage readIntelHex(std::string_view text, std::size_t capacity,
                           BeyondCapacity beyond = BeyondCapacity::Refuse);

// The bytes as data records of up to 16 bytes from address 0, with an 04
// record before each 64 KiB boundary that is crossed, and the end record.
// Upper-case digits, LF line ends.
std::string writeIntelHex(const std::uint8_t* data, std::size_t size);

}  // namespace kavoda
