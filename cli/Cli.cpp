// SPDX-License-Identifier: MIT
// kavoda-cli: reads or writes one byte of a device, on real hardware or on
// the simulated chip.
#include "Cli.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <ostream>
#include <string>

#include "DeviceCatalogue.h"
#include "PortSession.h"
#include "ee24c.h"

namespace kavoda {

namespace {

constexpr long kMaxDelay = 1'000'000;  // keeps BusDelay * 500 within 32 bits

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string hexText(long value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*lX", digits, value);
    return text;
}

const CatalogueEntry& deviceNamed(const std::string& name)
{
    const CatalogueEntry* entry = findDevice(name);
    if (!entry)
        throw UsageError("unknown device type '" + name + "'; known types: " + catalogueCaptions());
    return *entry;
}

long numberArgument(const std::string& what, const std::string& text, long max)
{
    const auto value = parseCliNumber(text, max);
    if (!value)
        throw UsageError(what + " '" + text + "' is not a number from 0 to " +
                         std::to_string(max) + " (decimal or 0x-hex)");
    return *value;
}

// An empty path would quietly mean "no file" (a chip in memory, no trace).
std::string nonEmptyPath(const std::string& path)
{
    return path.empty() ? "an empty path names no file" : "";
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
    CLI::App app("Reads and writes serial EEPROMs (24C02..24C16, SDA3526..SDA3586) "
                 "through a parallel-port adapter.",
                 "kavoda-cli");
    std::string deviceName = "24C02";
    std::string portText = "0x378";
    std::string delayText = "10";
    std::string simulateName;
    PortOptions portOptions;

    app.add_option("-d,--device", deviceName, "Device type, e.g. 24C16 or SDA3546")
        ->capture_default_str();
    app.add_option("--port", portText, "Port base: 0x278, 0x378 or 0x3BC")->capture_default_str();
    app.add_option("--delay", delayText, "Bus delay (the Delay setting)")->capture_default_str();
    CLI::Option* simulate =
        app.add_option("--simulate", simulateName,
                       "Use the simulated adapter with a chip of TYPE (default: the --device type)")
            ->expected(0, 1)
            ->type_name("[TYPE]");
    app.add_option("--sim-image", portOptions.simImagePath,
                   "File that keeps the simulated chip's content between runs")
        ->needs(simulate)
        ->check(nonEmptyPath);
    std::string simFault;
    app.add_option("--sim-fault", simFault,
                   "Give the simulated chip a fault: empty (no chip in the socket), busy (a write "
                   "cycle that never ends) or readonly (writes do not stick)")
        ->check(CLI::IsMember({"empty", "busy", "readonly"}))
        ->type_name("FAULT")
        ->needs(simulate);
    unsigned writeCycleMs = 0;
    CLI::Option* writeCycle =
        app.add_option("--sim-write-cycle", writeCycleMs,
                       "The simulated chip's write cycle in milliseconds (default: the datasheet's 10)")
            ->check(CLI::Range(0u, 60000u))
            ->type_name("MS")
            ->needs(simulate);
    app.add_option("--trace", portOptions.tracePath, "Record the bus lines as a VCD file")
        ->check(nonEmptyPath);

    std::string addressText;
    std::string valueText;
    CLI::App* get = app.add_subcommand("get", "Print the byte at ADDRESS as two hex digits");
    get->add_option("ADDRESS", addressText, "Absolute address: block * 256 + address")
        ->required();
    get->fallthrough();
    CLI::App* set = app.add_subcommand("set", "Write VALUE to the byte at ADDRESS");
    set->add_option("ADDRESS", addressText, "Absolute address: block * 256 + address")
        ->required();
    set->add_option("VALUE", valueText, "Byte value, 0 to 255")->required();
    set->fallthrough();
    app.require_subcommand(1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        err << "kavoda-cli: " << e.what() << "\nRun kavoda-cli --help for the options.\n";
        return kExitUsage;
    }

    try {
        const CatalogueEntry& device = deviceNamed(deviceName);
        const long port = numberArgument("port", portText, 0xFFFF);
        if (port != 0x278 && port != 0x378 && port != 0x3BC)
            throw UsageError("port " + portText + " is none of 0x278, 0x378 and 0x3BC");
        const long delay = numberArgument("delay", delayText, kMaxDelay);
        if (simulate->count() > 0) {
            portOptions.simulateType =
                simulateName.empty() ? device.deviceType : deviceNamed(simulateName).deviceType;
            if (!simFault.empty())
                portOptions.simFault = chipFaultNamed(simFault).value_or(ChipFault::None);
            if (writeCycle->count() > 0)
                portOptions.simWriteCycleNs = std::uint64_t{writeCycleMs} * 1'000'000u;
        }
        const long address = numberArgument("address", addressText, 0xFFFF);
        if (address >= device.sizeBytes())
            throw UsageError("address 0x" + hexText(address, 4) + " is beyond the " +
                             std::string(device.caption) + " (" +
                             std::to_string(device.sizeBytes()) + " bytes)");
        const long value = set->parsed() ? numberArgument("value", valueText, 0xFF) : 0;

        SelectDevice(device);
        PortBase = static_cast<std::uint16_t>(port);
        BusDelay = static_cast<std::int32_t>(delay);
        PortSession session(portOptions);
        session.open(PortBase);

        const auto block = static_cast<std::uint8_t>(address / 256);
        const auto inBlock = static_cast<std::uint8_t>(address % 256);
        const bool sda = familyOf(DeviceType) == Family::SDA;
        if (set->parsed()) {
            FastTiming = 0;
            const auto data = static_cast<std::uint8_t>(value);
            if (sda)
                WriteByteSDA(PortBase, block, inBlock, data);
            else
                WriteByte24C(PortBase, block, inBlock, data);
        } else {
            FastTiming = 1;
            const std::uint8_t data = sda ? ReadByteSDA(PortBase, block, inBlock)
                                          : ReadByte24C(PortBase, block, inBlock);
            out << hexText(data, 2) << '\n';
        }
        return kExitOk;
    } catch (const UsageError& e) {
        err << "kavoda-cli: " << e.what() << '\n';
        return kExitUsage;
    } catch (const std::exception& e) {
        err << "kavoda-cli: " << e.what() << '\n';
        return kExitHardware;
    }
}

}  // namespace kavoda
