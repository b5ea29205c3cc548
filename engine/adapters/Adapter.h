// SPDX-License-Identifier: MIT
// The adapter table, and which adapter reaches the chip: the parallel port
// (the default), a CH341A USB programmer, or a Linux I2C bus; as written on
// the command line and in the settings file ("parport", "ch341a",
// "i2c:/dev/i2c-1").
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "DeviceBus.h"
#include "I2cController.h"

namespace kavoda {

// The rows of the adapter table, in its order.
enum class AdapterKind { ParallelPort, Ch341a, I2cDev };

struct AdapterChoice;
class DeviceBus;
class PortSession;

// One adapter: how the command lines and the settings file name it, what
// its options mean to it, and how its bus is made. A new USB bridge is one
// row here and one file for its transactions.
struct AdapterType {
    AdapterKind kind;
    std::string_view name;     // "parport", "ch341a"; with a path: "i2c" as "i2c:PATH"
    bool takesPath;            // named "NAME:PATH"
    std::string_view caption;  // in window captions and messages; empty for the default
    bool hasSpeedSetting;      // --i2c-speed sets its clock
    bool seesLines;            // --trace can record its bus lines
    TransferLimits limits;
    // Its transactions, on the real adapter or, when the session simulates
    // a chip, on its simulator with that chip on its bus.
    std::unique_ptr<DeviceBus> (*makeBus)(PortSession& session, const AdapterChoice& choice);
};

extern const std::array<AdapterType, 3> kAdapterTable;
const AdapterType& adapterType(AdapterKind kind);

struct AdapterChoice {
    AdapterKind kind = AdapterKind::ParallelPort;
    std::string i2cPath;                 // the path of a row that takes one: "/dev/i2c-1"
    I2cSpeed speed = kDefaultI2cSpeed;   // the clock of a row with a speed setting

    const AdapterType& type() const { return adapterType(kind); }
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
