// SPDX-License-Identifier: MIT
// Intel HEX reader and writer.
#include "IntelHex.h"

#include "HexText.h"

namespace kavoda {

namespace {

enum RecordType : std::uint8_t {
    kData = 0x00,
    kEnd = 0x01,
    kSegmentAddress = 0x02,
    kStartSegment = 0x03,
    kLinearAddress = 0x04,
    kStartLinear = 0x05,
};

std::string hex(std::uint64_t value, int digits)
{
    return hexNumber(value, digits);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool blank(std::string_view line)
{
    for (const char c : line)
        if (c != ' ' && c != '\t')
            return false;
    return true;
}

// The character at `at` as a message may show it: a control character or a
// byte outside ASCII would garble the terminal line (a lone CR) or cut the
// text short (a NUL), so those are given by their code.
std::string noHexDigit(std::string_view line, std::size_t at)
{
    const char c = line[at];
    const std::string column = " at column " + std::to_string(at + 1) + " is no hex digit";
    if (c == '\r')
        return "a CR" + column + " (lines end with LF or CRLF, not CR alone)";
    if (c >= ' ' && c <= '~')
        return "'" + std::string(1, c) + "'" + column;
    return "byte 0x" + hex(static_cast<std::uint8_t>(c), 2) + column;
}

// One record's fields after its checks.
struct Record {
    std::uint8_t type = 0;
    std::uint16_t offset = 0;
    std::vector<std::uint8_t> data;
};

Record parseRecord(std::string_view line, int number)
{
    if (line.empty() || line[0] != ':')
        throw IntelHexError(number, "a record starts with ':'");
    std::vector<std::uint8_t> bytes;
    bytes.reserve(line.size() / 2);
    std::size_t i = 1;
    for (; i + 1 < line.size(); i += 2) {
        const int hi = hexDigit(line[i]);
        const int lo = hexDigit(line[i + 1]);
        if (hi < 0 || lo < 0)
            throw IntelHexError(number, noHexDigit(line, hi < 0 ? i : i + 1));
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    if (i < line.size()) {
        if (hexDigit(line[i]) < 0)
            throw IntelHexError(number, noHexDigit(line, i));
        throw IntelHexError(number, "odd number of hex digits");
    }
    if (bytes.size() < 5)
        throw IntelHexError(number, "record too short: " + std::to_string(bytes.size()) +
                                        " bytes, at least 5 needed");
    const std::size_t count = bytes[0];
    if (bytes.size() != count + 5)
        throw IntelHexError(number, "byte count " + hex(count, 2) + " says " +
                                        std::to_string(count) + " data bytes, the record has " +
                                        std::to_string(bytes.size() - 5));
    unsigned sum = 0;
    for (std::size_t k = 0; k + 1 < bytes.size(); ++k)
        sum += bytes[k];
    const auto expected = static_cast<std::uint8_t>(-sum);
    if (bytes.back() != expected)
        throw IntelHexError(number, "checksum " + hex(bytes.back(), 2) + " should be " +
                                        hex(expected, 2));

    Record record;
    record.offset = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
    record.type = bytes[3];
    record.data.assign(bytes.begin() + 4, bytes.end() - 1);

    const auto wantLength = [&](std::size_t length, const char* what) {
        if (record.data.size() != length)
            throw IntelHexError(number, std::string(what) + " record (type " +
                                            hex(record.type, 2) + ") must hold " +
                                            std::to_string(length) + " bytes, not " +
                                            std::to_string(record.data.size()));
    };
    switch (record.type) {
    case kData:
        break;
    case kEnd:
        wantLength(0, "an end");
        break;
    case kSegmentAddress:
        wantLength(2, "an extended segment address");
        break;
    case kLinearAddress:
        wantLength(2, "an extended linear address");
        break;
    case kStartSegment:
    case kStartLinear:
        wantLength(4, "a start address");
        break;
    default:
        throw IntelHexError(number, "unknown record type " + hex(record.type, 2));
    }
    return record;
}

}  // namespace

IntelHexError::IntelHexError(int line, const std::string& fault)
    : std::runtime_error("line " + std::to_string(line) + ": " + fault), m_line(line),
      m_fault(fault)
{
}

IntelHexBeyondError::IntelHexBeyondError(int line, std::uint64_t address, std::size_t capacity)
    : IntelHexError(line, "address " + hex(address, 4) + " is beyond the end (" +
                              std::to_string(capacity) + " bytes)"),
      m_address(address)
{
}

IntelHexImage readIntelHex(std::string_view text, std::size_t capacity, BeyondCapacity beyond)
{
    IntelHexImage image;
    image.bytes.assign(capacity, 0xFF);
    image.present.assign(capacity, false);
    std::vector<int> givenOn(capacity, 0);  // the line that gave each byte

    bool segmented = false;  // 02 records wrap offsets within 64 KiB, 04 records do not
    std::uint64_t base = 0;
    bool ended = false;
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (blank(line))
            continue;
        if (ended)
            throw IntelHexError(number, "text after the end record");

        const Record record = parseRecord(line, number);
        switch (record.type) {
        case kData:
            for (std::size_t k = 0; k < record.data.size(); ++k) {
                const std::uint64_t address =
                    segmented ? base + ((record.offset + k) & 0xFFFF) : base + record.offset + k;
                if (address >= capacity) {
                    if (beyond == BeyondCapacity::Refuse)
                        throw IntelHexBeyondError(number, address, capacity);
                    ++image.beyond;
                    continue;
                }
                const auto at = static_cast<std::size_t>(address);
                if (image.present[at])
                    throw IntelHexError(number, "address " + hex(address, 4) +
                                                    " was already given on line " +
                                                    std::to_string(givenOn[at]));
                image.bytes[at] = record.data[k];
                image.present[at] = true;
                givenOn[at] = number;
                ++image.given;
            }
            break;
        case kEnd:
            ended = true;
            break;
        case kSegmentAddress:
            segmented = true;
            base = static_cast<std::uint64_t>(record.data[0] << 8 | record.data[1]) << 4;
            break;
        case kLinearAddress:
            segmented = false;
            base = static_cast<std::uint64_t>(record.data[0] << 8 | record.data[1]) << 16;
            break;
        default:  // start addresses
            break;
        }
    }
    if (!ended)
        throw IntelHexError(number == 0 ? 1 : number,
                            "the file ends without an end record (:00000001FF)");
    return image;
}

std::string writeIntelHex(const std::uint8_t* data, std::size_t size)
{
    std::string text;
    text.reserve(size / 16 * 44 + 16);
    const auto record = [&text](std::uint8_t type, std::uint16_t offset, const std::uint8_t* bytes,
                                std::size_t count) {
        unsigned sum = static_cast<unsigned>(count) + (offset >> 8) + (offset & 0xFF) + type;
        text += ':';
        text += hex(count, 2);
        text += hex(offset, 4);
        text += hex(type, 2);
        for (std::size_t k = 0; k < count; ++k) {
            text += hex(bytes[k], 2);
            sum += bytes[k];
        }
        text += hex(static_cast<std::uint8_t>(-sum), 2);
        text += '\n';
    };
    std::size_t upper = 0;
    for (std::size_t at = 0; at < size; at += 16) {
        if ((at >> 16) != upper) {
            upper = at >> 16;
            const std::uint8_t ulba[2] = {static_cast<std::uint8_t>(upper >> 8),
                                          static_cast<std::uint8_t>(upper)};
            record(kLinearAddress, 0, ulba, 2);
        }
        // Records never cross a 64 KiB boundary: 16 divides 65536.
        const std::size_t count = size - at < 16 ? size - at : 16;
        record(kData, static_cast<std::uint16_t>(at & 0xFFFF), data + at, count);
    }
    record(kEnd, 0, nullptr, 0);
    return text;
}

}  // namespace kavoda
