// SPDX-License-Identifier: MIT
// What every verb of kavoda-cli works with: the streams, the chosen device,
// the port and bus, the progress bar, and the errors that pick the exit code.
// Verbs are registered in groups through VerbTable (see Verbs.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Cli.h"
#include "ChipTable.h"
#include "DeviceCatalogue.h"
#include "DeviceOperations.h"
#include "PortSession.h"
#include "ProgressBar.h"

namespace CLI {
class App;
}

namespace kavoda {

class SpiChipBus;

// The command line was wrong: exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The chip did not answer, did not take the data or differs: exit code 1.
// The engine's ChipStop is one too.
class ChipError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Ctrl+C ended the verb at a byte boundary: exit code 130. The message says
// how far it got.
class Interrupted : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The options every verb shares, as given on the command line.
struct CommonOptions {
    std::string deviceName;     // empty: not given
    std::string portText;       // empty: from the settings file
    std::string delayText;      // empty: from the settings file
    bool simulate = false;
    std::string simulateName;   // empty: the -d type
    bool quiet = false;
    bool bytewise = false;
    int chipAddress = 0;
    bool unprotect = false;     // clear an SPI chip's block-protect bits
    std::string organisation;   // --org: 8, 16; empty: not given
    std::string byteOrder;      // --byte-order: big, little; empty: not given
    PortOptions portOptions;
};

std::string hexText(long value, int digits);

class Tool {
public:
    Tool(const CliEnvironment& environment, const CommonOptions& options);
    ~Tool();
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    std::istream& in() const { return *m_in; }
    std::ostream& out() const { return *m_out; }
    std::ostream& err() const { return *m_err; }
    // One line on standard error, ending the progress bar's line first.
    void warn(const std::string& text);

    // The type of -d; without -d, fallback, or a UsageError when there is none.
    // A Microwire type with its organisation and byte order.
    const ChipType& device(const char* fallback = nullptr);
    // The type as reports name it: a Microwire type with its organisation
    // and byte order, a flash known by its SFDP table with what it said.
    std::string chipName();
    // For the verbs that look at a Microwire chip without reading its
    // content as an image (probe): its organisation may be left open.
    void allowOpenOrganisation() { m_organisationMayBeOpen = true; }
    // Neither --org nor the type's name gave the organisation.
    bool organisationOpen() const { return m_organisationOpen; }
    // -d names a type (not auto).
    bool deviceGiven() const
    {
        return !m_options.deviceName.empty() && m_options.deviceName != "auto";
    }
    // Checks port, delay and simulation options and sets the device state.
    // Every verb calls it before touching a file or the chip, so that a
    // wrong command line never costs anything. -d auto is a usage error here.
    void prepare(const char* fallbackDevice = nullptr);
    // prepare() for the verbs that only read (read, verify, dump, get):
    // -d auto identifies the chip on the bus and takes its type when the
    // identification is certain, and says so; a ChipError otherwise.
    void prepareReading(const char* fallbackDevice = nullptr);
    // prepare() for the verbs that look at the bus itself (scan, identify):
    // any -d, or none, or auto; the type only names the chip to simulate.
    void prepareForBus();

    // The bus for the chip, its port opened on first use.
    DeviceBus& bus();
    // The bus of an SPI chip; a ChipError when the adapter carries none.
    SpiChipBus& spiBus();
    // The chip of -d on the bus, shown by the progress bar.
    ChipJob job();
    // Whether path is a file the session itself writes (the simulated chip's
    // content file, the trace).
    bool sessionUsesFile(const std::string& path);
    // The port session of the run, made after prepare().
    PortSession& session();
    // Where Kavoda.INI and the calibration are read.
    std::string settingsFolder() const;

    ProgressBar& progress() { return m_progress; }
    OperationDisplay& display();
    // Pump, then the interrupt flag.
    bool stopRequested();

    // Bytes [start, start + length) of the chip (default: all of it), shown
    // as operation. Ctrl+C throws Interrupted saying how far it got,
    // followed by stoppedNote; a chip that does not answer throws ChipStop.
    std::vector<std::uint8_t> readChip(const std::string& operation,
                                       const std::string& stoppedNote, std::uint32_t start = 0,
                                       std::optional<std::uint32_t> length = std::nullopt);

private:
    class Display;
    // The options that mean nothing to a Microwire chip, as usage errors.
    void refuseForMicrowire(const ChipType& chip) const;

    std::istream* m_in;
    std::ostream* m_out;
    std::ostream* m_err;
    const CliEnvironment& m_environment;
    CommonOptions m_options;
    ProgressBar m_progress;
    std::unique_ptr<Display> m_display;
    std::unique_ptr<PortSession> m_session;
    std::unique_ptr<DeviceBus> m_bus;
    const ChipType* m_device = nullptr;
    ChipType m_chosen{};         // a Microwire type as -d, --org, --byte-order make it
    bool m_organisationMayBeOpen = false;
    bool m_organisationOpen = false;
    bool m_autoAllowed = false;  // -d auto may be given
    bool m_auto = false;         // it was, and the type is yet to be found
};

// A verb's work once the command line is parsed; returns the exit code.
using VerbRun = std::function<int(Tool&)>;

// The verbs of the tool, each a subcommand of the command line.
class VerbTable {
public:
    explicit VerbTable(CLI::App& app) : m_app(app) {}

    // Adds a verb; its own arguments go on the returned subcommand.
    CLI::App* add(const std::string& name, const std::string& description, VerbRun run);

    // The verb the command line chose, after parsing.
    const VerbRun* chosen() const;

private:
    CLI::App& m_app;
    std::vector<std::pair<CLI::App*, VerbRun>> m_verbs;
};

// A number argument of a verb: decimal or 0x-hex, at most max.
long numberArgument(const std::string& what, const std::string& text, long max);

}  // namespace kavoda
