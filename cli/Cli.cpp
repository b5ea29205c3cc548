// SPDX-License-Identifier: MIT
// kavoda-cli: the command line, the verb table and the exit codes.
#include "Cli.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <iostream>
#include <ostream>

#include "Adapter.h"
#include "DeviceCatalogue.h"
#include "ChipTable.h"
#include "Interrupt.h"
#include "OptionListing.h"
#include "SharedOptions.h"
#include "Tool.h"
#include "Verbs.h"

namespace kavoda {

namespace {

// The verb groups, in the order --help lists them.
constexpr void (*kVerbGroups[])(VerbTable&) = {
    addByteVerbs,
    addChipVerbs,
    addInspectVerbs,
    addCompareVerbs,
    addCalibrateVerb,
};

int fail(std::ostream& err, const std::string& text, int code)
{
    err << "kavoda-cli: " << text << '\n';
    return code;
}


int printListing(const CLI::App& app, const CLI::Option* listOption, const std::string& what,
                 std::ostream& out, std::ostream& err)
{
    if (what == "options") {
        listOptions(app, out, listOption);
    } else if (what == "devices") {
        for (const ChipType& chip : kChipTable)
            out << chip.caption << '\n';
    } else if (what == "adapters") {
        for (const AdapterType& type : kAdapterTable)
            out << adapterText(AdapterChoice{type.kind, {}, kDefaultI2cSpeed}) << '\n';
    } else {
        return fail(err, "--list takes options, devices or adapters", kExitUsage);
    }
    return kExitOk;
}

}  // namespace

std::optional<long> parseCliNumber(std::string_view text, long max)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    long value = 0;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        int digit = 0;
        if (std::isdigit(u))
            digit = c - '0';
        else if (base == 16 && std::isxdigit(u))
            digit = std::toupper(u) - 'A' + 10;
        else
            return std::nullopt;
        // Checked before computing: past the limit it could overflow a long.
        if (digit > max || value > (max - digit) / base)
            return std::nullopt;
        value = value * base + digit;
    }
    return value;
}

int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    CliEnvironment environment;
    environment.out = &out;
    environment.err = &err;
    return runCli(argc, argv, environment);
}

int runCli(int argc, const char* const* argv, const CliEnvironment& environment)
{
    std::ostream& out = environment.out ? *environment.out : std::cout;
    std::ostream& err = environment.err ? *environment.err : std::cerr;

    CLI::App app("Reads and writes serial EEPROMs (24C01..24M02, SDA3526..SDA3586) "
                 "through a parallel-port adapter, a CH341A or a kernel I2C bus.\n"
                 "Exit codes: 0 done, 1 the chip, port or a file failed, 2 the command line "
                 "was wrong, 130 interrupted.",
                 "kavoda-cli");
    app.get_formatter()->label("SUBCOMMAND", "VERB");
    CommonOptions options;
    app.add_option("-d,--device", options.deviceName,
                   "Device type, e.g. 24C16, 24C64 or SDA3546 (known types: " + chipCaptions() +
                       ")")
        ->type_name("TYPE");
    app.add_option("--chip-address", options.chipAddress,
                   "The chip's A2..A0 pin levels, 0 to 7 (default 0), for a second EEPROM on "
                   "the bus; only for types whose pins carry no block bits")
        ->check(CLI::Range(0, 7))
        ->type_name("N");
    app.add_flag("--bytewise", options.bytewise,
                 "One byte per bus transaction (random reads, byte writes) instead of "
                 "sequential reads and page writes");
    SharedOptionContext context;
    context.simulateDefault = "the --device type";
    const SharedOptions shared(app, context,
                               {SharedOption::Port, SharedOption::Delay, SharedOption::Simulate,
                                SharedOption::SimImage, SharedOption::SimFault,
                                SharedOption::SimWriteCycle, SharedOption::Trace,
                                SharedOption::Adapter, SharedOption::I2cSpeed});
    app.add_flag("-q,--quiet", options.quiet, "No progress bar");
    CLI::Option* listOption = addVersionAndListing(app, "kavoda-cli");

    VerbTable verbs(app);
    for (const auto addGroup : kVerbGroups)
        addGroup(verbs);
    app.require_subcommand(1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitOk;
    } catch (const CLI::CallForVersion&) {
        out << app.version() << '\n';
        return kExitOk;
    } catch (const ListingRequest& request) {
        return printListing(app, listOption, request.what, out, err);
    } catch (const CLI::ParseError& e) {
        err << "kavoda-cli: " << e.what() << "; run kavoda-cli --help for the verbs and options\n";
        return kExitUsage;
    }
    const std::optional<std::string> simulate = shared.given(SharedOption::Simulate);
    options.simulate = simulate.has_value();
    options.simulateName = simulate.value_or("");
    options.portText = shared.given(SharedOption::Port).value_or("");
    options.delayText = shared.given(SharedOption::Delay).value_or("");
    const std::string error = shared.applyTo(options.portOptions);
    if (!error.empty())
        return fail(err, error, kExitUsage);

    const VerbRun* run = verbs.chosen();
    if (!run)
        return fail(err, "no verb; run kavoda-cli --help for the verbs", kExitUsage);

    try {
        Tool tool(environment, options);
        try {
            return (*run)(tool);
        } catch (...) {
            // The message goes on a line of its own, after the bar's.
            tool.progress().end();
            throw;
        }
    } catch (const UsageError& e) {
        return fail(err, e.what(), kExitUsage);
    } catch (const Interrupted& e) {
        return fail(err, e.what(), kExitInterrupted);
    } catch (const std::exception& e) {
        // Ctrl+C inside a blocking call (reading standard input, waiting for
        // the port) ends that call with an error; it is still an interrupt.
        if (interruptRequested())
            return fail(err, std::string("Interrupted: ") + e.what(), kExitInterrupted);
        return fail(err, e.what(), kExitHardware);
    }
}

}  // namespace kavoda
