// SPDX-License-Identifier: MIT
// Command-line options of the kavoda program. Without arguments the program
// drives the real port; --simulate puts a simulated chip in the socket.
#pragma once

#include "ChipTable.h"
#include "PortSession.h"

#include <QString>
#include <optional>
#include <ostream>

namespace kavoda {

struct ParsedOptions {
    bool run = true;  // false: --help, --version or an error; exit with exitCode
    int exitCode = 0;
    PortOptions options;
    bool styleRequested = false;  // Qt's -style was given: that style, not the classic one
    std::string typeName;         // --type: the type chosen at start; empty = none
    // That type as it is used: a Microwire row with the organisation of
    // --org (or of its name) and the byte order of --byte-order.
    std::optional<ChipType> chosenType;
};

// The chip --simulate puts in the socket when no type is named.
inline constexpr const char* kDefaultSimulatedType = "24C16";

// Parses argv; help and version go to out, errors to err (exit code 2).
// Qt's own options (-platform NAME, -style NAME or -style=NAME, -display,
// -reverse, ...) are left to the application object.
ParsedOptions parseOptions(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// Whether argv[i] is one of Qt's own options; valueCount tells how many
// arguments after it belong to it.
bool isQtOption(const std::string& arg, int* valueCount, bool* isStyle = nullptr);

// The files the options name, checked before any window opens: the
// simulated chip's content file must be a readable file of the chip's size,
// or a new file in a folder that takes it; the trace must be a file that can
// be written, and not the content file. A file that cannot be used is
// reported to err and gives exit code 2; 0 when all can be used.
int checkStartFiles(const PortOptions& options, std::ostream& err);

// What the caption appends for a simulated run (" [simulated 24C16]"), or
// an empty text on real hardware.
QString simulationMarker(const PortOptions& options);

} // namespace kavoda
