// SPDX-License-Identifier: MIT
// The command-line tool as a function, so that tests can run it in-process.
#pragma once

#include <iosfwd>
#include <optional>
#include <string_view>

namespace kavoda {

// Exit codes of kavoda-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitHardware = 1;  // the port or the simulated chip failed
inline constexpr int kExitUsage = 2;     // bad option, number, type or address

// Runs kavoda-cli with the given arguments (argv[0] is the program name) and
// returns its exit code. Output goes to out, messages to err.
int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// A number as decimal or 0x-hex, no sign; empty when the text is no such
// number or exceeds max.
std::optional<long> parseCliNumber(std::string_view text, long max);

}  // namespace kavoda
