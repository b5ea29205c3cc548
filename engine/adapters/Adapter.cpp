// SPDX-License-Identifier: MIT
// Adapter names as the command lines and the settings file write them.
#include "Adapter.h"

#include <cctype>

#include "ControllerBus.h"
#include "DeviceBus.h"
#include "Ch341a.h"
#include "I2cDev.h"
#include "PortSession.h"
#include "SimulatedCh341a.h"
#include "SimulatedI2cDev.h"

namespace kavoda {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::optional<ChipOptions> simulatedChip(const PortSession& session)
{
    const PortOptions& options = session.options();
    if (!options.simulateType)
        return std::nullopt;
    return ChipOptions{*options.simulateType, options.simImagePath, options.simWriteCycleNs,
                       options.simFault, options.simChipAddress};
}

std::unique_ptr<DeviceBus> makeParallelPortBus(PortSession& session, const AdapterChoice&)
{
    return std::make_unique<ParallelPortBus>(session);
}

// The controller together with the link or file it talks through.
template <typename Link, typename Bus>
class Owning final : public I2cController {
public:
    template <typename... Args>
    Owning(std::unique_ptr<Link> link, Args&&... args)
        : m_link(std::move(link)), m_bus(*m_link, std::forward<Args>(args)...)
    {
    }
    ReadOutcome read(const std::vector<ControllerRun>& runs) override { return m_bus.read(runs); }
    BusResult write(const AddressPhase& phase, const std::uint8_t* data, std::uint32_t length,
                    std::uint64_t pollLimitNs) override
    {
        return m_bus.write(phase, data, length, pollLimitNs);
    }
    WriteOutcome writeBatch(const std::vector<ControllerWrite>& writes,
                            std::uint64_t pollLimitNs) override
    {
        return m_bus.writeBatch(writes, pollLimitNs);
    }
    bool poll(std::uint8_t addressByte) override { return m_bus.poll(addressByte); }
    bool probe(std::uint8_t addressByte) override { return m_bus.probe(addressByte); }
    std::vector<bool> probeAll(const std::vector<std::uint8_t>& addressBytes) override
    {
        return m_bus.probeAll(addressBytes);
    }

private:
    std::unique_ptr<Link> m_link;
    Bus m_bus;
};

// The row's limits with the bus time of a byte at the adapter's clock: a
// kernel bus whose clock its driver sets is taken as the common 100 kHz.
TransferLimits limitsAt(const AdapterChoice& choice)
{
    TransferLimits limits = choice.type().limits;
    const int khz = choice.type().hasSpeedSetting ? i2cSpeedKhz(choice.speed) : kDefaultI2cSpeedKhz;
    limits.byteNs = static_cast<std::uint32_t>(9'000'000 / khz);
    return limits;
}

std::unique_ptr<DeviceBus> makeCh341aBus(PortSession& session, const AdapterChoice& choice)
{
    const TransferLimits limits = limitsAt(choice);
    if (const auto chip = simulatedChip(session)) {
        auto sim = std::make_shared<SimulatedCh341a>(*chip);
        return std::make_unique<ControllerBus>(
            [sim = sim.get(), speed = choice.speed] {
                return std::make_unique<Ch341aBus>(*sim, speed);
            },
            limits, sim);
    }
    return std::make_unique<ControllerBus>(
        [speed = choice.speed]() -> std::unique_ptr<I2cController> {
            return std::make_unique<Owning<UsbBulkLink, Ch341aBus>>(openCh341aUsb(), speed);
        },
        limits);
}

std::unique_ptr<DeviceBus> makeI2cDevBus(PortSession& session, const AdapterChoice& choice)
{
    const TransferLimits limits = limitsAt(choice);
    if (const auto chip = simulatedChip(session)) {
        auto sim = std::make_shared<SimulatedI2cDev>(*chip);
        return std::make_unique<ControllerBus>(
            [sim = sim.get(), path = choice.i2cPath] {
                return std::make_unique<I2cDevBus>(*sim, path, [sim] { return sim->nowNs(); });
            },
            limits, sim);
    }
    return std::make_unique<ControllerBus>(
        [path = choice.i2cPath]() -> std::unique_ptr<I2cController> {
            return std::make_unique<Owning<I2cDevFile, I2cDevBus>>(openI2cDev(path), path);
        },
        limits);
}

}  // namespace

// clang-format off
const std::array<AdapterType, 3> kAdapterTable = {{
    // The bit-banged bus: any run the chip allows, one transaction per call,
    // acknowledge polling counted.
    {AdapterKind::ParallelPort, "parport", false, "", false, true,
     {0x10000, 1, 0x10000, 1, false, false}, makeParallelPortBus},
    // A block per read transaction and four to a transfer; a page per write,
    // byte writes eight to a transfer.
    {AdapterKind::Ch341a, "ch341a", false, "CH341A", true, false,
     {0x100, 0x400, 0x100, 8, false, true}, makeCh341aBus},
    // A block per transfer; a page per write.
    {AdapterKind::I2cDev, "i2c", true, "I2C", false, false,
     {0x100, 0x100, 0x100, 1, false, true}, makeI2cDevBus},
}};
// clang-format on

const AdapterType& adapterType(AdapterKind kind)
{
    return kAdapterTable[static_cast<std::size_t>(kind)];
}

std::optional<AdapterChoice> parseAdapter(std::string_view text)
{
    for (const AdapterType& type : kAdapterTable) {
        AdapterChoice choice;
        choice.kind = type.kind;
        if (!type.takesPath) {
            if (equalsNoCase(text, type.name))
                return choice;
            continue;
        }
        const std::size_t prefix = type.name.size() + 1;
        if (text.size() <= prefix || !equalsNoCase(text.substr(0, type.name.size()), type.name) ||
            text[type.name.size()] != ':')
            continue;
        const std::string path(text.substr(prefix));
        // Only a bus node: the program opens it read-write, so any other
        // file named here must never be touched.
        if (!isI2cDevPath(path))
            return std::nullopt;
        choice.i2cPath = path;
        return choice;
    }
    return std::nullopt;
}

std::string adapterText(const AdapterChoice& choice)
{
    const AdapterType& type = choice.type();
    return type.takesPath ? std::string(type.name) + ":" + choice.i2cPath : std::string(type.name);
}

std::string adapterCaption(const AdapterChoice& choice)
{
    const AdapterType& type = choice.type();
    if (type.takesPath)
        return std::string(type.caption) + " " + choice.i2cPath;
    return std::string(type.caption);
}

AdapterChoice resolveAdapter(const PortOptions& options,
                             const std::optional<AdapterChoice>& stored)
{
    AdapterChoice choice = options.adapter ? *options.adapter : stored.value_or(AdapterChoice{});
    if (options.i2cSpeed)
        choice.speed = *options.i2cSpeed;
    return choice;
}

std::string applyAdapterOptions(PortOptions& options, const std::optional<std::string>& adapter,
                                const std::optional<int>& speedKhz)
{
    if (adapter) {
        options.adapter = parseAdapter(*adapter);
        if (!options.adapter)
            return "unknown adapter '" + *adapter + "' for --adapter; choose " + kAdapterChoices +
                   ".";
    }
    if (speedKhz) {
        options.i2cSpeed = i2cSpeedFromKhz(*speedKhz);
        if (!options.i2cSpeed)
            return "--i2c-speed takes " + i2cSpeedChoices() + " (kHz).";
    }
    if (!options.adapter)
        return {};
    const AdapterType& type = options.adapter->type();
    if (speedKhz && options.adapter->isParallelPort())
        return "--i2c-speed sets the CH341A's bus clock; the parallel port's speed is its Delay.";
    if (speedKhz && !type.hasSpeedSetting)
        return "--i2c-speed sets the CH341A's bus clock; the kernel driver of " +
               options.adapter->i2cPath + " sets that bus's clock.";
    if (!options.tracePath.empty() && !type.seesLines)
        return "--trace records the parallel port's bus lines; it cannot be used with --adapter " +
               adapterText(*options.adapter) + ".";
    return {};
}

std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session, const AdapterChoice& adapter)
{
    return adapter.type().makeBus(session, adapter);
}

std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session)
{
    return makeDeviceBus(session, resolveAdapter(session.options()));
}

}  // namespace kavoda
