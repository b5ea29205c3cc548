// SPDX-License-Identifier: MIT
// The command-line options both programs take (the simulated chip, the bus
// trace, the adapter and its clocks, the port and the delay), made from one table of name,
// argument, check and help text, so that kavoda and kavoda-cli spell them
// alike and say the same words about a bad value. A new shared option is a
// row of the table and an entry of SharedOption.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace kavoda {

struct PortOptions;

enum class SharedOption {
    Simulate,       // --simulate[=TYPE]
    SimImage,       // --sim-image FILE
    SimFault,       // --sim-fault FAULT
    SimWriteCycle,  // --sim-write-cycle MS
    Trace,          // --trace FILE.vcd
    Adapter,        // --adapter ADAPTER
    I2cSpeed,       // --i2c-speed KHZ
    SpiSpeed,       // --spi-speed KHZ
    Port,           // --port PORT
    Delay,          // --delay N
};
inline constexpr std::size_t kSharedOptionCount = 10;

// What differs between the two programs.
struct SharedOptionContext {
    // What --simulate without a TYPE puts in the socket, for the help text.
    std::string simulateDefault;
    // Whether --simulate takes the main window's types only.
    bool windowTypesOnly = false;
};

class SharedOptions {
public:
    // Adds the options of rows to app, in the table's order.
    SharedOptions(CLI::App& app, const SharedOptionContext& context,
                  std::initializer_list<SharedOption> rows);

    // After the parse: the text given for option, none when it was not
    // given; --simulate without a TYPE gives an empty text.
    std::optional<std::string> given(SharedOption option) const;

    // Puts what was given into options: the simulated chip's content file,
    // fault and write cycle, the trace, the adapter and its clocks. An empty
    // text, or what is wrong. The simulated TYPE, the port and the delay are
    // each program's to resolve.
    std::string applyTo(PortOptions& options) const;

private:
    std::array<std::string, kSharedOptionCount> m_text;
    std::array<CLI::Option*, kSharedOptionCount> m_option{};
};

}  // namespace kavoda
