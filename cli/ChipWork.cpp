// SPDX-License-Identifier: MIT
// Comparing and writing chosen bytes.
#include "ChipWork.h"

#include "Tool.h"

namespace kavoda {

WantedImage WantedImage::constant(std::size_t size, std::uint8_t value)
{
    WantedImage wanted;
    wanted.bytes.assign(size, value);
    wanted.present.assign(size, true);
    wanted.given = size;
    return wanted;
}

std::optional<VerifyMismatch> compareWithChip(const std::vector<std::uint8_t>& chip,
                                              const WantedImage& wanted)
{
    std::optional<VerifyMismatch> result;
    for (std::size_t i = 0; i < chip.size() && i < wanted.bytes.size(); ++i) {
        if (!wanted.present[i] || chip[i] == wanted.bytes[i])
            continue;
        if (!result)
            result = VerifyMismatch{static_cast<int>(i), wanted.bytes[i], chip[i], 0};
        ++result->count;
    }
    return result;
}

std::vector<int> addressesToWrite(const WantedImage& wanted,
                                  const std::vector<std::uint8_t>* chipNow)
{
    std::vector<int> addresses;
    for (std::size_t i = 0; i < wanted.bytes.size(); ++i) {
        if (!wanted.present[i])
            continue;
        if (chipNow && i < chipNow->size() && (*chipNow)[i] == wanted.bytes[i])
            continue;
        addresses.push_back(static_cast<int>(i));
    }
    return addresses;
}

WriteOutcome writeAddresses(DeviceBus& bus, OperationDisplay& display, Family family,
                            const std::vector<int>& addresses, const WantedImage& wanted,
                            std::string_view caption,
                            const std::function<void(long done, int address)>& progress)
{
    WriteOutcome outcome;
    bus.clearAcks();
    for (const int address : addresses) {
        display.processMessages();
        if (display.stopRequested()) {
            outcome.stopped = true;
            return outcome;
        }
        if (progress)
            progress(outcome.written, address);
        const std::uint8_t value = wanted.bytes[static_cast<std::size_t>(address)];
        bus.writeByte(family, static_cast<std::uint8_t>(address / 256),
                      static_cast<std::uint8_t>(address % 256), value);
        display.showData(value);
        const std::string report = ackReportText(bus.acks(), caption);
        // Writing on into a chip that stopped answering would only hide where
        // it went wrong.
        if (!report.empty())
            throw ChipError(report + " Stopped at " + hexText(address, 4) + " after writing " +
                            std::to_string(outcome.written) + " of " +
                            std::to_string(addresses.size()) + " bytes.");
        ++outcome.written;
    }
    if (progress)
        progress(outcome.written, addresses.empty() ? 0 : addresses.back());
    return outcome;
}

}  // namespace kavoda
