// SPDX-License-Identifier: MIT
// Command-line options of the kavoda program. Without arguments the program
// drives the real port; --simulate puts a simulated chip in the socket.
#pragma once

#include "PortSession.h"

#include <QString>
#include <ostream>

namespace kavoda {

struct ParsedOptions {
    bool run = true;  // false: --help, --version or an error; exit with exitCode
    int exitCode = 0;
    PortOptions options;
};

// The chip --simulate puts in the socket when no type is named.
inline constexpr const char* kDefaultSimulatedType = "24C16";

// Parses argv; help and version go to out, errors to err (exit code 2).
ParsedOptions parseOptions(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// What the caption appends for a simulated run (" [simulated 24C16]"), or
// an empty text on real hardware.
QString simulationMarker(const PortOptions& options);

} // namespace kavoda
