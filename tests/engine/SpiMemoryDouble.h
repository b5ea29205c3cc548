// SPDX-License-Identifier: MIT
// A memory on an SPI bus for the adapters' tests and benchmarks, standing in
// for the families' simulated chips: READ (03, three address bytes) answers
// from its cells, PROGRAM (02) stores its bytes when chip select is released,
// and every command is recorded as the chip saw it, one per select.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "SimulatedSpiDevice.h"
#include "SpiTransport.h"

namespace kavoda::test {

class SpiMemoryDouble final : public SimulatedSpiDevice {
public:
    explicit SpiMemoryDouble(std::size_t size) : m_cells(size)
    {
        for (std::size_t i = 0; i < size; ++i)
            m_cells[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8) + 3);
    }

    void select(std::uint64_t) override
    {
        if (m_selected)
            throw std::logic_error("selected twice without a release");
        m_selected = true;
        m_command.clear();
    }
    std::uint8_t exchange(std::uint8_t mosi, std::uint64_t) override
    {
        // Deselected, the chip's output floats: the adapter reads its pull-up.
        if (!m_selected)
            return 0xFF;
        m_command.push_back(mosi);
        if (m_command[0] == 0x03 && m_command.size() > 4)
            return m_cells[(address() + m_command.size() - 5) % m_cells.size()];
        return 0xFF;
    }
    void deselect(std::uint64_t) override
    {
        if (!m_selected)
            throw std::logic_error("released without a select");
        m_selected = false;
        if (m_command.size() > 4 && m_command[0] == 0x02) {
            for (std::size_t i = 4; i < m_command.size(); ++i)
                m_cells[(address() + i - 4) % m_cells.size()] = m_command[i];
            ++m_writeCycles;
        }
        commands.push_back(m_command);
    }

    std::uint8_t cell(std::uint32_t at) const override { return m_cells.at(at); }
    std::uint64_t writeCycles() const override { return m_writeCycles; }
    bool selected() const { return m_selected; }

    // Every command between a select and its release, in order.
    std::vector<std::vector<std::uint8_t>> commands;

private:
    std::size_t address() const
    {
        return static_cast<std::size_t>(m_command[1]) << 16 |
               static_cast<std::size_t>(m_command[2]) << 8 | m_command[3];
    }

    std::vector<std::uint8_t> m_cells;
    std::vector<std::uint8_t> m_command;
    bool m_selected = false;
    std::uint64_t m_writeCycles = 0;
};

// READ of n bytes at address: the command and its three address bytes.
inline SpiTransaction readCommand(std::uint32_t address, std::uint32_t n)
{
    return SpiTransaction{{0x03, static_cast<std::uint8_t>(address >> 16),
                           static_cast<std::uint8_t>(address >> 8),
                           static_cast<std::uint8_t>(address)},
                          n};
}

}  // namespace kavoda::test
