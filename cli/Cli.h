// SPDX-License-Identifier: MIT
// The command-line tool as a function, so that tests can run it in-process.
#pragma once

#include <functional>
#include <memory>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace kavoda {

class DeviceBus;
class PortSession;

// Exit codes of kavoda-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitHardware = 1;  // the chip, the port or a file failed
inline constexpr int kExitUsage = 2;     // bad verb, option, number or type; size refused
// 130, Ctrl+C: kExitInterrupted in Interrupt.h

// Where a run reads, writes and looks.
struct CliEnvironment {
    std::istream* in = nullptr;  // standard input; nullptr = std::cin
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    bool errIsTerminal = false;  // the progress bar is drawn only on a terminal
    std::string settingsFolder;  // where Kavoda.INI is read; empty = the user's
    // Called once per byte between two bus transactions, before the
    // interrupt flag is looked at.
    std::function<void()> pump;
    // Tests: the bus of the run instead of the adapter's (an SPI chip on a
    // simulated SPI transport).
    std::function<std::unique_ptr<DeviceBus>(PortSession&)> makeBus;
};

int runCli(int argc, const char* const* argv, const CliEnvironment& environment);
// With standard input, no terminal and the user's settings folder.
int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// A number as decimal or 0x-hex, no sign; empty when the text is no such
// number or exceeds max.
std::optional<long> parseCliNumber(std::string_view text, long max);

}  // namespace kavoda
