// SPDX-License-Identifier: MIT
// Command-line parsing with CLI11.
#include "Options.h"

#include "Adapter.h"
#include "DeviceCatalogue.h"
#include "FileIdentity.h"
#include "OptionListing.h"
#include "SharedOptions.h"
#include "WorkingImage.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace kavoda {

namespace {
constexpr int kUsageError = 2;


// Qt's own command-line options: QGuiApplication's, QApplication's and the
// X11 platform's. Qt reads each with one dash or two.
struct QtOption {
    const char* name;
    bool takesValue;  // the next argument is its value
    bool takesAssign; // "-name=value" is read too
};
constexpr QtOption kQtOptions[] = {
    {"platform", true, false},        {"platformpluginpath", true, false},
    {"platformtheme", true, false},   {"plugin", true, false},
    {"qwindowgeometry", true, false}, {"qwindowicon", true, false},
    {"qwindowtitle", true, false},    {"session", true, false},
    {"display", true, false},         {"geometry", true, false},
    {"title", true, false},           {"icon", true, false},
    {"name", true, false},            {"visual", true, false},
    {"style", true, true},            {"stylesheet", true, true},
    {"qmljsdebugger", false, true},   {"reverse", false, false},
    {"widgetcount", false, false},    {"nograb", false, false},
    {"dograb", false, false},         {"testability", false, false},
};

std::string systemError(int error)
{
    return std::strerror(error);
}

// Whether a file could be made in the folder the path names.
std::string folderProblem(const std::filesystem::path& path)
{
    namespace fs = std::filesystem;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::error_code ec;
    if (!fs::exists(folder, ec))
        return "the folder " + folder.string() + " does not exist";
    if (!fs::is_directory(folder, ec))
        return folder.string() + " is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "no file can be made in " + folder.string() + ": " + systemError(errno);
    return {};
}

// What keeps the path from naming a file: it cannot be looked at, it is a
// folder, or it does not exist and no file can be made there. Empty when
// the file exists (status tells what it is) or can be made.
std::string pathProblem(const std::filesystem::path& path, std::filesystem::file_status& status)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    status = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
        return ec.message();
    if (!fs::exists(status))
        return folderProblem(path);
    if (fs::is_directory(status))
        return "it is a folder, not a file";
    return {};
}

std::string openProblem(const std::string& file, int flags)
{
    const int fd = ::open(file.c_str(), flags);
    if (fd < 0)
        return systemError(errno);
    ::close(fd);
    return {};
}

std::string contentFileProblem(const std::string& file, std::uint8_t deviceType)
{
    namespace fs = std::filesystem;
    const fs::path path(file);
    fs::file_status status;
    if (std::string problem = pathProblem(path, status); !problem.empty() || !fs::exists(status))
        return problem;
    if (!fs::is_regular_file(status))
        return "it is not a regular file";
    const CatalogueEntry* entry = findChipByCode(deviceType);
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec)
        return ec.message();
    if (entry && size != static_cast<std::uintmax_t>(entry->sizeBytes()))
        return "it holds " + std::to_string(size) + " bytes, but a " + std::string(entry->caption)
            + " holds " + std::to_string(entry->sizeBytes()) + "; choose another file for this type";
    return openProblem(file, O_RDONLY);
}

std::string traceFileProblem(const std::string& file)
{
    namespace fs = std::filesystem;
    fs::file_status status;
    if (std::string problem = pathProblem(file, status); !problem.empty() || !fs::exists(status))
        return problem;
    // Opened for writing without truncating: the trace itself starts it anew.
    return openProblem(file, O_WRONLY | O_NONBLOCK);
}
} // namespace

bool isQtOption(const std::string& arg, int* valueCount, bool* isStyle)
{
    *valueCount = 0;
    if (isStyle)
        *isStyle = false;
    if (arg.size() < 2 || arg[0] != '-')
        return false;
    std::string name = arg.substr(arg.compare(0, 2, "--") == 0 ? 2 : 1);
    bool assigned = false;
    const std::size_t eq = name.find('=');
    if (eq != std::string::npos) {
        name.resize(eq);
        assigned = true;
    }
    for (const QtOption& option : kQtOptions) {
        if (name != option.name)
            continue;
        if (assigned ? !option.takesAssign : !option.takesValue && option.takesAssign)
            return false;
        *valueCount = !assigned && option.takesValue ? 1 : 0;
        if (isStyle)
            *isStyle = name == "style";
        return true;
    }
    return false;
}

int checkStartFiles(const PortOptions& options, std::ostream& err)
{
    // Read Device and Load replace the working file in the start-up folder;
    // the chip's content or the trace in its place would be lost with it.
    const std::pair<const std::string*, const char*> files[] = {
        {options.simulateType ? &options.simImagePath : nullptr, "--sim-image"},
        {&options.tracePath, "--trace"}};
    for (const auto& [path, option] : files) {
        if (path && sameFile(*path, kWorkingFileName)) {
            err << "kavoda: " << *path << " (" << option << ") is the working file "
                << kWorkingFileName << "; choose another file.\n";
            return kUsageError;
        }
    }
    if (options.simulateType && !options.simImagePath.empty()) {
        const std::string problem = contentFileProblem(options.simImagePath, *options.simulateType);
        if (!problem.empty()) {
            err << "kavoda: cannot use " << options.simImagePath
                << " as the simulated chip's content (--sim-image): " << problem << ".\n";
            return kUsageError;
        }
    }
    if (!options.tracePath.empty()) {
        if (options.simulateType && !options.simImagePath.empty()
            && sameFile(options.tracePath, options.simImagePath)) {
            err << "kavoda: the bus trace " << options.tracePath
                << " is the simulated chip's content file; choose another file for the trace.\n";
            return kUsageError;
        }
        const std::string problem = traceFileProblem(options.tracePath);
        if (!problem.empty()) {
            err << "kavoda: cannot write the bus trace to " << options.tracePath
                << " (--trace): " << problem << ".\n";
            return kUsageError;
        }
    }
    return 0;
}

ParsedOptions parseOptions(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    ParsedOptions result;
    CLI::App app{"Kavoda: programmer for serial EEPROMs (24C02..24C16, SDA3526..SDA3586) "
                 "through a parallel-port adapter, a CH341A or a Linux I2C bus (i2c-dev).",
                 "kavoda"};
    SharedOptionContext context;
    context.simulateDefault = kDefaultSimulatedType;
    // Any row: the chooser and --type reach them all.
    context.windowTypesOnly = false;
    // The window takes its port and delay from the Setup dialog only.
    const SharedOptions shared(app, context,
                               {SharedOption::Simulate, SharedOption::SimImage,
                                SharedOption::SimFault, SharedOption::SimWriteCycle,
                                SharedOption::Trace, SharedOption::Adapter,
                                SharedOption::I2cSpeed, SharedOption::SpiSpeed,
                                SharedOption::Org, SharedOption::ByteOrder});
    app.add_option("--type", result.typeName,
                   "Choose the device type NAME at start (" + chipCaptions() +
                       "); --simulate without a type then simulates it")
        ->option_text("NAME");
    CLI::Option* listOption = addVersionAndListing(app, "kavoda");
    app.footer("Qt's standard options (-platform NAME, -style NAME, -display DISPLAY, ...) "
               "are accepted too.\n");

    // Qt's own options are left to the application object. CLI11 takes the
    // arguments after the program name, in reverse order.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        int values = 0;
        bool style = false;
        if (isQtOption(argv[i], &values, &style)) {
            result.styleRequested = result.styleRequested || style;
            i += values;
            continue;
        }
        args.emplace_back(argv[i]);
    }
    std::reverse(args.begin(), args.end());
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
    } catch (const ListingRequest& request) {
        result.run = false;
        if (request.what == "options") {
            listOptions(app, out, listOption);
        } else {
            err << "kavoda: --list takes options\n";
            result.exitCode = kUsageError;
        }
        return result;
    } catch (const CLI::ParseError& e) {
        err << "kavoda: " << e.what() << "; run kavoda --help for the options\n";
        result.run = false;
        result.exitCode = kUsageError;
        return result;
    }

    const std::string error = shared.applyTo(result.options);
    if (!error.empty()) {
        err << "kavoda: " << error << "\n";
        result.run = false;
        result.exitCode = kUsageError;
        return result;
    }
    const ChipType* typed = result.typeName.empty() ? nullptr : findChip(result.typeName);
    if (!result.typeName.empty() && !typed) {
        err << "kavoda: unknown device type '" << result.typeName << "' (--type); known types: "
            << chipCaptions() << "\n";
        result.run = false;
        result.exitCode = kUsageError;
        return result;
    }
    if (typed) {
        ChipType chosen = *typed;
        const std::string problem = shared.chooseType(*typed, result.typeName, chosen);
        if (!problem.empty()) {
            err << "kavoda: " << problem << "\n";
            result.run = false;
            result.exitCode = kUsageError;
            return result;
        }
        result.chosenType = chosen;
    } else if (shared.given(SharedOption::ByteOrder)) {
        // Without a type it would order nothing; the simulated chip takes --org alone.
        err << "kavoda: --byte-order orders the words of the type --type chooses; give --type "
               "too\n";
        result.run = false;
        result.exitCode = kUsageError;
        return result;
    }
    if (const auto simulate = shared.given(SharedOption::Simulate)) {
        // The option's check refuses an unknown type.
        const ChipType* chip = !simulate->empty() ? findChip(*simulate)
                               : typed             ? typed
                                                   : findChip(kDefaultSimulatedType);
        result.options.simulateType = chip->deviceType;
        // The simulated ORG pin is wired as the type chosen says, unless --org
        // wires it itself.
        if (!shared.given(SharedOption::Org) && result.chosenType &&
            result.chosenType->isMicrowire() && chip->isMicrowire())
            result.options.simOrganisation = result.chosenType->microwire.organisation;
    }
    return result;
}

QString simulationMarker(const PortOptions& options)
{
    if (!options.simulateType)
        return {};
    const CatalogueEntry* entry = findChipByCode(*options.simulateType);
    const QString name = entry ? QString::fromLatin1(entry->caption.data(),
                                                     static_cast<int>(entry->caption.size()))
                               : QString::number(*options.simulateType);
    return QStringLiteral(" [simulated %1]").arg(name);
}

} // namespace kavoda
