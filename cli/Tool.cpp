// SPDX-License-Identifier: MIT
// The run context of the verbs, and the verb table.
#include "Tool.h"

#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>

#include "Adapter.h"
#include "HexText.h"
#include "Identify.h"
#include "Interrupt.h"
#include "SharedOptions.h"
#include "Sfdp.h"
#include "SimulatedChip.h"
#include "SpiChipBus.h"
#include "ToolSettings.h"
#include "Verbs.h"

namespace kavoda {

namespace {

constexpr long kMaxDelay = 1'000'000;  // keeps BusDelay * 500 within 32 bits

const ChipType& deviceNamed(const std::string& name)
{
    const ChipType* entry = findChip(name);
    if (!entry)
        throw UsageError("unknown device type '" + name + "'; known types: " + chipCaptions());
    return *entry;
}

// The base address the kernel gives a /dev/parportN, when it tells.
std::optional<std::uint16_t> parportBase(const std::string& device)
{
    const std::size_t slash = device.rfind('/');
    const std::string name = device.substr(slash == std::string::npos ? 0 : slash + 1);
    std::ifstream in("/proc/sys/dev/parport/" + name + "/base-addr");
    unsigned long base = 0;
    if (in >> base && base > 0 && base <= 0xFFFD)
        return static_cast<std::uint16_t>(base);
    return std::nullopt;
}

}  // namespace

std::string hexText(long value, int digits)
{
    return hexNumber(static_cast<std::uint64_t>(value), digits);
}

long numberArgument(const std::string& what, const std::string& text, long max)
{
    const auto value = parseCliNumber(text, max);
    if (!value)
        throw UsageError(what + " '" + text + "' is not a number from 0 to " +
                         std::to_string(max) + " (decimal or 0x-hex)");
    return *value;
}

// What the engine's passes show, turned into the progress bar; the stop
// request is Ctrl+C.
class Tool::Display final : public OperationDisplay {
public:
    explicit Display(Tool& tool) : m_tool(tool) {}

    void processMessages() override
    {
        if (m_tool.m_environment.pump)
            m_tool.m_environment.pump();
    }
    bool stopRequested() const override { return interruptRequested(); }
    void showPercent(int) override {}
    void showAddress(int) override {}
    void showData(std::uint8_t) override {}
    std::string panelText() const override { return m_panel; }
    void setPanelText(const std::string& text) override { m_panel = text; }
    void setMeterCaption(const std::string&) override {}
    void showProgress(long done, long, long address) override
    {
        m_tool.m_progress.update(done, address);
    }

private:
    Tool& m_tool;
    std::string m_panel;
};

Tool::Tool(const CliEnvironment& environment, const CommonOptions& options)
    : m_in(environment.in ? environment.in : &std::cin),
      m_out(environment.out ? environment.out : &std::cout),
      m_err(environment.err ? environment.err : &std::cerr),
      m_environment(environment),
      m_options(options),
      m_progress(*m_err, environment.errIsTerminal && !options.quiet),
      m_display(std::make_unique<Display>(*this))
{
}

Tool::~Tool()
{
    m_progress.end();
    // The bus goes before the session it drives, which releases the port.
    m_bus.reset();
    m_session.reset();
}

void Tool::warn(const std::string& text)
{
    m_progress.end();
    err() << "kavoda-cli: " << text << '\n';
}

const ChipType& Tool::device(const char* fallback)
{
    if (m_device)
        return *m_device;
    std::string name = m_options.deviceName;
    if (name.empty() && fallback)
        name = fallback;
    if (name.empty())
        throw UsageError("no device type: give one with -d, e.g. -d 24C16; known types: " +
                         chipCaptions());
    const ChipType& row = deviceNamed(name);
    // The ORG pin decides what probe finds; any organisation reaches it.
    m_organisationOpen = row.isMicrowire() && m_organisationMayBeOpen &&
                         m_options.organisation.empty() && organisationOfName(name) == 0;
    const std::string error =
        chooseChipType(row, name, m_organisationOpen ? "16" : m_options.organisation,
                       m_options.byteOrder, m_chosen);
    if (!error.empty())
        throw UsageError(error);
    m_device = &m_chosen;
    return *m_device;
}

std::string Tool::chipName()
{
    const ChipType& chip = device();
    const std::string caption(chip.caption);
    if (chip.spi.fromSfdp)
        return caption + " (" + flashLayoutText(chip) + ", from its SFDP table)";
    if (chip.isMicrowire() && !m_organisationOpen)
        return caption + " (" + organisationText(chip) + ")";
    return caption;
}

namespace {

bool namesAuto(const std::string& name)
{
    return name.size() == 4 && (name[0] | 0x20) == 'a' && (name[1] | 0x20) == 'u' &&
           (name[2] | 0x20) == 't' && (name[3] | 0x20) == 'o';
}

}  // namespace

void Tool::prepareReading(const char* fallbackDevice)
{
    m_autoAllowed = true;
    prepare(fallbackDevice);
    if (!m_auto)
        return;
    Identification found;
    {
        BusClaim claim(bus());
        found = identifyI2c(bus());
    }
    if (found.confidence != Confidence::Certain)
        throw ChipError("-d auto: " + found.verdict + "; give the type with -d");
    m_device = found.chosen.chip;
    m_auto = false;
    const std::uint8_t pins = found.chosen.ignoresPins ? 0 : found.chosen.pins;
    m_options.chipAddress = pins;
    bus().setChipAddress(pins);
    SelectDevice(*m_device);
    m_progress.end();
    err() << "kavoda-cli: -d auto: " << found.verdict << "; using the " << m_device->caption;
    if (pins != 0)
        err() << " at --chip-address " << int{pins};
    err() << '\n';
}

void Tool::prepareForBus()
{
    m_autoAllowed = true;
    if (m_options.deviceName.empty())
        m_options.deviceName = "auto";
    prepare();
}

void Tool::refuseForMicrowire(const ChipType& chip) const
{
    const std::string name = "the " + std::string(chip.caption);
    if (m_options.bytewise)
        throw UsageError("--bytewise chooses the byte transactions of I2C chips; " + name +
                         " is read and written a word at a time");
    if (m_options.portOptions.i2cSpeed)
        throw UsageError("--i2c-speed sets the CH341A's I2C clock; " + name +
                         " is a Microwire chip, clocked on the adapter's SPI socket pins");
}

void Tool::prepare(const char* fallbackDevice)
{
    if (namesAuto(m_options.deviceName)) {
        if (!m_autoAllowed)
            throw UsageError("-d auto only reads (read, verify, dump, get): a verb that changes "
                             "the chip needs the type printed on it, e.g. -d 24C16");
        if (m_options.simulate && m_options.simulateName.empty())
            throw UsageError("--simulate needs the type to simulate when the type is to be "
                             "found, e.g. --simulate=24C64");
        if (m_options.simulate && !m_options.simulateName.empty() &&
            deviceNamed(m_options.simulateName).isMicrowire())
            throw UsageError("-d auto finds I2C EEPROMs by their bus addresses; a 93Cxx chip "
                             "has none: give its type with -d, and probe tells its address width");
        m_auto = true;
        // Until the chip is found: the simulated type, or any type whose
        // pins are all free, for the checks below.
        m_device = &deviceNamed(m_options.simulate ? m_options.simulateName : "24C02");
    }
    const ChipType& chip = device(fallbackDevice);
    if (m_options.chipAddress != 0 && chip.transport() != Transport::I2c)
        throw UsageError("--chip-address gives the A2..A0 pins of an I2C chip; the " +
                         std::string(chip.caption) + " is chosen by its chip select");
    // Three pins: a larger number would pass the pin mask below unseen.
    if (m_options.chipAddress < 0 || m_options.chipAddress > 7)
        throw UsageError("--chip-address " + std::to_string(m_options.chipAddress) +
                         " is not a level of the three pins A2..A0: give 0 to 7");
    if (m_options.chipAddress != 0 &&
        (m_options.chipAddress & ~chip.chipAddressMask & 0x07) != 0) {
        if (chip.chipAddressMask == 0)
            throw UsageError("--chip-address: the " + std::string(chip.caption) +
                             "'s address pins carry its block number (or are tied); it always "
                             "answers at A0");
        throw UsageError("--chip-address " + std::to_string(m_options.chipAddress) + ": the " +
                         std::string(chip.caption) + " uses the pins of value " +
                         std::to_string(~chip.chipAddressMask & 0x07) +
                         " for its block number; give a level only on the others");
    }

    std::optional<ToolSettings> settings;
    const auto settingsFile = [&]() -> const ToolSettings& {
        if (!settings)
            settings = readToolSettings(m_environment.settingsFolder.empty()
                                            ? defaultSettingsFolder()
                                            : m_environment.settingsFolder);
        return *settings;
    };

    std::uint16_t port = 0;
    const std::string& portText = m_options.portText;
    if (portText.empty()) {
        port = settingsFile().portBase;
    } else if (portText.find('/') != std::string::npos) {
        // A port on a card at another address, by its ppdev device.
        if (portText.rfind("/dev/parport", 0) != 0)
            throw UsageError("port '" + portText + "' is no /dev/parportN device");
        port = parportBase(portText).value_or(kDefaultPortBase);
        if (!m_options.simulate)
            m_options.portOptions.parportDevice = portText;
    } else {
        const long value = numberArgument("port", portText, 0xFFFF);
        if (value != 0x278 && value != 0x378 && value != 0x3BC)
            throw UsageError("port " + portText +
                             " is none of 0x278, 0x378 and 0x3BC; for a port at another "
                             "address give its device, e.g. --port /dev/parport1");
        port = static_cast<std::uint16_t>(value);
    }

    std::int32_t delay = 0;
    if (m_options.delayText.empty()) {
        delay = settingsFile().busDelay;
        if (delay > kMaxDelay)
            throw UsageError("the Delay " + std::to_string(delay) + " of " + settingsFile().path +
                             " is beyond " + std::to_string(kMaxDelay) + "; give --delay");
    } else {
        delay = static_cast<std::int32_t>(numberArgument("delay", m_options.delayText, kMaxDelay));
    }

    PortOptions& portOptions = m_options.portOptions;
    if (!portOptions.adapter)
        portOptions.adapter = settingsFile().adapter;
    if (m_options.simulate) {
        portOptions.simulateType = m_options.simulateName.empty()
                                       ? chip.deviceType
                                       : deviceNamed(m_options.simulateName).deviceType;
        portOptions.simChipAddress = static_cast<std::uint8_t>(m_options.chipAddress);
        // A name that fixes the organisation (93LC66A) wires the simulated
        // chip's ORG pin to match.
        if (portOptions.simOrganisation == 0 && chip.isMicrowire() && !m_organisationOpen)
            portOptions.simOrganisation = chip.microwire.organisation;
    }

    if (chip.isMicrowire())
        refuseForMicrowire(chip);
    if (m_options.unprotect && chip.transport() != Transport::Spi)
        throw UsageError("--unprotect clears the block-protect bits of SPI chips; the " +
                         std::string(chip.caption) + " has none");

    SelectDevice(chip);
    PortBase = port;
    BusDelay = delay;

    // A flash known by its SFDP table only: its size and erase units are the
    // chip's, read before any verb measures a file or a range against them.
    if (chip.spi.fromSfdp) {
        SpiChipBus& spi = spiBus();
        BusClaim claim(spi);
        m_device = &spi.identify(chip);
    }
}

SpiChipBus& Tool::spiBus()
{
    auto* spi = dynamic_cast<SpiChipBus*>(&bus());
    if (!spi)
        throw ChipError("the " + std::string(device().caption) +
                        " is an SPI chip: choose an adapter with an SPI bus (--adapter)");
    return *spi;
}

DeviceBus& Tool::bus()
{
    if (!m_bus) {
        m_bus = m_environment.makeBus ? m_environment.makeBus(session())
                                      : makeDeviceBus(session(), device());
        if (auto* spi = dynamic_cast<SpiChipBus*>(m_bus.get()))
            spi->setUnprotect(m_options.unprotect);
        m_bus->setChipAddress(static_cast<std::uint8_t>(m_options.chipAddress));
        warnOfFastBus(*this);
    }
    return *m_bus;
}

ChipJob Tool::job()
{
    return ChipJob{bus(), device(), display(),
                   m_options.bytewise ? Transfers::Bytewise : Transfers::Fast};
}

bool Tool::sessionUsesFile(const std::string& path)
{
    return session().usesFile(path);
}

PortSession& Tool::session()
{
    if (!m_session)
        m_session = std::make_unique<PortSession>(m_options.portOptions);
    return *m_session;
}

std::string Tool::settingsFolder() const
{
    return m_environment.settingsFolder.empty() ? defaultSettingsFolder()
                                                : m_environment.settingsFolder;
}

OperationDisplay& Tool::display()
{
    return *m_display;
}

bool Tool::stopRequested()
{
    m_display->processMessages();
    return m_display->stopRequested();
}

std::vector<std::uint8_t> Tool::readChip(const std::string& operation,
                                         const std::string& stoppedNote, std::uint32_t start,
                                         std::optional<std::uint32_t> length)
{
    const ChipType& chip = device();
    const std::uint32_t count = length.value_or(static_cast<std::uint32_t>(chip.size) - start);
    std::vector<std::uint8_t> bytes;
    ChipJob chipJob = job();
    m_progress.begin(operation, count);
    // Ctrl+C during the last run stops the verb too: nothing is reported
    // as done once it was asked to stop.
    if (readRange(chipJob, start, count, bytes) == PassEnd::Stopped || interruptRequested()) {
        m_progress.end();
        throw Interrupted("Interrupted at " + addressText(start + static_cast<std::uint32_t>(bytes.size())) +
                          " after reading " + std::to_string(bytes.size()) + " of " +
                          std::to_string(count) + " bytes of the " + std::string(chip.caption) +
                          "; " + stoppedNote);
    }
    m_progress.end();
    if (const std::string note = retriedReadsText(chipJob); !note.empty())
        warn("warning: " + note);
    return bytes;
}

CLI::App* VerbTable::add(const std::string& name, const std::string& description, VerbRun run)
{
    CLI::App* verb = m_app.add_subcommand(name, description)->group("Verbs");
    // Options of the tool may follow the verb too.
    verb->fallthrough();
    m_verbs.emplace_back(verb, std::move(run));
    return verb;
}

const VerbRun* VerbTable::chosen() const
{
    for (const auto& [verb, run] : m_verbs)
        if (verb->parsed())
            return &run;
    return nullptr;
}

}  // namespace kavoda
