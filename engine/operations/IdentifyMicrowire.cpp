// SPDX-License-Identifier: MIT
// A 93Cxx by the width of its address and, where two rows share it, by its
// content. Reads only.
#include <algorithm>

#include "DeviceOperations.h"
#include "HexText.h"
#include "Identify.h"

namespace kavoda {

namespace {

std::string bitsText(int bits)
{
    return std::to_string(bits) + (bits == 1 ? " address bit" : " address bits");
}

// Which of two rows of one width the content shows; none when it cannot.
const ChipType* rowByContent(MicrowireBus& bus, OperationDisplay& display,
                             const MicrowireWidth& smaller, const MicrowireWidth& larger,
                             MicrowireIdentification& found)
{
    const ChipType big = withOrganisation(*larger.row, larger.organisation, ByteOrder::Big);
    ChipJob job{bus, big, display, Transfers::Fast};
    std::vector<std::uint8_t> bytes;
    if (readRange(job, 0, static_cast<std::uint32_t>(big.size), bytes) == PassEnd::Stopped) {
        found.stopped = true;
        return nullptr;
    }
    const auto half = bytes.begin() + big.size / 2;
    const std::string small(smaller.row->caption);
    const std::string large(larger.row->caption);
    if (!std::equal(bytes.begin(), half, half)) {
        found.lines.push_back("Read as a " + large + ", its two halves differ, which a " + small +
                              " (its top address bit ignored) cannot show: a " + large + ".");
        return larger.row;
    }
    if (std::all_of(bytes.begin(), bytes.end(), [&](std::uint8_t b) { return b == bytes[0]; }))
        found.lines.push_back("Its content is uniform (every byte " + byteHex(bytes[0]) +
                              "): it cannot tell the " + small + " from the " + large +
                              "; write a byte to one half and probe again to tell.");
    else
        found.lines.push_back("Read as a " + large + ", its two halves are alike, as a " + small +
                              "'s are (its top address bit ignored): most likely a " + small +
                              ", unless a " + large + " holds the same bytes twice.");
    return nullptr;
}

}  // namespace

std::string organisationWiring(int organisation)
{
    return organisation == 8 ? "x8 (ORG to ground)" : "x16 (ORG to VCC or open)";
}

MicrowireIdentification identifyMicrowire(MicrowireBus& bus, OperationDisplay& display)
{
    MicrowireIdentification found;
    found.addressBits = bus.probeAddressBits();
    if (found.addressBits == 0) {
        found.lines.push_back("No chip drives DO: no dummy 0 came within " +
                              bitsText(MicrowireBus::kProbeBits) + ".");
        return found;
    }
    found.candidates = microwireChipsWithAddressBits(found.addressBits);
    if (found.candidates.empty()) {
        found.lines.push_back("DO went low after " + bitsText(found.addressBits) +
                              ", as no 93Cxx does.");
        return found;
    }
    found.organisation = found.candidates.front().organisation;
    std::string names;
    for (const MicrowireWidth& each : found.candidates)
        names += (names.empty() ? "" : " or ") + std::string(each.row->caption);
    found.lines.push_back("DO drove the dummy 0 after " + bitsText(found.addressBits) + ": a " +
                          names + " organised " + organisationWiring(found.organisation) + ".");
    if (found.candidates.size() == 1)
        found.row = found.candidates.front().row;
    else if (found.candidates.size() == 2)
        found.row = rowByContent(bus, display, found.candidates[0], found.candidates[1], found);
    return found;
}

}  // namespace kavoda
