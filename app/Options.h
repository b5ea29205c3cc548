// SPDX-License-Identifier: MIT
// Command-line options of the kavoda program. Without arguments the program
// drives the real port; --simulate puts a simulated chip in the socket.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace kavoda {

struct ProgramOptions {
    std::optional<std::uint8_t> simulateType; // DeviceType code of the simulated chip
    std::string simImagePath;                 // keeps the simulated chip's content
    std::string tracePath;                    // VCD trace of the bus lines
};

struct ParsedOptions {
    bool run = true;  // false: --help, --version or an error; exit with exitCode
    int exitCode = 0;
    ProgramOptions options;
};

// The chip --simulate puts in the socket when no type is named.
inline constexpr const char* kDefaultSimulatedType = "24C16";

// Parses argv; help and version go to out, errors to err (exit code 2).
ParsedOptions parseOptions(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// What the caption appends for a simulated run (" [simulated 24C16]"), or
// an empty text on real hardware.
QString simulationMarker(const ProgramOptions& options);

} // namespace kavoda
