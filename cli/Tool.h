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
#include "DeviceCatalogue.h"
#include "DeviceOperations.h"
#include "PortSession.h"
#include "ProgressBar.h"

namespace CLI {
class App;
}

namespace kavoda {

// The command line was wrong: exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The chip did not answer or did not take the data: exit code 1.
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
    std::string simFault;
    std::optional<unsigned> simWriteCycleMs;
    bool quiet = false;
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
    const CatalogueEntry& device(const char* fallback = nullptr);
    // Checks port, delay and simulation options and sets the device state.
    // Every verb calls it before touching a file or the chip, so that a
    // wrong command line never costs anything.
    void prepare(const char* fallbackDevice = nullptr);

    // The bus for the chip, its port opened on first use.
    DeviceBus& bus();
    // Whether path is a file the session itself writes (the simulated chip's
    // content file, the trace).
    bool sessionUsesFile(const std::string& path);
    // The port session of the run, made after prepare().
    PortSession& session();
    // Where Kavoda.INI and the calibration are read.
    std::string settingsFolder() const;
    Family family() const { return familyOf(DeviceType); }

    ProgressBar& progress() { return m_progress; }
    OperationDisplay& display();
    // Once per byte: pump, then the interrupt flag.
    bool stopRequested();
    // Starts the bar for one pass of total bytes and counts the bytes the
    // engine's loop reports from then on.
    void beginPass(const std::string& operation, long total);
    long passDone() const;
    void endPass();

    // The whole chip through the engine's read loop, shown as operation.
    // Ctrl+C throws Interrupted saying how far it got, followed by
    // stoppedNote; a chip that did not answer throws ChipError.
    std::vector<std::uint8_t> readChip(const std::string& operation,
                                       const std::string& stoppedNote);

    // Throws ChipError with the acknowledge report when the record since the
    // last clearAcks is not clean; where names the address when known.
    void checkAcks(const std::string& where = std::string());

private:
    class Display;

    std::istream* m_in;
    std::ostream* m_out;
    std::ostream* m_err;
    const CliEnvironment& m_environment;
    CommonOptions m_options;
    ProgressBar m_progress;
    std::unique_ptr<Display> m_display;
    std::unique_ptr<PortSession> m_session;
    std::unique_ptr<DeviceBus> m_bus;
    const CatalogueEntry* m_device = nullptr;
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
