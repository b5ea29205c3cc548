// SPDX-License-Identifier: MIT
// Adapter names as the command lines and the settings file write them.
#include "Adapter.h"

#include <cctype>

#include "ControllerBus.h"
#include "DeviceBus.h"
#include "I2cDev.h"
#include "PortSession.h"

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

constexpr std::string_view kI2cPrefix = "i2c:";

}  // namespace

std::optional<AdapterChoice> parseAdapter(std::string_view text)
{
    AdapterChoice choice;
    if (equalsNoCase(text, "parport")) {
        choice.kind = AdapterKind::ParallelPort;
        return choice;
    }
    if (equalsNoCase(text, "ch341a")) {
        choice.kind = AdapterKind::Ch341a;
        return choice;
    }
    if (text.size() > kI2cPrefix.size() &&
        equalsNoCase(text.substr(0, kI2cPrefix.size()), kI2cPrefix)) {
        const std::string path(text.substr(kI2cPrefix.size()));
        // Only a bus node: the program opens it read-write, so any other
        // file named here must never be touched.
        if (!isI2cDevPath(path))
            return std::nullopt;
        choice.kind = AdapterKind::I2cDev;
        choice.i2cPath = path;
        return choice;
    }
    return std::nullopt;
}

std::string adapterText(const AdapterChoice& choice)
{
    switch (choice.kind) {
    case AdapterKind::ParallelPort: return "parport";
    case AdapterKind::Ch341a: return "ch341a";
    case AdapterKind::I2cDev: return std::string(kI2cPrefix) + choice.i2cPath;
    }
    return "parport";
}

std::string adapterCaption(const AdapterChoice& choice)
{
    switch (choice.kind) {
    case AdapterKind::ParallelPort: return {};
    case AdapterKind::Ch341a: return "CH341A";
    case AdapterKind::I2cDev: return "I2C " + choice.i2cPath;
    }
    return {};
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
    if (speedKhz && options.adapter->kind == AdapterKind::ParallelPort)
        return "--i2c-speed sets the CH341A's bus clock; the parallel port's speed is its Delay.";
    if (speedKhz && options.adapter->kind == AdapterKind::I2cDev)
        return "--i2c-speed sets the CH341A's bus clock; the kernel driver of " +
               options.adapter->i2cPath + " sets that bus's clock.";
    if (!options.tracePath.empty() && !options.adapter->isParallelPort())
        return "--trace records the parallel port's bus lines; it cannot be used with --adapter " +
               adapterText(*options.adapter) + ".";
    return {};
}

std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session, const AdapterChoice& adapter)
{
    if (adapter.isParallelPort())
        return std::make_unique<ParallelPortBus>(session);
    const PortOptions& options = session.options();
    std::optional<ChipOptions> chip;
    if (options.simulateType)
        chip = ChipOptions{*options.simulateType, options.simImagePath, options.simWriteCycleNs,
                           options.simFault};
    return std::make_unique<ControllerBus>(adapter, chip);
}

std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session)
{
    return makeDeviceBus(session, resolveAdapter(session.options()));
}

}  // namespace kavoda
