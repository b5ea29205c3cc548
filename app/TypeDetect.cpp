// SPDX-License-Identifier: MIT
// Detect in the type chooser: the identification of the command line's
// identify, by reads alone, on the window's I2C bus.
#include "TypeDetect.h"

#include <exception>

#include "DeviceBus.h"
#include "Identify.h"

namespace kavoda {

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
