// SPDX-License-Identifier: MIT
// Which adapter reaches the chip: the parallel port (the default), a CH341A
// USB programmer, or a Linux I2C bus; as written on the command line and in
// the settings file ("parport", "ch341a", "i2c:/dev/i2c-1").
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "I2cController.h"

namespace kavoda {

enum class AdapterKind { ParallelPort, Ch341a, I2cDev };

struct AdapterChoice {
    AdapterKind kind = AdapterKind::ParallelPort;
    std::string i2cPath;                 // the bus of I2cDev: "/dev/i2c-1"
    I2cSpeed speed = kDefaultI2cSpeed;   // the CH341A's bus clock

    bool isParallelPort() const { return kind == AdapterKind::ParallelPort; }
    bool operator==(const AdapterChoice& other) const
    {
        return kind == other.kind && i2cPath == other.i2cPath && speed == other.speed;
    }
};

// "parport", "ch341a" or "i2c:/dev/i2c-N", without regard to case in the
// names; empty for anything else. The speed stays the default.
std::optional<AdapterChoice> parseAdapter(std::string_view text);
// The same text back, for the settings file.
std::string adapterText(const AdapterChoice& choice);
// What the window caption and messages call it: "CH341A", "I2C /dev/i2c-1";
// empty for the parallel port.
std::string adapterCaption(const AdapterChoice& choice);
// For help texts and usage errors.
inline constexpr const char* kAdapterChoices = "parport, ch341a or i2c:/dev/i2c-N";

class DeviceBus;
class PortSession;
struct PortOptions;

// The adapter in use: the command line's, else the stored one, else the
// parallel port; a speed given on the command line overrides the stored one.
AdapterChoice resolveAdapter(const PortOptions& options,
                             const std::optional<AdapterChoice>& stored = std::nullopt);

// Puts --adapter TEXT and --i2c-speed KHZ (each when given) into options,
// as both programs take them. Returns the usage error, or an empty text: an
// unknown adapter or speed, a speed for an adapter without that clock, or a
// trace (options.tracePath) on an adapter whose lines the program cannot see.
std::string applyAdapterOptions(PortOptions& options, const std::optional<std::string>& adapter,
                                const std::optional<int>& speedKhz);

// The transactions of an adapter: the parallel port's through the session,
// or the adapter's own controller, simulated when the session simulates a
// chip (with the session's content file, fault and write cycle). Opens
// nothing until claimed.
std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session, const AdapterChoice& adapter);
// The same for resolveAdapter(session.options()).
std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session);

}  // namespace kavoda
