// SPDX-License-Identifier: MIT
// Checksums of an image as technicians quote them: the zlib CRC-32, SHA-256,
// and the 8- and 16-bit sums of its bytes. Plain C++, no library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kavoda {

// The CRC-32 of zlib, PNG and Ethernet (reflected polynomial EDB88320,
// initial and final value FFFFFFFF). crc carries a previous call's result
// on, so that a long image may be given in parts.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

// SHA-256 (FIPS 180-4), fed in parts.
class Sha256 {
public:
    Sha256();
    void update(const std::uint8_t* data, std::size_t size);
    // The digest; the object is used up afterwards.
    std::array<std::uint8_t, 32> finish();

private:
    void block(const std::uint8_t* data);

    std::array<std::uint32_t, 8> m_state;
    std::array<std::uint8_t, 64> m_buffer{};
    std::size_t m_buffered = 0;
    std::uint64_t m_length = 0;  // bytes
};

struct Checksums {
    std::uint32_t crc32 = 0;
    std::array<std::uint8_t, 32> sha256{};
    std::uint8_t sum8 = 0;    // the bytes added, modulo 256
    std::uint16_t sum16 = 0;  // the bytes added, modulo 65536
};

Checksums checksumsOf(const std::uint8_t* data, std::size_t size);

// The names a single value is asked for by, and its text: CRC-32 as eight
// lower-case digits and SHA-256 as 64, as crc32 and sha256sum print them;
// the sums as upper-case hex, two and four digits, as the program shows
// bytes.
enum class ChecksumKind { Crc32, Sha256, Sum8, Sum16 };
inline constexpr std::array<ChecksumKind, 4> kChecksumKinds = {
    ChecksumKind::Crc32, ChecksumKind::Sha256, ChecksumKind::Sum8, ChecksumKind::Sum16};
const char* checksumName(ChecksumKind kind);   // "crc32", "sha256", "sum8", "sum16"
const char* checksumLabel(ChecksumKind kind);  // "CRC-32", "SHA-256", "Sum-8", "Sum-16"
std::string checksumText(const Checksums& sums, ChecksumKind kind);

}  // namespace kavoda
