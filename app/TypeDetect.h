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
    int organisation = 0;            // a Microwire chip's, told by its address width
};

// The I2C chip on the bus.
DetectOutcome detectChip(DeviceBus& bus);
// The Microwire chip on its lines, by the width of its address.
DetectOutcome detectMicrowire(DeviceBus& bus);

} // namespace kavoda
