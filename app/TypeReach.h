// SPDX-License-Identifier: MIT
// Which rows of the chip table an adapter reaches: the transports each kind
// of adapter carries, and the sentence that says why a row is out of reach.
#pragma once

#include "Adapter.h"
#include "ChipTable.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace kavoda {

// What an adapter of this kind carries.
std::vector<Transport> transportsOf(AdapterKind kind);
bool reaches(AdapterKind kind, const ChipType& chip);
// Why the adapter cannot drive the chip ("SPI chips need a CH341A or
// spidev adapter"); empty when it can.
std::string unreachableReason(AdapterKind kind, const ChipType& chip);

// What the type panel shows: the window types' own text, else the caption.
inline std::string_view typePanelText(const ChipType& chip)
{
    return chip.panelText.empty() ? chip.caption : chip.panelText;
}

// What the window shows of the chosen type: the panel text, and for a
// Microwire type its organisation and byte order too, so that the user
// sees how the image's bytes lie: "93C66 x16 little-endian" in the
// caption, "93C66 x16 LE" in the narrow status field.
std::string typeShownText(const ChipType& chip);
std::string typePanelCaption(const ChipType& chip);

// The family as the chooser heads its rows: "24Cxx (I2C)".
std::string familyTitle(Family family);

// The row called name, for the adapter: null with the reason in *error
// when the name is unknown or the adapter cannot drive it.
const ChipType* chipForAdapter(std::string_view name, AdapterKind kind, std::string* error);

struct ParsedOptions;
// --type NAME against the adapter the window will use: 0 when it drives the
// type (or none is named), else the reason to err and exit code 2.
int checkStartType(const ParsedOptions& parsed, std::ostream& err);

// What the Port field shows for an adapter other than the parallel port:
// "USB CH341A", "/dev/i2c-1"; empty for the parallel port.
std::string adapterFieldText(const AdapterChoice& adapter);

} // namespace kavoda
