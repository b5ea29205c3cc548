// SPDX-License-Identifier: MIT
// kavoda-cli: the command line, the verb table and the exit codes.
#include "Cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <iostream>
#include <ostream>
#include <vector>

#include "Adapter.h"
#include "DeviceCatalogue.h"
#include "ChipTable.h"
#include "ImageFiles.h"
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
    addIdentifyVerbs,
    addCalibrateVerb,
};

int fail(std::ostream& err, const std::string& text, int code)
{
    err << "kavoda-cli: " << text << '\n';
    return code;
}

constexpr const char* kHelpHint = "; run kavoda-cli --help for the verbs and options";
constexpr const char* kEmptyValue = "the value is empty; leave the option out for its default";

bool takesValue(const CLI::Option& option)
{
    return !option.get_positional() && option.get_expected_min() > 0;
}

// An option given an empty value would read as not given at all (-d '' as
// no type, --port '' as the settings file's port): refused instead, for
// every option that takes a value, the verbs' own included.
void refuseEmptyValues(CLI::App& app)
{
    const CLI::Validator nonEmpty(
        [](std::string& value) { return value.empty() ? std::string(kEmptyValue) : std::string(); },
        "");
    for (CLI::Option* option : app.get_options()) {
        if (takesValue(*option))
            option->check(nonEmpty);
    }
    for (CLI::App* verb : app.get_subcommands([](const CLI::App*) { return true; }))
        refuseEmptyValues(*verb);
}

// "--delay=" (as "--delay=$DELAY" gives with an empty variable): the parser
// would take the next word for the value. The option's name, if it is one.
std::optional<std::string> emptyAssignment(const CLI::App& app, int argc,
                                           const char* const* argv)
{
    std::vector<const CLI::App*> scopes = {&app};
    for (const CLI::App* verb : app.get_subcommands([](const CLI::App*) { return true; }))
        scopes.push_back(verb);
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--")
            break;
        if (word.size() < 4 || word.compare(0, 2, "--") != 0 || word.back() != '=')
            continue;
        const std::string name = word.substr(0, word.size() - 1);
        for (const CLI::App* scope : scopes) {
            const CLI::Option* option = scope->get_option_no_throw(name);
            if (option && takesValue(*option))
                return name;
        }
    }
    return std::nullopt;
}

// Edits between two words, a swap of neighbours counting as one ("raed").
std::size_t editDistance(const std::string& a, const std::string& b)
{
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// Why a command line chose no verb: the first word the parser did not know,
// and for a word where the verb goes, the registered verb it most likely meant.
std::string noVerbText(const CLI::App& app)
{
    const std::vector<std::string> left = app.remaining();
    if (left.empty())
        return "no verb; run kavoda-cli --help for the verbs";
    const std::string& word = left.front();
    if (word.size() > 1 && word[0] == '-')
        return "unknown option '" + word + "'" + kHelpHint;
    std::string lower = word;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string best;
    std::size_t bestDistance = 3;  // more edits than two is another word
    for (const CLI::App* verb : app.get_subcommands([](const CLI::App*) { return true; })) {
        const std::size_t distance = editDistance(lower, verb->get_name());
        if (distance < bestDistance && distance < verb->get_name().size()) {
            best = verb->get_name();
            bestDistance = distance;
        }
    }
    const std::string head = "no verb '" + word + "'; ";
    return best.empty() ? head + "run kavoda-cli --help for the verbs"
                        : head + "did you mean '" + best + "'?";
}

// What a verb printed must have reached standard output: a full disk or a
// closed pipe would otherwise pass for success.
void checkOutput(std::ostream& out)
{
    out.flush();
    if (!out)
        throw FileError("Cannot write to standard output");
}

int printListing(const CLI::App& app, const CLI::Option* listOption, const std::string& what,
                 std::ostream& out, std::ostream& err)
{
    if (what == "options") {
        listOptions(app, out, listOption);
    } else if (what == "devices") {
        // A name and its family, tab-separated: completion and the manual
        // page take the first fields. A Microwire row adds its size and the
        // address bits of its commands, by which probe tells it.
        for (const ChipType& chip : kChipTable) {
            out << chip.caption << '\t' << familyName(chip.family);
            if (chip.isMicrowire())
                out << '\t' << chip.size << " bytes\t" << int{chip.microwire.addressBits8}
                    << " address bits x8, " << int{chip.microwire.addressBits16} << " x16";
            out << '\n';
        }
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

    CLI::App app("Reads and writes serial EEPROMs (24C01..24M02, SDA3526..SDA3586, 25xx, "
                 "93C46..93C86) and SPI flash through a parallel-port adapter, a CH341A or a "
                 "Linux I2C or SPI bus (i2c-dev, spidev).\n"
                 "Exit codes: 0 done, 1 the chip, port or a file failed, 2 the command line "
                 "was wrong, 130 interrupted.",
                 "kavoda-cli");
    app.get_formatter()->label("SUBCOMMAND", "VERB");
    CommonOptions options;
    app.add_option("-d,--device", options.deviceName,
                   "Device type, e.g. 24C16, 24C64, SDA3546 or 93C66 (with --org; makers' "
                   "names such as 93LC66B are taken too; known types: " + chipCaptions() +
                       "), or auto for read, verify, dump and get: the type that identify "
                       "finds, when it is certain")
        ->type_name("TYPE");
    app.add_option("--chip-address", options.chipAddress,
                   "The chip's A2..A0 pin levels, 0 to 7 (default 0), for a second EEPROM on "
                   "the bus; only for types whose pins carry no block bits")
        ->check(CLI::Range(0, 7))
        ->type_name("N");
    app.add_flag("--unprotect", options.unprotect,
                 "Clear an SPI chip's block-protect bits before writing or erasing it; without "
                 "it such a chip is refused");
    app.add_flag("--bytewise", options.bytewise,
                 "One byte per bus transaction (random reads, byte writes) instead of "
                 "sequential reads and page writes");
    SharedOptionContext context;
    context.simulateDefault = "the --device type";
    const SharedOptions shared(app, context,
                               {SharedOption::Port, SharedOption::Delay, SharedOption::Simulate,
                                SharedOption::SimImage, SharedOption::SimFault,
                                SharedOption::SimWriteCycle, SharedOption::Trace,
                                SharedOption::Adapter, SharedOption::I2cSpeed,
                                SharedOption::SpiSpeed, SharedOption::Org,
                                SharedOption::ByteOrder});
    app.add_flag("-q,--quiet", options.quiet, "No progress bar");
    CLI::Option* listOption = addVersionAndListing(app, "kavoda-cli");

    VerbTable verbs(app);
    for (const auto addGroup : kVerbGroups)
        addGroup(verbs);
    app.require_subcommand(1);
    refuseEmptyValues(app);
    if (const auto name = emptyAssignment(app, argc, argv))
        return fail(err, *name + ": " + kEmptyValue + kHelpHint, kExitUsage);

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
        if (app.get_subcommands().empty() && e.get_name() == "RequiredError")
            return fail(err, noVerbText(app), kExitUsage);
        err << "kavoda-cli: " << e.what() << kHelpHint << '\n';
        return kExitUsage;
    }
    const std::optional<std::string> simulate = shared.given(SharedOption::Simulate);
    options.simulate = simulate.has_value();
    options.simulateName = simulate.value_or("");
    options.portText = shared.given(SharedOption::Port).value_or("");
    options.delayText = shared.given(SharedOption::Delay).value_or("");
    options.organisation = shared.given(SharedOption::Org).value_or("");
    options.byteOrder = shared.given(SharedOption::ByteOrder).value_or("");
    const std::string error = shared.applyTo(options.portOptions);
    if (!error.empty())
        return fail(err, error, kExitUsage);

    const VerbRun* run = verbs.chosen();
    if (!run)
        return fail(err, "no verb; run kavoda-cli --help for the verbs", kExitUsage);

    try {
        Tool tool(environment, options);
        try {
            const int code = (*run)(tool);
            checkOutput(out);
            return code;
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
