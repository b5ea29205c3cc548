// SPDX-License-Identifier: MIT
// Command-line parsing with CLI11.
#include "Options.h"

#include "DeviceCatalogue.h"
#include "Settings.h"

#include <CLI/CLI.hpp>

#include <sstream>
#include <vector>

namespace kavoda {

namespace {
constexpr int kUsageError = 2;

// An empty path would quietly mean "no file" (a chip in memory, no trace).
std::string nonEmptyPath(const std::string& path)
{
    return path.empty() ? "an empty path names no file" : "";
}
} // namespace

ParsedOptions parseOptions(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    ParsedOptions result;
    CLI::App app{"Kavoda: programmer for 24C and SDA serial EEPROMs on the parallel port.",
                 "kavoda"};
    std::string simulate;
    auto* simOpt = app.add_option("--simulate", simulate,
                                  "Run on a simulated adapter with a chip of TYPE in the socket ("
                                      + catalogueCaptions() + "; default " + kDefaultSimulatedType + ")")
                       ->expected(0, 1)
                       ->type_name("[=TYPE]");
    app.add_option("--sim-image", result.options.simImagePath,
                   "Keep the simulated chip's content in FILE between runs")
        ->type_name("FILE")
        ->needs(simOpt)
        ->check(nonEmptyPath);
    std::string simFault;
    app.add_option("--sim-fault", simFault,
                   "Give the simulated chip a fault: empty (no chip in the socket), busy (a write "
                   "cycle that never ends) or readonly (writes do not stick)")
        ->check(CLI::IsMember({"empty", "busy", "readonly"}))
        ->type_name("FAULT")
        ->needs(simOpt);
    unsigned writeCycleMs = 0;
    auto* cycleOpt = app.add_option("--sim-write-cycle", writeCycleMs,
                                    "The simulated chip's write cycle in milliseconds (default: "
                                    "the datasheet's 10)")
                         ->check(CLI::Range(0u, 60000u))
                         ->type_name("MS")
                         ->needs(simOpt);
    app.add_option("--trace", result.options.tracePath,
                   "Record the bus lines as a VCD file")
        ->type_name("FILE.vcd")
        ->check(nonEmptyPath);
    app.set_version_flag("--version", "kavoda " + kProgramVersion.toStdString());

    // CLI11 takes the arguments after the program name, in reverse order.
    std::vector<std::string> args;
    for (int i = argc - 1; i >= 1; --i)
        args.emplace_back(argv[i]);
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        result.run = false;
        return result;
    } catch (const CLI::CallForVersion&) {
        out << app.version() << '\n';
        result.run = false;
        return result;
    } catch (const CLI::ParseError& e) {
        err << "kavoda: " << e.what() << "\nRun with --help for more information.\n";
        result.run = false;
        result.exitCode = kUsageError;
        return result;
    }

    if (simOpt->count() > 0) {
        const std::string type = simulate.empty() ? kDefaultSimulatedType : simulate;
        const CatalogueEntry* entry = findDevice(type);
        if (!entry) {
            err << "kavoda: unknown device type '" << type << "' for --simulate; choose one of "
                << catalogueCaptions() << ".\n";
            result.run = false;
            result.exitCode = kUsageError;
            return result;
        }
        result.options.simulateType = entry->deviceType;
        if (!simFault.empty())
            result.options.simFault = chipFaultNamed(simFault).value_or(ChipFault::None);
        if (cycleOpt->count() > 0)
            result.options.simWriteCycleNs = std::uint64_t{writeCycleMs} * 1'000'000u;
    }
    return result;
}

QString simulationMarker(const PortOptions& options)
{
    if (!options.simulateType)
        return {};
    const CatalogueEntry* entry = findDeviceByType(*options.simulateType);
    const QString name = entry ? QString::fromLatin1(entry->caption.data(),
                                                     static_cast<int>(entry->caption.size()))
                               : QString::number(*options.simulateType);
    return QStringLiteral(" [simulated %1]").arg(name);
}

} // namespace kavoda
