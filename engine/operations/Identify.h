// SPDX-License-Identifier: MIT
// Which devices answer on an I2C bus, and which row of the chip table is the
// EEPROM at 0x50..0x57, found without a single write: reads only, and never
// a STOP after a word address byte (on a chip of one address byte the second
// one is a data byte, and a STOP after it would start a write cycle).
//
// The chip is told by what reads show: which block addresses answer, whether
// a read behaves as one with one or two word address bytes, where the cells
// repeat (a wrap of the address counter, the same block at two addresses).
// Every row of the table, at every level of its free pins, is held against
// what was seen; the verdict is certain only when one row (or rows that read
// alike) is left. Identical bytes are taken as the same cells only where they
// are not all one value: blank or uniform content proves nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ChipTable.h"
#include "MicrowireBus.h"

namespace kavoda {

class DeviceBus;
class OperationDisplay;

// The addresses of a bus scan, 0x08..0x77 as i2cdetect scans them.
inline constexpr std::uint8_t kScanFirst = 0x08;
inline constexpr std::uint8_t kScanLast = 0x77;
// Where the 24C and SDA families answer.
inline constexpr std::uint8_t kEepromFirst = 0x50;
inline constexpr std::uint8_t kEepromLast = 0x57;

// The 7-bit addresses from first to last that acknowledge a probe.
std::vector<std::uint8_t> scanBus(DeviceBus& bus, std::uint8_t first = kScanFirst,
                                  std::uint8_t last = kScanLast);
// The answers as i2cdetect draws them: a row of 16 addresses a line, the
// address where one answered, "--" where none did, blanks outside the scan.
std::string scanTable(const std::vector<std::uint8_t>& answering, std::uint8_t first = kScanFirst,
                      std::uint8_t last = kScanLast);

// How an answering address reads.
enum class Addressing {
    Unknown,    // everything that would tell read as one value
    OneByte,    // reads follow one word address byte
    TwoBytes,   // reads follow two word address bytes
    NotMemory,  // answers, but its reads follow no word address
};

// Each 32-byte window compared, as all-one-value or not.
using Window = std::vector<std::uint8_t>;

// What the reads of one answering address showed.
struct AddressSeen {
    std::uint8_t address = 0;  // 7-bit
    Addressing addressing = Addressing::Unknown;
    // Reads with two word address bytes: the same for every chip at that
    // address whatever its width, so they are compared across addresses.
    std::vector<Window> twoByteWindows;
    // 256 bytes from word address 0 with one address byte (empty when not read).
    Window block;
    // For two address bytes: the window at 4, 8, 16 and 32 KiB beyond the
    // reference window (empty when not read).
    std::vector<Window> wrapWindows;
    Window reference;
};

enum class Confidence { Certain, Undecided, NothingThere };

// One way the rows of the table could explain what answers.
struct Hypothesis {
    const ChipType* chip = nullptr;
    std::uint8_t pins = 0;
    bool ignoresPins = false;  // a 24C01/24C02-like part that answers at every pin level
};

struct Identification {
    Confidence confidence = Confidence::NothingThere;
    // Certain: the type to use, at its pins; rows that read alike beside it.
    Hypothesis chosen;
    std::vector<const ChipType*> alike;
    // Undecided: every row that fits what was seen.
    std::vector<const ChipType*> candidates;
    // "24C16 (certain: 8 blocks answer, 1-byte addressing, no wrap below 2 KiB)".
    std::string verdict;
    // Addresses that answer but fit no part of the chip.
    std::vector<std::string> doubts;
    std::vector<AddressSeen> seen;
};

// Reads the bus and judges. Throws PortError when the adapter fails.
Identification identifyI2c(DeviceBus& bus);
// What was seen, judged against every row of the table.
Identification judge(const std::vector<AddressSeen>& seen);
// One line per answering address: "0x50  1-byte addressing".
std::string seenText(const AddressSeen& seen);

// A 93Cxx, found without a write: the width of a READ's address (after
// how many address bits the chip drives its dummy 0), the rows and
// organisation of that width, and, between the two rows of one width (a
// 93C56 or 93C76 ignores its top address bit), what the content shows:
// read as the larger, the smaller one's halves are alike.
struct MicrowireIdentification {
    int addressBits = 0;                     // 0: nothing drives DO
    std::vector<MicrowireWidth> candidates;  // none: no 93Cxx has that width
    int organisation = 0;                    // of the candidates
    const ChipType* row = nullptr;           // the row, when it is certain
    bool stopped = false;                    // the content read was stopped
    std::vector<std::string> lines;          // what was seen, a sentence each
};
MicrowireIdentification identifyMicrowire(MicrowireBus& bus, OperationDisplay& display);
// "x8 (ORG to ground)", "x16 (ORG to VCC or open)".
std::string organisationWiring(int organisation);

}  // namespace kavoda
