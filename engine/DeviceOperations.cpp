// SPDX-License-Identifier: MIT
// The read, fill and write loops, the verify comparison and the reports.
#include "DeviceOperations.h"

#include <cstdio>

namespace kavoda {

namespace {

std::string hexText(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// Puts the panel text back however the pass ends.
class PanelTextGuard {
public:
    explicit PanelTextGuard(OperationDisplay& display)
        : m_display(display), m_saved(display.panelText())
    {
    }
    ~PanelTextGuard()
    {
        try {
            m_display.setPanelText(m_saved);
        } catch (...) {
            // Already unwinding from the error that matters.
        }
    }
    PanelTextGuard(const PanelTextGuard&) = delete;
    PanelTextGuard& operator=(const PanelTextGuard&) = delete;

private:
    OperationDisplay& m_display;
    std::string m_saved;
};

// The byte counter of one pass and the size taken at its start.
class Progress {
public:
    Progress() : m_total((static_cast<double>(LastBlock) + 1.0) * 256.0) {}

    // Steps 2 to 4 of the per-byte progress step.
    void advance(OperationDisplay& display)
    {
        display.showPercent(static_cast<int>(static_cast<double>(m_counter) * 100.0 / m_total));
        display.showAddress(static_cast<int>(m_counter - 1));
        ++m_counter;
    }

private:
    double m_total;
    long m_counter = 1;
};

bool pumpAndCheckStop(OperationDisplay& display)
{
    display.processMessages();
    return display.stopRequested();
}

}  // namespace

std::string fillText(std::uint8_t value)
{
    return "Fill " + hexText(value, 2);
}

PassEnd readPass(DeviceBus& bus, OperationDisplay& display, ByteSink& sink)
{
    const int lastBlock = LastBlock;
    Progress progress;
    PanelTextGuard panel(display);
    display.setMeterCaption(std::string());
    display.setPanelText(std::string(kReadingText));
    for (int block = 0; block <= lastBlock; ++block) {
        for (int address = 0; address < 256; ++address) {
            if (pumpAndCheckStop(display))
                return PassEnd::Stopped;
            progress.advance(display);
            const std::uint8_t value =
                bus.readByte(familyOf(DeviceType), static_cast<std::uint8_t>(block),
                             static_cast<std::uint8_t>(address));
            display.showData(value);
            sink.put(value);
        }
    }
    display.setMeterCaption(std::string(kCompletedText));
    return PassEnd::Completed;
}

PassEnd fillPass(DeviceBus& bus, OperationDisplay& display, std::uint8_t value, bool erase)
{
    PanelTextGuard panel(display);
    const int lastBlock = LastBlock;
    Progress progress;
    display.setMeterCaption(std::string());
    display.setPanelText(erase ? std::string(kEraseText) : fillText(value));
    for (int block = 0; block <= lastBlock; ++block) {
        for (int address = 0; address < 256; ++address) {
            if (pumpAndCheckStop(display))
                return PassEnd::Stopped;
            progress.advance(display);
            bus.writeByte(familyOf(DeviceType), static_cast<std::uint8_t>(block),
                          static_cast<std::uint8_t>(address), value);
            display.showData(value);
        }
    }
    display.setMeterCaption(std::string(kCompletedText));
    return PassEnd::Completed;
}

PassEnd writePass(DeviceBus& bus, OperationDisplay& display, ByteSource& image)
{
    PanelTextGuard panel(display);
    display.setPanelText(std::string(kWritingText));
    const int lastBlock = LastBlock;
    Progress progress;
    display.setMeterCaption(std::string());
    image.rewind();
    for (int block = 0; block <= lastBlock; ++block) {
        for (int address = 0; address < 256; ++address) {
            if (pumpAndCheckStop(display))
                return PassEnd::Stopped;
            // At the end of the image the block's loop ends; every later
            // block ends at the same test.
            if (image.atEnd())
                break;
            const std::uint8_t value = image.next();
            progress.advance(display);
            bus.writeByte(familyOf(DeviceType), static_cast<std::uint8_t>(block),
                          static_cast<std::uint8_t>(address), value);
            display.showData(value);
        }
    }
    return PassEnd::Completed;
}

std::optional<VerifyMismatch> verifyDevice(const std::vector<std::uint8_t>& deviceBytes,
                                           const std::vector<std::uint8_t>& wanted,
                                           std::uint8_t beyond)
{
    std::optional<VerifyMismatch> result;
    for (std::size_t i = 0; i < deviceBytes.size(); ++i) {
        const std::uint8_t want = i < wanted.size() ? wanted[i] : beyond;
        if (deviceBytes[i] == want)
            continue;
        if (!result)
            result = VerifyMismatch{static_cast<int>(i), want, deviceBytes[i], 0};
        ++result->count;
    }
    return result;
}

std::string verifyFailureText(const VerifyMismatch& m)
{
    return "Verify failed at " + hexText(static_cast<unsigned>(m.address), 4) + ": wrote " +
           hexText(m.wrote, 2) + ", read " + hexText(m.read, 2) + " (" +
           std::to_string(m.count) + (m.count == 1 ? " byte differs)." : " bytes differ).");
}

std::string ackReportText(const AckRecord& acks, std::string_view caption)
{
    const std::string chip(caption);
    if (acks.transactions > 0 && acks.unanswered == acks.transactions)
        return "No acknowledge from the " + chip +
               ": check that the chip sits in the socket and the adapter is powered.";
    if (acks.pollsRanOut > 0)
        return "The " + chip + " stayed busy: " + std::to_string(acks.pollsRanOut) +
               (acks.pollsRanOut == 1 ? " write was" : " writes were") +
               " not acknowledged before the polling ran out.";
    if (acks.unanswered > 0)
        return "The " + chip + " did not acknowledge " + std::to_string(acks.unanswered) +
               " of " + std::to_string(acks.transactions) +
               " transactions: check the chip type and the adapter.";
    return {};
}

}  // namespace kavoda
