// SPDX-License-Identifier: MIT
// Adapter names as the command lines and the settings file write them, and
// the bus of each adapter for each transport it offers.
#include "Adapter.h"

#include <algorithm>
#include <cctype>

#include "ControllerBus.h"
#include "DeviceBus.h"
#include "Ch341a.h"
#include "I2cDev.h"
#include "ParallelPortBus.h"
#include "PortSession.h"
#include "SimulatedCh341a.h"
#include "SimulatedI2cDev.h"
#include "SimulatedSpiDevice.h"
#include "SimulatedSpidev.h"
#include "SpiChipBus.h"
#include "Ch341aWire.h"
#include "MicrowireBus.h"
#include "SimulatedWireDevice.h"
#include "Spidev.h"

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
    ChipOptions chip{*options.simulateType, options.simImagePath, options.simWriteCycleNs,
                     options.simFault, options.simChipAddress};
    chip.organisation = options.simOrganisation;
    return chip;
}

std::unique_ptr<DeviceBus> makeParallelPortBus(PortSession& session, const AdapterChoice&,
                                               Transport)
{
    return std::make_unique<ParallelPortBus>(session);
}

// A chip the adapter cannot reach: nothing is opened, every use says why.
class RefusedBus final : public DeviceBus {
public:
    explicit RefusedBus(std::string reason, TransferLimits limits)
        : m_reason(std::move(reason)), m_limits(limits)
    {
    }
    void claim() override { refuse(); }
    void release() noexcept override {}
    TransferLimits limits() const override { return m_limits; }
    ReadOutcome read(const ChipType&, const std::vector<ReadRun>&) override { refuse(); }
    BusResult write(const ChipType&, std::uint32_t, const std::uint8_t*, std::uint32_t) override
    {
        refuse();
    }
    bool poll(const ChipType&, std::uint32_t) override { refuse(); }

private:
    [[noreturn]] void refuse() const { throw PortError(m_reason); }
    std::string m_reason;
    TransferLimits m_limits;
};

// The SPI transport together with the link or file it moves bytes through.
template <typename Link, typename Transport>
class OwningTransport final : public SpiTransport {
public:
    template <typename... Args>
    OwningTransport(std::unique_ptr<Link> link, Args&&... args)
        : m_link(std::move(link)), m_transport(*m_link, std::forward<Args>(args)...)
    {
    }
    std::vector<std::vector<std::uint8_t>> run(
        const std::vector<SpiTransaction>& transactions) override
    {
        return m_transport.run(transactions);
    }
    SpiLimits limits() const override { return m_transport.limits(); }
    std::uint64_t nowNs() const override { return m_transport.nowNs(); }

private:
    std::unique_ptr<Link> m_link;
    Transport m_transport;
};

// The CH341A's lines together with the link they go through.
class OwningWire final : public WireTransport {
public:
    explicit OwningWire(std::unique_ptr<UsbBulkLink> link) : m_link(std::move(link)), m_wire(*m_link) {}
    std::vector<WireReply> run(const std::vector<WireCommand>& commands) override
    {
        return m_wire.run(commands);
    }
    std::uint64_t nowNs() const override { return m_wire.nowNs(); }

private:
    std::unique_ptr<UsbBulkLink> m_link;
    Ch341aWire m_wire;
};

// The simulated SPI chip of the session's row; only an SPI row gets here.
std::unique_ptr<SimulatedSpiDevice> simulatedSpiChip(const ChipOptions& chip)
{
    return makeSimulatedSpiChip(chip);
}

// What the operations are handed for an SPI chip: reads as long as a call
// of the transport carries, a flash page per write and as many pages to a
// call as it holds.
TransferLimits spiLimits(std::uint32_t maxTransaction, std::uint64_t byteNs)
{
    // Room for the command, four address bytes and a dummy byte.
    const std::uint32_t run = maxTransaction - 8;
    const std::uint32_t pages = std::max<std::uint32_t>(1, maxTransaction / 0x110);
    return TransferLimits{run, run, 0x100, pages, false, true, static_cast<std::uint32_t>(byteNs)};
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

std::unique_ptr<DeviceBus> makeCh341aSpiBus(PortSession& session)
{
    const TransferLimits limits = spiLimits(Ch341aSpi::kMaxTransaction, Ch341aSpi::kByteNs);
    if (const auto chip = simulatedChip(session)) {
        auto sim = std::make_shared<SimulatedCh341a>(simulatedSpiChip(*chip));
        return makeSpiChipBus(
            [sim = sim.get()] {
                return std::make_unique<Ch341aSpi>(*sim, [sim] { return sim->nowNs(); });
            },
            limits, sim);
    }
    return makeSpiChipBus(
        []() -> std::unique_ptr<SpiTransport> {
            return std::make_unique<OwningTransport<UsbBulkLink, Ch341aSpi>>(openCh341aUsb());
        },
        limits);
}

// The SPI socket's lines for a Microwire chip.
std::unique_ptr<DeviceBus> makeCh341aWireBus(PortSession& session)
{
    const TransferLimits limits = kCh341aWireLimits;
    if (const auto chip = simulatedChip(session)) {
        auto sim = std::make_shared<SimulatedCh341a>(makeSimulatedMicrowireChip(*chip));
        return makeMicrowireBus(
            [sim = sim.get()] {
                return std::make_unique<Ch341aWire>(*sim, [sim] { return sim->nowNs(); });
            },
            limits, sim);
    }
    return makeMicrowireBus(
        []() -> std::unique_ptr<WireTransport> {
            return std::make_unique<OwningWire>(openCh341aUsb());
        },
        limits);
}

std::unique_ptr<DeviceBus> makeCh341aBus(PortSession& session, const AdapterChoice& choice,
                                         Transport transport)
{
    if (transport == Transport::Spi)
        return makeCh341aSpiBus(session);
    if (transport == Transport::Lines)
        return makeCh341aWireBus(session);
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

std::unique_ptr<DeviceBus> makeI2cDevBus(PortSession& session, const AdapterChoice& choice,
                                         Transport)
{
    const TransferLimits limits = limitsAt(choice);
    if (const auto chip = simulatedChip(session)) {
        auto sim = std::make_shared<SimulatedI2cDev>(*chip);
        return std::make_unique<ControllerBus>(
            [sim = sim.get(), path = choice.path] {
                return std::make_unique<I2cDevBus>(*sim, path, [sim] { return sim->nowNs(); });
            },
            limits, sim);
    }
    return std::make_unique<ControllerBus>(
        [path = choice.path]() -> std::unique_ptr<I2cController> {
            return std::make_unique<Owning<I2cDevFile, I2cDevBus>>(openI2cDev(path), path);
        },
        limits);
}

std::unique_ptr<DeviceBus> makeSpidevBus(PortSession& session, const AdapterChoice& choice,
                                         Transport)
{
    const int khz = choice.spiKhz;
    const std::uint64_t byteNs = 8'000'000ull / static_cast<std::uint64_t>(khz);
    if (const auto chip = simulatedChip(session)) {
        auto sim = std::make_shared<SimulatedSpidev>(simulatedSpiChip(*chip), khz);
        return makeSpiChipBus(
            [sim = sim.get(), path = choice.path] {
                return std::make_unique<SpidevTransport>(*sim, path, sim->bufferSize(),
                                                         [sim] { return sim->nowNs(); });
            },
            spiLimits(sim->bufferSize(), byteNs), sim);
    }
    const std::uint32_t buffer = spidevBufferSize();
    return makeSpiChipBus(
        [path = choice.path, khz, buffer]() -> std::unique_ptr<SpiTransport> {
            return std::make_unique<OwningTransport<SpidevFile, SpidevTransport>>(
                openSpidev(path, khz), path, buffer);
        },
        spiLimits(buffer, byteNs));
}

// Whether a path names the kind of device file a row opens.
bool rowTakesPath(AdapterKind kind, const std::string& path)
{
    return kind == AdapterKind::Spidev ? isSpidevPath(path) : isI2cDevPath(path);
}

}  // namespace

// clang-format off
const std::array<AdapterType, 4> kAdapterTable = {{
    // The bit-banged bus: any run the chip allows, one transaction per call,
    // acknowledge polling counted.
    {AdapterKind::ParallelPort, "parport", false, "", kI2cOnly, false, false, true,
     {0x10000, 1, 0x10000, 1, false, false}, makeParallelPortBus},
    // A block per read transaction and four to a transfer; a page per write,
    // byte writes eight to a transfer. Its SPI socket: see Ch341aSpi; its
    // lines for Microwire chips: see Ch341aWire.
    {AdapterKind::Ch341a, "ch341a", false, "CH341A", kI2cOnly | kSpiOnly | kLinesOnly, true, false, false,
     {0x100, 0x400, 0x100, 8, false, true}, makeCh341aBus},
    // A block per transfer; a page per write.
    {AdapterKind::I2cDev, "i2c", true, "I2C", kI2cOnly, false, false, false,
     {0x100, 0x100, 0x100, 1, false, true}, makeI2cDevBus},
    // As much per message as the driver's buffer holds.
    {AdapterKind::Spidev, "spidev", true, "SPI", kSpiOnly, false, true, false,
     {0x100, 0x100, 0x100, 1, false, true}, makeSpidevBus},
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
        if (!rowTakesPath(type.kind, path))
            return std::nullopt;
        choice.path = path;
        return choice;
    }
    return std::nullopt;
}

std::string adapterText(const AdapterChoice& choice)
{
    const AdapterType& type = choice.type();
    return type.takesPath ? std::string(type.name) + ":" + choice.path : std::string(type.name);
}

std::string adapterCaption(const AdapterChoice& choice)
{
    const AdapterType& type = choice.type();
    if (type.takesPath)
        return std::string(type.caption) + " " + choice.path;
    return std::string(type.caption);
}

AdapterChoice resolveAdapter(const PortOptions& options,
                             const std::optional<AdapterChoice>& stored)
{
    AdapterChoice choice = options.adapter ? *options.adapter : stored.value_or(AdapterChoice{});
    if (options.i2cSpeed)
        choice.speed = *options.i2cSpeed;
    if (options.spiSpeedKhz)
        choice.spiKhz = *options.spiSpeedKhz;
    return choice;
}

std::string transportRefusal(const AdapterChoice& adapter, const ChipType& chip)
{
    const Transport transport = transportOf(chip.family);
    if (adapter.type().offers(transport))
        return {};
    const std::string name(chip.caption);
    if (transport == Transport::Spi)
        return "The " + name + " is an SPI chip: SPI chips need a CH341A or spidev adapter";
    if (transport == Transport::Lines)
        return "The " + name + " is a Microwire chip: Microwire chips need a CH341A adapter "
               "(with a 93Cxx adapter board in its SPI socket)";
    return "The " + name + " is an I2C chip: " + std::string(adapter.type().name) +
           " reaches SPI chips only";
}

std::string applyAdapterOptions(PortOptions& options, const std::optional<std::string>& adapter,
                                const std::optional<int>& speedKhz,
                                const std::optional<int>& spiSpeedKhz)
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
    if (spiSpeedKhz) {
        if (*spiSpeedKhz < kMinSpiSpeedKhz || *spiSpeedKhz > kMaxSpiSpeedKhz)
            return "--spi-speed takes " + std::to_string(kMinSpiSpeedKhz) + " to " +
                   std::to_string(kMaxSpiSpeedKhz) + " (kHz).";
        options.spiSpeedKhz = *spiSpeedKhz;
    }
    if (!options.adapter)
        return {};
    const AdapterType& type = options.adapter->type();
    if (spiSpeedKhz && !type.hasSpiSpeedSetting)
        return options.adapter->kind == AdapterKind::Ch341a
                   ? "--spi-speed sets a spidev device's clock; the CH341A's SPI clock is fixed "
                     "(about 1.5 MHz)."
                   : "--spi-speed sets a spidev device's clock; --adapter " +
                         adapterText(*options.adapter) + " has no SPI bus.";
    if (speedKhz && options.adapter->isParallelPort())
        return "--i2c-speed sets the CH341A's bus clock; the parallel port's speed is its Delay.";
    if (speedKhz && options.adapter->kind == AdapterKind::Spidev)
        return "--i2c-speed sets the CH341A's I2C clock; --spi-speed sets that of " +
               options.adapter->path + ".";
    if (speedKhz && !type.hasSpeedSetting)
        return "--i2c-speed sets the CH341A's bus clock; the kernel driver of " +
               options.adapter->path + " sets that bus's clock.";
    if (!options.tracePath.empty() && !type.seesLines)
        return "--trace records the parallel port's bus lines; it cannot be used with --adapter " +
               adapterText(*options.adapter) + ".";
    return {};
}

std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session, const AdapterChoice& adapter,
                                         const ChipType& chip)
{
    const std::string refusal = transportRefusal(adapter, chip);
    if (!refusal.empty())
        return std::make_unique<RefusedBus>(refusal, adapter.type().limits);
    return adapter.type().makeBus(session, adapter, transportOf(chip.family));
}

std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session, const ChipType& chip)
{
    return makeDeviceBus(session, resolveAdapter(session.options()), chip);
}

std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session, const AdapterChoice& adapter)
{
    if (!adapter.type().offers(Transport::I2c))
        return std::make_unique<RefusedBus>(
            "These are I2C chips: " + std::string(adapter.type().name) + " reaches SPI chips only",
            adapter.type().limits);
    return adapter.type().makeBus(session, adapter, Transport::I2c);
}

std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session)
{
    return makeDeviceBus(session, resolveAdapter(session.options()));
}

}  // namespace kavoda
