// SPDX-License-Identifier: MIT
// What an SPI adapter offers the chip families: transactions with the chip
// selected, in mode 0, most significant bit first. The families (25xx
// EEPROMs, SPI NOR flash) build their commands from these; the adapters
// (CH341A, Linux spidev, their simulators) only move the bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace kavoda {

// Chip select taken low, `out` shifted out, then `inLength` bytes read (the
// adapter shifts out 0xFF meanwhile), chip select released.
struct SpiTransaction {
    std::vector<std::uint8_t> out;
    std::uint32_t inLength = 0;
};

struct SpiLimits {
    std::uint32_t maxTransaction;  // out and in bytes of one transaction
    std::uint32_t maxBatch;        // bytes of all transactions of one call
};

class SpiTransport {
public:
    virtual ~SpiTransport() = default;
    // The transactions in order, each between its own select and release;
    // the bytes each one read. Failures of the adapter throw PortError.
    virtual std::vector<std::vector<std::uint8_t>> run(
        const std::vector<SpiTransaction>& transactions) = 0;
    virtual SpiLimits limits() const = 0;
    // The clock that bounds busy polling: the adapter's own (simulated) or
    // the host's monotonic clock, in ns.
    virtual std::uint64_t nowNs() const = 0;
};

}  // namespace kavoda
