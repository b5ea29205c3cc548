// SPDX-License-Identifier: MIT
// Differing runs of two images.
#include "ByteCompare.h"

#include "HexText.h"

#include <algorithm>

namespace kavoda {

ByteComparison compareBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t size,
                            const std::vector<bool>* presentA, const std::vector<bool>* presentB)
{
    ByteComparison result;
    bool inRun = false;
    for (std::size_t i = 0; i < size; ++i) {
        if ((presentA && !(*presentA)[i]) || (presentB && !(*presentB)[i])) {
            ++result.skipped;
            inRun = false;
            continue;
        }
        ++result.compared;
        if (a[i] == b[i]) {
            inRun = false;
            continue;
        }
        ++result.differing;
        if (inRun)
            ++result.runs.back().length;
        else
            result.runs.push_back({static_cast<std::uint32_t>(i), 1});
        inRun = true;
    }
    return result;
}

std::string differenceSummary(const ByteComparison& comparison)
{
    if (comparison.equal())
        return {};
    const std::size_t runs = comparison.runs.size();
    return std::to_string(comparison.differing) +
           (comparison.differing == 1 ? " byte differs in " : " bytes differ in ") +
           std::to_string(runs) + (runs == 1 ? " run" : " runs") + "; the first at " +
           addressHex(comparison.runs.front().start);
}

bool isBlank(const std::uint8_t* data, std::size_t size)
{
    return std::all_of(data, data + size, [](std::uint8_t b) { return b == 0xFF; });
}

std::string blankCheckText(const std::string& chip, const std::uint8_t* data, std::size_t size)
{
    const auto notErased = [](std::uint8_t b) { return b != 0xFF; };
    const std::uint8_t* first = std::find_if(data, data + size, notErased);
    if (first == data + size)
        return "The " + chip + " is blank: all " + std::to_string(size) + " bytes read FF.";
    const auto count = std::count_if(first, data + size, notErased);
    return "The " + chip + " is not blank: " + std::to_string(count) + " of its " +
           std::to_string(size) + (count == 1 ? " bytes is" : " bytes are") +
           " not FF, the first at " + addressHex(static_cast<std::uint64_t>(first - data)) + " (" +
           byteHex(*first) + ").";
}

std::pair<std::size_t, std::size_t> runsWithin(const std::vector<DifferingRun>& runs,
                                               std::uint32_t start, std::uint32_t length)
{
    const std::uint64_t end = std::uint64_t{start} + length;
    // The first run ending after start; runs are ordered and apart, so their
    // ends are ordered too.
    const auto first = std::partition_point(
        runs.begin(), runs.end(), [start](const DifferingRun& run) { return run.end() <= start; });
    const auto last = std::partition_point(
        first, runs.end(), [end](const DifferingRun& run) { return run.start < end; });
    return {static_cast<std::size_t>(first - runs.begin()),
            static_cast<std::size_t>(last - runs.begin())};
}

std::optional<DifferingRun> nextRun(const std::vector<DifferingRun>& runs, std::uint32_t address)
{
    const auto it = std::partition_point(
        runs.begin(), runs.end(), [address](const DifferingRun& run) { return run.start <= address; });
    if (it == runs.end())
        return std::nullopt;
    return *it;
}

std::optional<DifferingRun> previousRun(const std::vector<DifferingRun>& runs,
                                        std::uint32_t address)
{
    const auto it = std::partition_point(
        runs.begin(), runs.end(), [address](const DifferingRun& run) { return run.start < address; });
    if (it == runs.begin())
        return std::nullopt;
    return *(it - 1);
}

}  // namespace kavoda
