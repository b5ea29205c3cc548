// SPDX-License-Identifier: MIT
// A bit-level model of the programming adapter with an EEPROM of any chip
// table type in its socket. Everything runs on virtual time, so tests are exact and
// never depend on the speed of the machine.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DeviceCatalogue.h"
#include "PortBackend.h"

namespace kavoda {

enum class ChipFault {
    None,
    EmptySocket,        // nothing answers: every acknowledge and data bit reads 1
    EndlessWriteCycle,  // the first stored byte starts a write cycle that never ends
    WritesDoNotStick,   // writes are acknowledged and timed, but the cells keep their value
    WriteProtected,     // WP pin high: addresses acknowledged, data bytes not, nothing stored
    // Not faults but other chips and buses, for identifying what is there:
    IgnoresPins,        // answers whatever its free address pins say (some 24C02 do)
    UniformContent,     // every byte 00 (a chip in memory only)
    Neighbour,          // a device that is no EEPROM answers at 0x52 with fixed data
};

// The faults by the names the command lines use: "empty", "busy",
// "readonly", "protected" (and "none"); empty when the name is none of them.
std::optional<ChipFault> chipFaultNamed(std::string_view name);
inline constexpr const char* kChipFaultNames =
    "empty, busy, readonly, protected, pinless, uniform, neighbour";

struct ChipOptions {
    std::uint8_t deviceType = 1;                // a chip table code
    std::string imagePath;                      // content file; empty = in memory only
    std::optional<std::uint64_t> writeCycleNs;  // empty = the datasheet value
    ChipFault fault = ChipFault::None;
    std::uint8_t chipAddress = 0;               // the levels of its free A2..A0 pins
    bool ignoresPins = false;                   // answers at every level of its free pins
    std::optional<std::uint8_t> uniform = std::nullopt;    // every byte this value (no content file)
    std::optional<std::uint8_t> neighbour = std::nullopt;  // 7-bit address of a device with fixed data
    int organisation = 0;  // a Microwire chip's ORG pin: 8, 16; 0 (left open) gives 16
};

// What the Neighbour device sends from any address, like a sensor's
// identification registers: no EEPROM content, and the same at every read.
inline constexpr std::uint8_t kNeighbourData[] = {0x4B, 0x56, 0x31, 0x00, 0x13, 0x37, 0x80, 0xE5};
inline constexpr std::uint8_t kNeighbourAddress = 0x52;


// The EEPROM itself: decodes START, STOP, address, word address and data bits
// from the two bus lines and drives the data line low when it acknowledges or
// sends a 0 bit.
class SimulatedChip {
public:
    // Throws PortError when the content file cannot be used: never touches a
    // file of the wrong size. A content file that cannot be opened for
    // writing gives a chip that serves reads and refuses writes (PortError).
    // The file is locked while the chip lives: a second program (or the
    // same file under another name) gets a PortError saying it is in use.
    explicit SimulatedChip(const ChipOptions& options);

    // The host's line levels after one register write, at virtual time nowNs.
    void drive(bool clock, bool hostData, std::uint64_t nowNs);
    // The chip's, or the device's beside it on the bus (wired AND).
    bool pullsDataLow() const { return m_pullDown || (m_neighbour && m_neighbour->m_pullDown); }
    bool writeCycleRunning(std::uint64_t nowNs) const { return nowNs < m_busyUntilNs; }

    const CatalogueEntry& type() const { return *m_type; }
    int size() const { return static_cast<int>(m_cells.size()); }
    std::uint8_t cell(int address) const { return m_cells.at(static_cast<std::size_t>(address)); }
    // How many write cycles the chip has started.
    std::uint64_t writeCycles() const { return m_writeCycles; }
    std::uint64_t writeCycleNs() const { return m_writeCycleNs; }
    // The content file could be opened for reading only: writes are refused.
    bool readOnly() const { return m_readOnly; }

private:
    enum class Phase { Idle, Receive, AckOut, Transmit, AckIn };
    enum class Expect { DeviceAddress, WordAddressHigh, WordAddress, Data };

    struct NeighbourTag {};
    SimulatedChip(const ChipOptions& options, NeighbourTag);
    void driveLine(bool clock, bool data, std::uint64_t nowNs);
    void onStart(std::uint64_t nowNs);
    void onStop(std::uint64_t nowNs);
    void onClockRise(bool data);
    void onClockFall();
    void byteReceived();
    void loadNextByte();
    // The bytes of one write, into memory and the content file, all or none.
    void storePage(const std::vector<std::pair<int, std::uint8_t>>& bytes);
    void putInFile(int address, std::uint8_t value);
    void loadImage();

    class ContentLock;

    const CatalogueEntry* m_type;
    ChipFault m_fault;
    std::uint64_t m_writeCycleNs;
    std::string m_imagePath;
    std::shared_ptr<ContentLock> m_lock;  // held as long as the chip is simulated
    std::shared_ptr<int> m_image;  // the content file's descriptor, closed with the chip
    bool m_readOnly = false;
    std::vector<std::uint8_t> m_cells;

    bool m_clock = false;
    bool m_data = true;
    bool m_pullDown = false;
    Phase m_phase = Phase::Idle;
    Expect m_expect = Expect::DeviceAddress;
    int m_bits = 0;
    std::uint8_t m_shift = 0;
    bool m_reading = false;
    bool m_hostAcked = false;
    std::uint8_t m_chipAddress;
    int m_block = 0;
    int m_counter = 0;  // internal address counter over the whole chip
    int m_wordHigh = 0;
    std::uint8_t m_outByte = 0;
    std::vector<std::pair<int, std::uint8_t>> m_pending;  // bytes to store at the STOP
    std::uint64_t m_busyUntilNs = 0;
    std::uint64_t m_writeCycles = 0;
    bool m_ignoresPins = false;
    std::optional<std::uint8_t> m_fixedAddress;  // set: this is the neighbour device
    std::unique_ptr<SimulatedChip> m_neighbour;
};

// The adapter: clock line = data register bit 0, data line driven by control
// register bit 0 and wired-AND with the chip's pull-down, status bit 4 reads
// the data line. Virtual time advances by kAccessNs per register access and by
// kWaitIterationNs per BusWait iteration.
class SimulatedAdapter final : public PortBackend {
public:
    // An ISA-bus port access takes about a microsecond.
    static constexpr std::uint64_t kAccessNs = 1000;
    // The wait loop of a late-1990s PC, about 100 million iterations a
    // second: the default Delay of 10 makes each wait 50 us.
    static constexpr std::uint64_t kWaitIterationNs = 10;
    // The other status inputs read as on a port with nothing else attached:
    // BUSY (bit 7, inverted) reads 0, ACK, PE and ERROR and the unused low bits
    // read 1. With the data line high the register reads 0x7F.
    static constexpr std::uint8_t kIdleStatus = 0x6F;
    static constexpr std::uint8_t kDataLineBit = 0x10;

    SimulatedAdapter(std::uint16_t portBase, const ChipOptions& chip);

    std::uint8_t read(std::uint16_t port) override;
    void write(std::uint16_t port, std::uint8_t value) override;
    void onWait(std::int64_t iterations) override;
    std::optional<bool> busDataLine() const override;

    void setPortBase(std::uint16_t portBase) { m_base = portBase; }
    std::uint16_t portBase() const { return m_base; }
    std::uint64_t nowNs() const { return m_nowNs; }
    // Lets virtual time pass with the bus idle.
    void elapse(std::uint64_t ns) { m_nowNs += ns; }
    SimulatedChip& chip() { return m_chip; }
    const SimulatedChip& chip() const { return m_chip; }

private:
    std::uint16_t m_base;
    std::uint8_t m_dataRegister = 0;     // clock low
    std::uint8_t m_controlRegister = 1;  // data line released
    std::uint64_t m_nowNs = 0;
    SimulatedChip m_chip;
};

}  // namespace kavoda
