// SPDX-License-Identifier: MIT
// The parts of write and verify that are more than the engine's loops: an
// image a file asks for (some or all bytes), the comparison with the chip,
// and the write of chosen bytes only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "DeviceOperations.h"

namespace kavoda {

// What a file asks the chip to hold: some or all of its bytes.
struct WantedImage {
    std::vector<std::uint8_t> bytes;  // the chip's size
    std::vector<bool> present;        // the bytes the file gives
    std::size_t given = 0;

    static WantedImage constant(std::size_t size, std::uint8_t value);
};

// The first byte the chip does not hold as wanted, and how many differ;
// bytes the image does not give are not compared.
std::optional<VerifyMismatch> compareWithChip(const std::vector<std::uint8_t>& chip,
                                              const WantedImage& wanted);

// The addresses to write: every given byte, or (differential) only those the
// chip does not hold already.
std::vector<int> addressesToWrite(const WantedImage& wanted,
                                  const std::vector<std::uint8_t>* chipNow);

struct WriteOutcome {
    long written = 0;
    bool stopped = false;  // the display asked to stop; `written` bytes are done
};

// Writes wanted.bytes[a] for each address a, one write transaction each with
// the family's polling, pumping and asking the display whether to stop
// before every byte, and calling progress(done, address). A transaction the
// chip leaves unanswered ends the loop with ChipError naming the address.
WriteOutcome writeAddresses(DeviceBus& bus, OperationDisplay& display, Family family,
                            const std::vector<int>& addresses, const WantedImage& wanted,
                            std::string_view caption,
                            const std::function<void(long done, int address)>& progress);

}  // namespace kavoda
