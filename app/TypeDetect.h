// SPDX-License-Identifier: MIT
// "Detect" in the type chooser: which chip is on the adapter. The one place
// the identification connects to the window.
#pragma once

#include <QString>

namespace kavoda {

class DeviceBus;
struct ChipType;

struct DetectOutcome {
    const ChipType* chip = nullptr;  // set when the answer is certain
    QString evidence;                // what was found, or why nothing was
};

DetectOutcome detectChip(DeviceBus& bus);

} // namespace kavoda
