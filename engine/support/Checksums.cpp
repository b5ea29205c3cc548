// SPDX-License-Identifier: MIT
// CRC-32, SHA-256 and byte sums.
#include "Checksums.h"

#include "HexText.h"

#include <algorithm>

namespace kavoda {

namespace {

// One entry per byte value: the register after shifting that byte through.
std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::uint32_t rotr(std::uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

}  // namespace

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc)
{
    static const std::array<std::uint32_t, 256> table = makeCrcTable();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

Sha256::Sha256()
    : m_state{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19}
{
}

void Sha256::block(const std::uint8_t* data)
{
    std::array<std::uint32_t, 64> w{};
    for (int i = 0; i < 16; ++i)
        w[i] = std::uint32_t{data[4 * i]} << 24 | std::uint32_t{data[4 * i + 1]} << 16 |
               std::uint32_t{data[4 * i + 2]} << 8 | std::uint32_t{data[4 * i + 3]};
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, h] = m_state;
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t s1 = rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25);
        const std::uint32_t choice = (e & f) ^ (~e & g);
        const std::uint32_t t1 = h + s1 + choice + kRoundConstants[i] + w[i];
        const std::uint32_t s0 = rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22);
        const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + s0 + majority;
    }
    const std::array<std::uint32_t, 8> add = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i)
        m_state[i] += add[i];
}

void Sha256::update(const std::uint8_t* data, std::size_t size)
{
    m_length += size;
    while (size > 0) {
        if (m_buffered == 0 && size >= 64) {
            block(data);
            data += 64;
            size -= 64;
            continue;
        }
        const std::size_t take = std::min(size, 64 - m_buffered);
        std::copy(data, data + take, m_buffer.begin() + static_cast<std::ptrdiff_t>(m_buffered));
        m_buffered += take;
        data += take;
        size -= take;
        if (m_buffered == 64) {
            block(m_buffer.data());
            m_buffered = 0;
        }
    }
}

std::array<std::uint8_t, 32> Sha256::finish()
{
    // 0x80, zeros up to 56 bytes of the last block, the length in bits.
    const std::uint64_t bits = m_length * 8;
    const std::uint8_t one = 0x80;
    update(&one, 1);
    const std::uint8_t zero = 0;
    while (m_buffered != 56)
        update(&zero, 1);
    std::array<std::uint8_t, 8> length{};
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    update(length.data(), length.size());

    std::array<std::uint8_t, 32> digest{};
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<std::uint8_t>(m_state[i] >> (24 - 8 * j));
    return digest;
}

Checksums checksumsOf(const std::uint8_t* data, std::size_t size)
{
    Checksums sums;
    sums.crc32 = crc32(data, size);
    Sha256 sha;
    sha.update(data, size);
    sums.sha256 = sha.finish();
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += data[i];  // wraps modulo 2^32, which keeps both sums right
    sums.sum8 = static_cast<std::uint8_t>(sum);
    sums.sum16 = static_cast<std::uint16_t>(sum);
    return sums;
}

const char* checksumName(ChecksumKind kind)
{
    switch (kind) {
    case ChecksumKind::Crc32: return "crc32";
    case ChecksumKind::Sha256: return "sha256";
    case ChecksumKind::Sum8: return "sum8";
    case ChecksumKind::Sum16: return "sum16";
    }
    return "";
}

const char* checksumLabel(ChecksumKind kind)
{
    switch (kind) {
    case ChecksumKind::Crc32: return "CRC-32";
    case ChecksumKind::Sha256: return "SHA-256";
    case ChecksumKind::Sum8: return "Sum-8";
    case ChecksumKind::Sum16: return "Sum-16";
    }
    return "";
}

std::string checksumText(const Checksums& sums, ChecksumKind kind)
{
    switch (kind) {
    case ChecksumKind::Crc32: return hexNumber(sums.crc32, 8, HexCase::Lower);
    case ChecksumKind::Sha256: {
        std::string text;
        for (const std::uint8_t b : sums.sha256)
            text += hexNumber(b, 2, HexCase::Lower);
        return text;
    }
    case ChecksumKind::Sum8: return hexNumber(sums.sum8, 2);
    case ChecksumKind::Sum16: return hexNumber(sums.sum16, 4);
    }
    return {};
}

}  // namespace kavoda
