// SPDX-License-Identifier: MIT
// The chip table: one row per EEPROM type with everything the engine needs
// to address, read and write it, and for the main window's types also their
// menu entry. A new chip is a new row. The address phase of any transaction
// (device address byte and word address bytes) comes from addressPhase(),
// which every adapter and the simulated chip use.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavoda {

// A row's protocol.
enum class Family { C24, SDA, Spi25, SpiNor, Microwire };

// What carries a family's commands; an adapter offers one or more. Lines:
// chip select, clock, data in and out set and read one level at a time
// (Microwire).
enum class Transport { I2c, Spi, Lines };
constexpr Transport transportOf(Family family)
{
    if (family == Family::Microwire)
        return Transport::Lines;
    return family == Family::Spi25 || family == Family::SpiNor ? Transport::Spi : Transport::I2c;
}

// One erase unit of an SPI flash: its size, its opcode, and its erase time
// (typical, for the simulation and progress; longest, to bound the polling).
struct EraseUnit {
    std::uint32_t size = 0;  // bytes; 0: no such unit
    std::uint8_t opcode = 0;
    std::uint32_t typicalMs = 0;
    std::uint32_t maxMs = 0;
};

// The fields of the SPI families (25xx EEPROMs, SPI NOR flash).
struct SpiFields {
    std::uint8_t addressBytes = 0;  // 1, 2, 3; a flash above 16 MiB uses 4
    bool a8InOpcode = false;        // address bit 8 in bit 3 of READ and WRITE (the 25040)
    std::uint32_t jedecId = 0;      // manufacturer, type, capacity: 0xEF4016; 0: none
    std::array<EraseUnit, 3> erase{};  // smallest first
    std::uint8_t chipEraseOpcode = 0;  // C7 (60 on the same parts); 0: none
    std::uint32_t chipEraseTypicalMs = 0;
    std::uint32_t chipEraseMaxMs = 0;
    std::uint32_t programTypicalUs = 0;  // a page program, for the simulation
    std::uint8_t protectBits = 2;        // block-protect bits from status bit 2 up
    bool fourByteOpcodes = false;        // 13h 12h 21h DCh above 16 MiB (else B7h)
    bool hasSfdp = false;                // answers 5Ah with a JESD216 table
    bool fromSfdp = false;               // size and erase units read from the chip
};

// How the two bytes of a 16-bit word lie in an image: the chip shifts the
// high byte first (Big); many saved dumps hold the low byte first.
enum class ByteOrder { Big, Little };

// The fields of the Microwire family (93Cxx). The organisation is set by the
// chip's ORG pin, which no program can see: a row leaves it open (0) and
// withOrganisation() makes the type that is used.
struct MicrowireFields {
    std::uint8_t addressBits8 = 0;   // address bits of a command, x8 (a top one may be don't care)
    std::uint8_t addressBits16 = 0;  // and x16
    std::uint8_t organisation = 0;   // 8 or 16; 0: not chosen
    ByteOrder byteOrder = ByteOrder::Big;
    std::uint32_t eraseAllUs = 0;    // longest ERAL and WRAL cycles
    std::uint32_t writeAllUs = 0;
};

struct ChipType {
    std::string_view caption;    // the type's name: "24C16"
    int size;                    // bytes
    int pageSize;                // bytes one write may carry (a byte-write part: 1)
    int wordAddressBytes;        // 1 or 2
    // How the block number (the address bits above the word address) enters
    // the device address byte: (block & blockMask) << blockShift.
    std::uint8_t blockShift;
    std::uint8_t blockMask;
    // The A2..A0 pin levels a user may choose (--chip-address): the pins
    // that do not carry block bits.
    std::uint8_t chipAddressMask;
    std::uint32_t writeCycleUs;  // the longest write cycle of the datasheets
    Family family;
    // The main window's device menus; empty menu: a type of kavoda-cli only.
    std::string_view menu;
    std::string_view handler;
    std::string_view panelText;
    std::uint8_t deviceType;     // 1..4 (24C), 6..8 (SDA) for the window; 16 on for the others
    std::uint8_t lastBlock;      // the window's 256-byte blocks minus one
    SpiFields spi{};
    MicrowireFields microwire{};

    Transport transport() const { return transportOf(family); }
    bool isMicrowire() const { return family == Family::Microwire; }
    // Bytes of one word of the chip: 2 for a x16 Microwire chip, else 1.
    int wordBytes() const { return isMicrowire() && microwire.organisation == 16 ? 2 : 1; }
    // The address bits a Microwire command carries in the chosen organisation.
    int addressBits() const
    {
        return microwire.organisation == 16 ? microwire.addressBits16 : microwire.addressBits8;
    }
    bool isFlash() const { return family == Family::SpiNor; }
    // The smallest erase unit of a flash (4 KiB on most).
    const EraseUnit& smallestErase() const { return spi.erase[0]; }

    int sizeBytes() const { return size; }
    bool inWindow() const { return !menu.empty(); }
    // Bytes one device address byte reaches: 256 or 64 KiB.
    std::uint32_t blockSpan() const { return wordAddressBytes == 1 ? 0x100u : 0x10000u; }
    // Sequential reads never cross this: some parts wrap their counter
    // inside a block, so one run per 256-byte block for the one-byte types.
    // An SPI chip reads on across its whole memory.
    std::uint32_t readBoundary() const
    {
        return transport() == Transport::I2c ? blockSpan() : 0x40000000u;
    }
};

// The window's types in menu order, then the others by size.
inline constexpr std::size_t kChipCount = 65;
extern const std::array<ChipType, kChipCount> kChipTable;
inline constexpr std::size_t kWindowChipCount = 7;

// The rows a transport carries, in table order: what an I2C adapter's
// loops, listings and the window mean by "every chip".
std::vector<const ChipType*> chipsOf(Transport transport);
// "24C (I2C EEPROM)", "25xx (SPI EEPROM)", "SPI NOR flash", "93Cxx (Microwire EEPROM)".
std::string_view familyName(Family family);
// A flash row by its JEDEC ID; nullptr when none has it.
const ChipType* findChipByJedecId(std::uint32_t id);

// The bytes of an address phase: the device address byte (write direction;
// OR 1 for reading) and the word address, most significant byte first.
struct AddressPhase {
    std::uint8_t device = 0xA0;
    std::uint8_t word[2] = {0, 0};
    int wordBytes = 1;
};

// For the byte at `address` (0 .. size-1) of a chip whose free address pins
// are at `chipAddress` levels.
AddressPhase addressPhase(const ChipType& chip, std::uint32_t address,
                          std::uint8_t chipAddress = 0);
// The byte of an address phase's device address that the chip of that type,
// with its pins at chipAddress, answers; the block it selects, or nothing.
std::optional<std::uint32_t> blockAnswering(const ChipType& chip, std::uint8_t addressByte,
                                            std::uint8_t chipAddress = 0);

// A Microwire row with its organisation (8 or 16) and byte order: its word
// is its page. Other rows come back as they are.
ChipType withOrganisation(const ChipType& row, int organisation, ByteOrder order);
// "x16, big-endian (high byte first)"; "x8" for a x8 chip.
std::string organisationText(const ChipType& chip);
// The organisation a maker's suffix fixes: 93LC66A is x8, 93LC66B x16; 0
// when the name leaves it to the ORG pin.
int organisationOfName(std::string_view name);

// Case-insensitive lookup among all rows ("24c64", "24C1024" for 24M01).
const ChipType* findChip(std::string_view caption);
// By code (the window's DeviceType, or a row's code beyond it).
const ChipType* findChipByCode(std::uint8_t code);
// "24C01, 24C02, ..." for messages: every row, or the window's only.
std::string chipCaptions(bool windowOnly = false);
std::string chipCaptions(Transport transport);

}  // namespace kavoda
