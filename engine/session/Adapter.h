// SPDX-License-Identifier: MIT
// The adapter table, and which adapter reaches the chip: the parallel port
// (the default), a CH341A USB programmer, a Linux I2C bus or a Linux SPI
// device; as written on the command line and in the settings file
// ("parport", "ch341a", "i2c:/dev/i2c-1", "spidev:/dev/spidev0.0").
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ChipTable.h"
#include "DeviceBus.h"
#include "I2cController.h"

namespace kavoda {

// The rows of the adapter table, in its order.
enum class AdapterKind { ParallelPort, Ch341a, I2cDev, Spidev };

// The transports a row offers, as bits.
constexpr unsigned transportBit(Transport transport)
{
    return 1u << static_cast<unsigned>(transport);
}
inline constexpr unsigned kI2cOnly = transportBit(Transport::I2c);
inline constexpr unsigned kSpiOnly = transportBit(Transport::Spi);
inline constexpr unsigned kLinesOnly = transportBit(Transport::Lines);

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
    unsigned transports;       // transportBit()s of what it carries
    bool hasSpeedSetting;      // --i2c-speed sets its clock
    bool hasSpiSpeedSetting;   // --spi-speed sets its SPI clock
    bool seesLines;            // --trace can record its bus lines
    TransferLimits limits;     // of its I2C transactions
    // Its transactions over the transport, on the real adapter or, when the
    // session simulates a chip, on its simulator with that chip on its bus.
    // Only called for a transport the row offers.
    std::unique_ptr<DeviceBus> (*makeBus)(PortSession& session, const AdapterChoice& choice,
                                          Transport transport);

    bool offers(Transport transport) const { return (transports & transportBit(transport)) != 0; }
};

extern const std::array<AdapterType, 4> kAdapterTable;
const AdapterType& adapterType(AdapterKind kind);

// The SPI clock of a spidev device unless --spi-speed says otherwise: one
// that 25xx EEPROMs take at any supply voltage and long wires carry.
inline constexpr int kDefaultSpiSpeedKhz = 1000;
inline constexpr int kMinSpiSpeedKhz = 10;
inline constexpr int kMaxSpiSpeedKhz = 100'000;

struct AdapterChoice {
    AdapterKind kind = AdapterKind::ParallelPort;
    std::string path;                    // the path of a row that takes one: "/dev/i2c-1"
    I2cSpeed speed = kDefaultI2cSpeed;   // the clock of a row with a speed setting
    int spiKhz = kDefaultSpiSpeedKhz;    // the SPI clock of a row with an SPI speed setting

    const AdapterType& type() const { return adapterType(kind); }
    bool isParallelPort() const { return kind == AdapterKind::ParallelPort; }
    bool operator==(const AdapterChoice& other) const
    {
        return kind == other.kind && path == other.path && speed == other.speed &&
               spiKhz == other.spiKhz;
    }
};

// "parport", "ch341a", "i2c:/dev/i2c-N" or "spidev:/dev/spidevB.C", without
// regard to case in the names; empty for anything else. The speeds stay the
// defaults.
std::optional<AdapterChoice> parseAdapter(std::string_view text);
// The same text back, for the settings file.
std::string adapterText(const AdapterChoice& choice);
// What the window caption and messages call it: "CH341A", "I2C /dev/i2c-1",
// "SPI /dev/spidev0.0"; empty for the parallel port.
std::string adapterCaption(const AdapterChoice& choice);
// For help texts and usage errors.
inline constexpr const char* kAdapterChoices =
    "parport, ch341a, i2c:/dev/i2c-N or spidev:/dev/spidevB.C";

// Why the adapter cannot reach a chip of that type ("SPI chips need a
// CH341A or spidev adapter"); empty when it can.
std::string transportRefusal(const AdapterChoice& adapter, const ChipType& chip);

struct PortOptions;

// The adapter in use: the command line's, else the stored one, else the
// parallel port; a speed given on the command line overrides the stored one.
AdapterChoice resolveAdapter(const PortOptions& options,
                             const std::optional<AdapterChoice>& stored = std::nullopt);

// Puts --adapter TEXT, --i2c-speed KHZ and --spi-speed KHZ (each when given)
// into options, as both programs take them. Returns the usage error, or an
// empty text: an unknown adapter or speed, a speed for an adapter without
// that clock, or a trace (options.tracePath) on an adapter whose lines the
// program cannot see.
std::string applyAdapterOptions(PortOptions& options, const std::optional<std::string>& adapter,
                                const std::optional<int>& speedKhz,
                                const std::optional<int>& spiSpeedKhz = std::nullopt);

// The transactions of an adapter for a chip of that type: the parallel
// port's through the session, or the adapter's own controller or SPI
// transport, simulated when the session simulates a chip (with the
// session's content file, fault and write cycle). Opens nothing until
// claimed. A chip whose transport the adapter lacks gets a bus that opens
// nothing and whose every use throws PortError with transportRefusal().
std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session, const AdapterChoice& adapter,
                                         const ChipType& chip);
// The same for resolveAdapter(session.options()).
std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session, const ChipType& chip);
// For the I2C chips (the window's): the adapter's I2C transactions.
std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session, const AdapterChoice& adapter);
std::unique_ptr<DeviceBus> makeDeviceBus(PortSession& session);

}  // namespace kavoda
