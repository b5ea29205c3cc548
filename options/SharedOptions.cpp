// SPDX-License-Identifier: MIT
#include "SharedOptions.h"

#include "Adapter.h"
#include "ChipTable.h"
#include "PortSession.h"
#include "SimulatedChip.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>
#include <vector>

namespace kavoda {

namespace {

using Context = SharedOptionContext;

std::optional<int> wholeNumber(const std::string& text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// An empty path would quietly mean "no file" (a chip in memory, no trace).
CLI::Validator nonEmptyPath(const Context&)
{
    return CLI::Validator(
        [](std::string& path) { return path.empty() ? "an empty path names no file" : ""; }, "");
}

// The fault names as the simulated chip knows them: "empty, busy, ...".
std::vector<std::string> faultNames()
{
    std::vector<std::string> names;
    const std::string_view all = kChipFaultNames;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find(',', start);
        if (end == std::string_view::npos)
            end = all.size();
        names.emplace_back(all.substr(start, end - start));
        start = all.find_first_not_of(' ', end + 1);
        if (start == std::string_view::npos)
            break;
    }
    return names;
}

// "20, 100, 400 or 750" as "20,100,400,750".
std::string listedSet(std::string text)
{
    for (const std::string_view separator : {", ", " or "}) {
        for (std::size_t at = text.find(separator); at != std::string::npos;
             at = text.find(separator, at + 1))
            text.replace(at, separator.size(), ",");
    }
    return text;
}

struct Row {
    SharedOption id;
    const char* name;
    const char* argument;  // as --help shows it; "[TYPE]": the value may be left out
    std::string (*help)(const Context&);
    CLI::Validator (*check)(const Context&);  // nullptr: checked after the parse
    bool needsSimulate;
};

const Row kTable[] = {
    {SharedOption::Simulate, "--simulate", "[TYPE]",
     [](const Context& context) {
         return "Run on the simulated adapter with a chip of TYPE in the socket (" +
                chipCaptions(context.windowTypesOnly) + "; default: " + context.simulateDefault +
                ")";
     },
     [](const Context& context) {
         const bool windowOnly = context.windowTypesOnly;
         return CLI::Validator(
             [windowOnly](std::string& type) -> std::string {
                 const ChipType* chip = type.empty() ? nullptr : findChip(type);
                 if (type.empty() || (chip && (chip->inWindow() || !windowOnly)))
                     return {};
                 return "unknown device type '" + type + "'; known types: " +
                        chipCaptions(windowOnly);
             },
             "");
     },
     false},
    {SharedOption::SimImage, "--sim-image", "FILE",
     [](const Context&) {
         return std::string("Keep the simulated chip's content in FILE between runs");
     },
     nonEmptyPath, true},
    {SharedOption::SimFault, "--sim-fault", "FAULT",
     [](const Context&) {
         return std::string("Give the simulated chip a fault: empty (no chip in the socket), busy "
                            "(a write cycle that never ends), readonly (writes do not stick), "
                            "protected (its WP pin high: data bytes are refused); or, to try "
                            "identify on, pinless (answers at every level of its address pins), "
                            "uniform (every byte 00, without --sim-image) or neighbour (a device "
                            "that is no EEPROM answers at 0x52)");
     },
     [](const Context&) { return CLI::Validator(CLI::IsMember(faultNames())); }, true},
    {SharedOption::SimWriteCycle, "--sim-write-cycle", "MS",
     [](const Context&) {
         return std::string(
             "The simulated chip's write cycle in milliseconds (default: the datasheet's 10)");
     },
     [](const Context&) { return CLI::Validator(CLI::Range(0u, 60000u)); }, true},
    {SharedOption::Trace, "--trace", "FILE.vcd",
     [](const Context&) { return std::string("Record the bus lines as a VCD file"); },
     nonEmptyPath, false},
    {SharedOption::Adapter, "--adapter", "ADAPTER",
     [](const Context&) {
         return std::string("The adapter: ") + kAdapterChoices +
                " (default: Kavoda.INI's [Adapter], else parport)";
     },
     nullptr, false},
    {SharedOption::I2cSpeed, "--i2c-speed", "KHZ",
     [](const Context&) {
         return "The CH341A's I2C clock in kHz: " + i2cSpeedChoices() + " (default 100)";
     },
     [](const Context&) {
         // The set in the value's name, "KHZ:{20,100,400,750}", for the
         // completion; the speed itself is checked with the adapter.
         return CLI::Validator(
             [](std::string& khz) -> std::string {
                 return wholeNumber(khz) ? "" : "'" + khz + "' is no number of kHz";
             },
             "{" + listedSet(i2cSpeedChoices()) + "}");
     },
     false},
    {SharedOption::SpiSpeed, "--spi-speed", "KHZ",
     [](const Context&) {
         return "A spidev device's SPI clock in kHz, " + std::to_string(kMinSpiSpeedKhz) +
                " to " + std::to_string(kMaxSpiSpeedKhz) + " (default " +
                std::to_string(kDefaultSpiSpeedKhz) + ")";
     },
     [](const Context&) {
         return CLI::Validator(
             [](std::string& khz) -> std::string {
                 return wholeNumber(khz) ? "" : "'" + khz + "' is no number of kHz";
             },
             "");
     },
     false},
    {SharedOption::Port, "--port", "PORT",
     [](const Context&) {
         return std::string("Port base 0x278, 0x378 or 0x3BC, or a /dev/parportN (default: the "
                            "Setup dialog's choice in Kavoda.INI)");
     },
     nullptr, false},
    {SharedOption::Delay, "--delay", "N",
     [](const Context&) {
         return std::string("Bus delay, the Delay setting (default: Kavoda.INI's, else 10)");
     },
     nullptr, false},
    {SharedOption::Org, "--org", "8|16",
     [](const Context&) {
         return std::string("A 93Cxx Microwire chip's organisation, as its ORG pin is wired: 8 "
                            "(ORG to ground) or 16 (ORG to VCC or open); required for those "
                            "chips unless the name says it (93LC66A is x8, 93LC66B x16)");
     },
     [](const Context&) { return CLI::Validator(CLI::IsMember({"8", "16"})); }, false},
    {SharedOption::ByteOrder, "--byte-order", "big|little",
     [](const Context&) { return std::string(kByteOrderHelp); },
     [](const Context&) { return CLI::Validator(CLI::IsMember({"big", "little"})); }, false},
};
static_assert(std::size(kTable) == kSharedOptionCount, "one row per shared option");

std::size_t indexOf(SharedOption option)
{
    return static_cast<std::size_t>(option);
}

}  // namespace

SharedOptions::SharedOptions(CLI::App& app, const SharedOptionContext& context,
                             std::initializer_list<SharedOption> rows)
{
    CLI::Option* simulate = nullptr;
    for (const Row& row : kTable) {
        if (std::find(rows.begin(), rows.end(), row.id) == rows.end())
            continue;
        const std::size_t i = indexOf(row.id);
        CLI::Option* option =
            app.add_option(row.name, m_text[i], row.help(context))->type_name(row.argument);
        if (row.argument[0] == '[')
            option->expected(0, 1);
        if (row.check)
            option->check(row.check(context));
        if (row.needsSimulate && simulate)
            option->needs(simulate);
        if (row.id == SharedOption::Simulate)
            simulate = option;
        m_option[i] = option;
    }
}

std::optional<std::string> SharedOptions::given(SharedOption option) const
{
    const std::size_t i = indexOf(option);
    if (!m_option[i] || m_option[i]->count() == 0)
        return std::nullopt;
    return m_text[i];
}

std::string SharedOptions::applyTo(PortOptions& options) const
{
    if (const auto image = given(SharedOption::SimImage))
        options.simImagePath = *image;
    if (const auto trace = given(SharedOption::Trace))
        options.tracePath = *trace;
    if (const auto fault = given(SharedOption::SimFault))
        options.simFault = chipFaultNamed(*fault).value_or(ChipFault::None);
    if (const auto cycle = given(SharedOption::SimWriteCycle))
        options.simWriteCycleNs =
            static_cast<std::uint64_t>(wholeNumber(*cycle).value_or(0)) * 1'000'000u;
    if (const auto org = given(SharedOption::Org))
        options.simOrganisation = wholeNumber(*org).value_or(0);
    const auto khz = given(SharedOption::I2cSpeed);
    const auto spiKhz = given(SharedOption::SpiSpeed);
    return applyAdapterOptions(options, given(SharedOption::Adapter),
                               khz ? wholeNumber(*khz) : std::nullopt,
                               spiKhz ? wholeNumber(*spiKhz) : std::nullopt);
}

std::string SharedOptions::chooseType(const ChipType& row, std::string_view name,
                                      ChipType& chosen) const
{
    return chooseChipType(row, name, given(SharedOption::Org).value_or(""),
                          given(SharedOption::ByteOrder).value_or(""), chosen);
}

std::string chooseChipType(const ChipType& row, std::string_view name, const std::string& org,
                           const std::string& byteOrder, ChipType& chosen)
{
    const std::string caption(row.caption);
    if (!row.isMicrowire()) {
        if (!org.empty())
            return "--org sets the organisation of a 93Cxx Microwire chip; the " + caption +
                   " has none";
        if (!byteOrder.empty())
            return "--byte-order orders the bytes of a x16 93Cxx chip's words; the " + caption +
                   " has none";
        chosen = row;
        return {};
    }
    const int named = organisationOfName(name);
    int organisation = org.empty() ? named : wholeNumber(org).value_or(0);
    if (organisation != 8 && organisation != 16)
        return "the " + caption + " is organised by its ORG pin, which the program cannot see: "
               "give --org 8 (ORG to ground) or --org 16 (ORG to VCC or open)";
    if (named != 0 && named != organisation)
        return "--org " + org + ": the " + std::string(name) + " is x" + std::to_string(named) +
               " only";
    if (byteOrder != "" && byteOrder != "big" && byteOrder != "little")
        return "--byte-order " + byteOrder + " is neither big nor little";
    chosen = withOrganisation(row, organisation,
                              byteOrder == "little" ? ByteOrder::Little : ByteOrder::Big);
    return {};
}

}  // namespace kavoda
