// SPDX-License-Identifier: MIT
// The verb groups of kavoda-cli, one file each. A new group is one function
// here and one line in the list of Cli.cpp.
#pragma once

#include <optional>
#include <string>

#include "ImageFiles.h"

namespace kavoda {

class Tool;
class VerbTable;
struct ChipType;

void addByteVerbs(VerbTable& verbs);     // get, set (ByteVerbs.cpp)
void addChipVerbs(VerbTable& verbs);     // read, write, verify, erase, fill (ChipVerbs.cpp)
void addInspectVerbs(VerbTable& verbs);  // dump, probe (InspectVerbs.cpp)
void addCalibrateVerb(VerbTable& verbs);  // calibrate (Calibrate.cpp)
void addCompareVerbs(VerbTable& verbs);  // compare, blank, checksum (CompareVerbs.cpp)
void addIdentifyVerbs(VerbTable& verbs);  // scan, identify (IdentifyVerbs.cpp)

// What an SPI chip of the row's family says of itself: a flash its JEDEC ID,
// SFDP table and row, an EEPROM its status register. Reads only.
int probeSpi(Tool& tool, const ChipType& row);

// The closing sentence of a failed verify after a write: what to look at.
std::string writeCheckHint(const ChipType& chip);

// A Microwire chip's address width, and the types and organisation it
// means; with -d, whether they fit. Reads only.
int probeMicrowire(Tool& tool);

// --format's value: none when not given, a usage error when unknown.
std::optional<FileFormat> formatOption(const std::string& text);

class Tool;
// Warns when the stored calibration finds the Delay too fast for 100 kHz
// parts; the bus calls it once, when it is made (Calibrate.cpp).
void warnOfFastBus(Tool& tool);

}  // namespace kavoda
