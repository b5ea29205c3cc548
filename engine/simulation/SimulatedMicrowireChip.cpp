// SPDX-License-Identifier: MIT
// The simulated 93Cxx Microwire EEPROM, as the Microchip 93AA/93LC/93C,
// Atmel AT93C and ST M93C datasheets describe it:
// - with CS high, leading 0 bits are ignored; a 1 taken as SK rises is the
//   start bit, then two opcode bits and the address bits of the
//   organisation (x8 or x16, by the ORG pin; the top one is don't care on
//   the 93C56 and 93C76);
// - READ (10): after the last address bit DO drives a dummy 0, then the
//   word's bits, most significant first, each as SK rises; reading on goes
//   to the next word;
// - EWEN (00 11...) allows writes until EWDS (00 00...); WRITE (01) with
//   its data, ERASE (11), ERAL (00 10...) and WRAL (00 01... with data)
//   start their cycle when CS falls after a complete command, and only
//   with writes allowed;
// - during the cycle the chip takes no command; with CS high, DO reads low
//   (busy) until it ends, then high (ready);
// - CS low ends any command and releases DO.
#include <algorithm>
#include <limits>
#include <optional>

#include "ChipTable.h"
#include "SimulatedContentFile.h"
#include "SimulatedWireDevice.h"

namespace kavoda {

namespace {

constexpr std::uint64_t kForever = std::numeric_limits<std::uint64_t>::max();
// Typical cycles of the datasheets; the table holds the longest.
constexpr std::uint64_t kTypicalWriteNs = 3'000'000;
constexpr std::uint64_t kTypicalAllNs = 6'000'000;
constexpr std::uint64_t kShortestCycleNs = 100'000;

class SimulatedMicrowireChip final : public SimulatedWireDevice {
public:
    explicit SimulatedMicrowireChip(const ChipOptions& options) : m_fault(options.fault)
    {
        const ChipType* row = findChipByCode(options.deviceType);
        if (!row || !row->isMicrowire())
            throw PortError("There is no Microwire chip type " + std::to_string(options.deviceType));
        const int organisation = options.organisation == 8 ? 8 : 16;
        m_row = withOrganisation(*row, organisation, ByteOrder::Big);
        m_wordBits = organisation;
        m_addressBits = m_row.addressBits();
        m_words = static_cast<std::uint32_t>(m_row.size / m_row.wordBytes());
        m_cells.assign(static_cast<std::size_t>(m_row.size), 0xFF);
        // No part stores a word in less than a tenth of a millisecond; a
        // cycle of 0 would be a chip that takes no writes.
        m_cycleNs = std::max(kShortestCycleNs, options.writeCycleNs.value_or(kTypicalWriteNs));
        m_allNs = options.writeCycleNs ? 2 * m_cycleNs : kTypicalAllNs;
        if (!options.imagePath.empty())
            m_file = std::make_unique<ContentFile>(options.imagePath, m_cells, m_row.caption);
    }

    void drive(bool select, bool clock, bool dataIn, std::uint64_t nowNs) override
    {
        if (!select) {
            if (m_select)
                endCommand(nowNs);
            m_select = false;
            m_clock = clock;
            return;
        }
        if (!m_select) {
            m_select = true;
            m_state = State::Idle;
            m_busy = nowNs < m_busyUntilNs;
            m_showStatus = true;
        }
        const bool rising = clock && !m_clock;
        m_clock = clock;
        if (rising)
            clockRise(dataIn, nowNs);
    }

    bool dataOut(std::uint64_t nowNs) const override
    {
        if (!m_select || m_fault == ChipFault::EmptySocket)
            return true;
        if (m_state == State::Reading)
            return m_out;
        if (m_showStatus && m_state == State::Idle)
            return nowNs >= m_busyUntilNs;
        return true;
    }

    std::uint8_t cell(std::uint32_t address) const override { return m_cells.at(address); }
    std::uint64_t writeCycles() const override { return m_writeCycles; }

private:
    enum class State { Idle, Command, Reading, Data, Done };

    void clockRise(bool dataIn, std::uint64_t nowNs)
    {
        switch (m_state) {
        case State::Idle:
            // Leading zeros are ignored; a chip in its cycle takes nothing.
            if (!dataIn || m_busy || nowNs < m_busyUntilNs || m_fault == ChipFault::EmptySocket)
                return;
            m_showStatus = false;
            m_state = State::Command;
            m_bits = 0;
            m_shift = 0;
            return;
        case State::Command:
            m_shift = m_shift << 1 | (dataIn ? 1u : 0u);
            if (++m_bits < 2 + m_addressBits)
                return;
            m_opcode = m_shift >> m_addressBits;
            m_address = m_shift & ((1u << m_addressBits) - 1);
            m_bits = 0;
            m_shift = 0;
            if (m_opcode == 2) {
                m_state = State::Reading;
                m_word = m_address % m_words;
                m_out = false;  // the dummy 0
                m_outBit = m_wordBits;
            } else if (m_opcode == 1 || (m_opcode == 0 && topBits() == 1)) {
                m_state = State::Data;
            } else {
                m_state = State::Done;
            }
            return;
        case State::Reading:
            if (m_outBit == 0) {
                m_word = (m_word + 1) % m_words;
                m_outBit = m_wordBits;
            }
            --m_outBit;
            m_out = (wordAt(m_word) >> m_outBit & 1) != 0;
            return;
        case State::Data:
            m_shift = m_shift << 1 | (dataIn ? 1u : 0u);
            if (++m_bits == m_wordBits)
                m_state = State::Done;
            return;
        case State::Done:
            return;
        }
    }

    // The two address bits after opcode 00 that choose EWDS, WRAL, ERAL, EWEN.
    unsigned topBits() const { return m_address >> (m_addressBits - 2); }

    void endCommand(std::uint64_t nowNs)
    {
        if (m_state != State::Done || m_fault == ChipFault::EmptySocket) {
            m_state = State::Idle;
            return;
        }
        m_state = State::Idle;
        const unsigned all = m_wordBits == 16 ? 0xFFFFu : 0xFFu;
        if (m_opcode == 0) {
            switch (topBits()) {
            case 3:  // EWEN; a protected chip (PE low, or a part locked) refuses it
                m_enabled = m_fault != ChipFault::WriteProtected;
                return;
            case 0:  // EWDS
                m_enabled = false;
                return;
            case 2:  // ERAL
                if (m_enabled)
                    storeAll(all, m_allNs, nowNs);
                return;
            default:  // WRAL
                if (m_enabled)
                    storeAll(m_shift, m_allNs, nowNs);
                return;
            }
        }
        if (!m_enabled)
            return;
        const std::uint32_t word = m_address % m_words;
        startCycle(m_cycleNs, nowNs);
        if (m_fault != ChipFault::WritesDoNotStick)
            store(word, m_opcode == 1 ? m_shift : all);
    }

    void startCycle(std::uint64_t ns, std::uint64_t nowNs)
    {
        ++m_writeCycles;
        m_busyUntilNs = m_fault == ChipFault::EndlessWriteCycle ? kForever : nowNs + ns;
    }

    void storeAll(unsigned value, std::uint64_t ns, std::uint64_t nowNs)
    {
        startCycle(ns, nowNs);
        if (m_fault == ChipFault::WritesDoNotStick)
            return;
        std::vector<std::uint8_t> cells(m_cells.size());
        for (std::uint32_t w = 0; w < m_words; ++w)
            put(cells, w, value);
        if (m_file)
            m_file->store(cells.data(), 0, static_cast<std::uint32_t>(cells.size()));
        m_cells = std::move(cells);
    }

    void store(std::uint32_t word, unsigned value)
    {
        std::vector<std::uint8_t> cells = m_cells;
        put(cells, word, value);
        const std::uint32_t at = word * static_cast<std::uint32_t>(m_row.wordBytes());
        if (m_file)
            m_file->store(cells.data() + at, at, static_cast<std::uint32_t>(m_row.wordBytes()));
        m_cells = std::move(cells);
    }

    void put(std::vector<std::uint8_t>& cells, std::uint32_t word, unsigned value) const
    {
        if (m_wordBits == 16) {
            cells[2 * word] = static_cast<std::uint8_t>(value >> 8);
            cells[2 * word + 1] = static_cast<std::uint8_t>(value);
        } else {
            cells[word] = static_cast<std::uint8_t>(value);
        }
    }

    unsigned wordAt(std::uint32_t word) const
    {
        if (m_wordBits == 16)
            return static_cast<unsigned>(m_cells[2 * word]) << 8 | m_cells[2 * word + 1];
        return m_cells[word];
    }

    ChipType m_row{};
    ChipFault m_fault;
    int m_wordBits = 16;
    int m_addressBits = 0;
    std::uint32_t m_words = 0;
    std::vector<std::uint8_t> m_cells;
    std::unique_ptr<ContentFile> m_file;
    std::uint64_t m_cycleNs = 0;
    std::uint64_t m_allNs = 0;

    bool m_select = false;
    bool m_clock = false;
    bool m_busy = false;
    bool m_showStatus = false;
    bool m_enabled = false;
    State m_state = State::Idle;
    int m_bits = 0;
    unsigned m_shift = 0;
    unsigned m_opcode = 0;
    unsigned m_address = 0;
    std::uint32_t m_word = 0;
    int m_outBit = 0;
    bool m_out = true;
    std::uint64_t m_busyUntilNs = 0;
    std::uint64_t m_writeCycles = 0;
};

}  // namespace

std::unique_ptr<SimulatedWireDevice> makeSimulatedMicrowireChip(const ChipOptions& options)
{
    return std::make_unique<SimulatedMicrowireChip>(options);
}

}  // namespace kavoda
