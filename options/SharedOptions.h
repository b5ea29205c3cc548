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
#include <string_view>

#include "ChipTable.h"

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
    Org,            // --org 8|16
    ByteOrder,      // --byte-order big|little
};
inline constexpr std::size_t kSharedOptionCount = 12;

// What differs between the two programs.
struct SharedOptionContext {
    // What --simulate without a TYPE puts in the socket, for the help text.
    std::string simulateDefault;
    // Whether --simulate takes the main window's types only.
    bool windowTypesOnly = false;
};

// The default byte order of x16 images, in help texts.
inline constexpr const char* kByteOrderHelp =
    "How the two bytes of a x16 Microwire chip's words lie in image files: big (high byte "
    "first, as the chip shifts them; the default) or little (low byte first, as many saved "
    "dumps hold them)";

// The organisation and byte order of a Microwire row from the texts of
// --org and --byte-order (each empty when not given) and the name it was
// called by; other rows take neither. An empty text, or the usage error.
std::string chooseChipType(const ChipType& row, std::string_view name, const std::string& org,
                           const std::string& byteOrder, ChipType& chosen);

class SharedOptions {
public:
    // Adds the options of rows to app, in the table's order.
    SharedOptions(CLI::App& app, const SharedOptionContext& context,
                  std::initializer_list<SharedOption> rows);

    // After the parse: the text given for option, none when it was not
    // given; --simulate without a TYPE gives an empty text.
    std::optional<std::string> given(SharedOption option) const;

    // Puts what was given into options: the simulated chip's content file,
    // fault, write cycle and ORG pin (--org), the trace, the adapter and its clocks. An empty
    // text, or what is wrong. The simulated TYPE, the port and the delay are
    // each program's to resolve.
    std::string applyTo(PortOptions& options) const;

    // The type a chip named `name` (a row's caption or a maker's name for
    // it) is used as: a Microwire row with the organisation of --org (or of
    // the name's suffix, 93LC66A x8, 93LC66B x16) and the byte order of
    // --byte-order (default big, the chip's own); any other row as it is.
    // An empty text, or the usage error.
    std::string chooseType(const ChipType& row, std::string_view name, ChipType& chosen) const;

private:
    std::array<std::string, kSharedOptionCount> m_text;
    std::array<CLI::Option*, kSharedOptionCount> m_option{};
};

}  // namespace kavoda
