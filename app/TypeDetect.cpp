// SPDX-License-Identifier: MIT
// Detect in the type chooser: the identification of the command line's
// identify (probe, for Microwire chips), by reads alone.
#include "TypeDetect.h"

#include <exception>

#include <QStringList>

#include "DeviceBus.h"
#include "DeviceOperations.h"
#include "Identify.h"

namespace kavoda {

namespace {

// The content read of a Microwire identification is short: nothing to show.
class SilentDisplay final : public OperationDisplay {
public:
    void processMessages() override {}
    bool stopRequested() const override { return false; }
    void showPercent(int) override {}
    void showAddress(int) override {}
    void showData(std::uint8_t) override {}
    std::string panelText() const override { return {}; }
    void setPanelText(const std::string&) override {}
    void setMeterCaption(const std::string&) override {}
};

} // namespace

DetectOutcome detectMicrowire(DeviceBus& bus)
{
    try {
        auto* lines = dynamic_cast<MicrowireBus*>(&bus);
        if (!lines)
            return {nullptr, QStringLiteral("Microwire chips need a CH341A adapter."), 0};
        BusClaim claim(bus);
        SilentDisplay display;
        const MicrowireIdentification found = identifyMicrowire(*lines, display);
        QStringList evidence;
        for (const std::string& line : found.lines)
            evidence << QString::fromStdString(line);
        return {found.row, evidence.join(QLatin1Char(' ')), found.organisation};
    } catch (const std::exception& e) {
        return {nullptr, QString::fromStdString(e.what()), 0};
    }
}

DetectOutcome detectChip(DeviceBus& bus)
{
    try {
        BusClaim claim(bus);
        const Identification found = identifyI2c(bus);
        QString evidence = QString::fromStdString(found.verdict);
        for (const std::string& doubt : found.doubts)
            evidence += QStringLiteral("\n") + QString::fromStdString(doubt);
        if (found.confidence == Confidence::Certain)
            return {found.chosen.chip, evidence};
        return {nullptr, evidence};
    } catch (const std::exception& e) {
        return {nullptr, QString::fromStdString(e.what())};
    }
}

} // namespace kavoda
