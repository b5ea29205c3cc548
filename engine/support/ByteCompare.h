// SPDX-License-Identifier: MIT
// Two images compared byte by byte: the runs of differing bytes, counted,
// and found again by address. A run is two numbers, whatever the image size,
// so that two wholly different 256 KiB images cost a megabyte at most.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kavoda {

struct DifferingRun {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::uint32_t end() const { return start + length; }
};

struct ByteComparison {
    std::vector<DifferingRun> runs;  // in address order, apart from each other
    std::uint64_t differing = 0;     // bytes in all runs
    std::uint64_t compared = 0;      // bytes both sides give
    std::uint64_t skipped = 0;       // bytes one side leaves out (a HEX file's gaps)
    bool equal() const { return runs.empty(); }
};

// Compares the first size bytes of a and b. A present mask, when given,
// names the bytes its side gives (at least size entries); a byte either side
// leaves out is not compared and ends a run.
ByteComparison compareBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t size,
                            const std::vector<bool>* presentA = nullptr,
                            const std::vector<bool>* presentB = nullptr);

// "37 bytes differ in 5 runs; the first at 01A0" (addresses as the
// operations' messages write them); empty when nothing differs.
std::string differenceSummary(const ByteComparison& comparison);

// Whether a chip's bytes read as erased (FF): "The 24C16 is blank: all 2048
// bytes read FF." or "The 24C16 is not blank: 37 of its 2048 bytes are not
// FF, the first at 01A0 (5A)."
bool isBlank(const std::uint8_t* data, std::size_t size);
std::string blankCheckText(const std::string& chip, const std::uint8_t* data, std::size_t size);

// The runs that touch [start, start + length), as indices [first, last).
std::pair<std::size_t, std::size_t> runsWithin(const std::vector<DifferingRun>& runs,
                                               std::uint32_t start, std::uint32_t length);
// The first run starting after address, and the last run starting before
// it; none at either end.
std::optional<DifferingRun> nextRun(const std::vector<DifferingRun>& runs, std::uint32_t address);
std::optional<DifferingRun> previousRun(const std::vector<DifferingRun>& runs,
                                        std::uint32_t address);

}  // namespace kavoda
