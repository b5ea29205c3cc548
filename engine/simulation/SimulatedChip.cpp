// SPDX-License-Identifier: MIT
// The simulated adapter and EEPROM: the two-wire slave state machine, the
// address decoding of both families, write cycles and the content file.
#include "SimulatedChip.h"
#include "SafeFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <limits>
#include <system_error>
#include <utility>

namespace kavoda {

namespace {

const ChipType& entryFor(std::uint8_t deviceType)
{
    const ChipType* entry = findChipByCode(deviceType);
    if (!entry)
        throw PortError("There is no device type " + std::to_string(deviceType) +
                        " to simulate");
    return *entry;
}

// cause: the errno of the failing call, taken before any clean-up can change it.
std::string fileError(const std::string& what, const std::string& path, int cause)
{
    return what + " the simulated chip's content file " + path + ": " + std::strerror(cause);
}

bool refusedForWriting(int cause)
{
    return cause == EACCES || cause == EPERM || cause == EROFS;
}

}  // namespace

std::optional<ChipFault> chipFaultNamed(std::string_view name)
{
    if (name == "none")
        return ChipFault::None;
    if (name == "empty")
        return ChipFault::EmptySocket;
    if (name == "busy")
        return ChipFault::EndlessWriteCycle;
    if (name == "readonly")
        return ChipFault::WritesDoNotStick;
    if (name == "protected")
        return ChipFault::WriteProtected;
    return std::nullopt;
}

SimulatedChip::SimulatedChip(const ChipOptions& options)
    : m_type(&entryFor(options.deviceType)),
      m_fault(options.fault),
      m_writeCycleNs(options.writeCycleNs.value_or(std::uint64_t{m_type->writeCycleUs} * 1000u)),
      m_imagePath(options.imagePath),
      m_cells(static_cast<std::size_t>(m_type->sizeBytes()), 0xFF),
      m_chipAddress(options.chipAddress)
{
    if (!m_imagePath.empty())
        loadImage();
}

void SimulatedChip::loadImage()
{
    namespace fs = std::filesystem;
    const fs::path path(m_imagePath);
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec)
        throw PortError("Cannot use the simulated chip's content file " + m_imagePath + ": " +
                        ec.message());
    if (!exists) {
        // A new chip is erased. Written whole or not at all, so that no
        // half-written file is ever left under the real name.
        try {
            writeFileSafely(m_imagePath, std::string_view(reinterpret_cast<const char*>(
                                                              m_cells.data()),
                                                          m_cells.size()));
        } catch (const SafeFileError& e) {
            throw PortError("Cannot create the simulated chip's content file " + m_imagePath +
                            ": " + e.reason());
        }
    } else {
        if (!fs::is_regular_file(path, ec))
            throw PortError("The simulated chip's content file " + m_imagePath +
                            " is not a regular file");
        const auto size = fs::file_size(path, ec);
        if (ec)
            throw PortError("Cannot use the simulated chip's content file " + m_imagePath +
                            ": " + ec.message());
        if (size != m_cells.size())
            throw PortError("The simulated chip's content file " + m_imagePath + " holds " +
                            std::to_string(size) + " bytes, but a " +
                            std::string(m_type->caption) + " holds " +
                            std::to_string(m_cells.size()) +
                            "; choose another file for this type");
    }
    errno = 0;
    m_image.open(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!m_image && refusedForWriting(errno)) {
        // A write-protected chip: reads are served, writes refused.
        m_image.clear();
        m_image.open(path, std::ios::in | std::ios::binary);
        m_readOnly = true;
    }
    if (!m_image)
        throw PortError(fileError("Cannot open", m_imagePath, errno));
    errno = 0;
    m_image.read(reinterpret_cast<char*>(m_cells.data()),
                 static_cast<std::streamsize>(m_cells.size()));
    if (!m_image) {
        const int cause = errno;
        throw PortError(cause ? fileError("Cannot read", m_imagePath, cause)
                              : "The simulated chip's content file " + m_imagePath +
                                    " ended early while being read");
    }
}

void SimulatedChip::store(int address, std::uint8_t value)
{
    if (m_readOnly)
        throw PortError("The simulated chip's content file " + m_imagePath +
                        " is read-only: the chip can be read but not written");
    if (m_image.is_open()) {
        // Written through byte by byte, in place: a file of the right size is
        // never truncated, so an interrupted run leaves at worst an old byte.
        errno = 0;
        m_image.seekp(address);
        m_image.put(static_cast<char>(value));
        m_image.flush();
        if (!m_image) {
            const int cause = errno ? errno : EIO;
            m_image.clear();
            throw PortError(fileError("Cannot write", m_imagePath, cause));
        }
    }
    // Only what reached the file counts as stored: memory and file agree.
    m_cells[static_cast<std::size_t>(address)] = value;
}

void SimulatedChip::drive(bool clock, bool hostData, std::uint64_t nowNs)
{
    const bool data = hostData && !m_pullDown;
    if (m_clock && clock) {
        const bool changed = data != m_data;
        m_data = data;
        if (changed) {
            // Data changing while the clock is high is a bus condition.
            if (data)
                onStop(nowNs);
            else
                onStart(nowNs);
        }
        return;
    }
    if (!m_clock && clock) {
        m_clock = true;
        m_data = data;
        onClockRise(data);
        return;
    }
    if (m_clock && !clock) {
        m_clock = false;
        onClockFall();
        m_data = hostData && !m_pullDown;
        return;
    }
    m_data = data;
}

void SimulatedChip::onStart(std::uint64_t nowNs)
{
    // A START, repeated or not, abandons any unfinished command; bytes of a
    // write only ever get stored by its STOP.
    m_pending.clear();
    m_pullDown = false;
    m_bits = 0;
    m_shift = 0;
    m_reading = false;
    // During the internal write cycle the inputs are ignored.
    if (m_fault == ChipFault::EmptySocket || writeCycleRunning(nowNs)) {
        m_phase = Phase::Idle;
        return;
    }
    m_phase = Phase::Receive;
    m_expect = Expect::DeviceAddress;
}

void SimulatedChip::onStop(std::uint64_t nowNs)
{
    const bool writing = m_phase != Phase::Idle && !m_pending.empty();
    m_phase = Phase::Idle;
    m_pullDown = false;
    m_reading = false;
    if (!writing)
        return;
    const auto pending = std::move(m_pending);
    m_pending.clear();
    if (m_fault != ChipFault::WritesDoNotStick) {
        for (const auto& [address, value] : pending)
            store(address, value);
    }
    ++m_writeCycles;
    m_busyUntilNs = m_fault == ChipFault::EndlessWriteCycle
                        ? std::numeric_limits<std::uint64_t>::max()
                        : nowNs + m_writeCycleNs;
}

void SimulatedChip::onClockRise(bool data)
{
    switch (m_phase) {
    case Phase::Receive:
        if (m_bits < 8) {
            m_shift = static_cast<std::uint8_t>((m_shift << 1) | (data ? 1 : 0));
            ++m_bits;
        }
        break;
    case Phase::AckIn:
        m_hostAcked = !data;
        break;
    case Phase::Idle:
    case Phase::AckOut:
    case Phase::Transmit:
        break;
    }
}

void SimulatedChip::onClockFall()
{
    switch (m_phase) {
    case Phase::Idle:
        break;
    case Phase::Receive:
        if (m_bits == 8)
            byteReceived();
        break;
    case Phase::AckOut:
        // The acknowledge clock is over: release the line.
        m_pullDown = false;
        if (m_reading) {
            m_phase = Phase::Transmit;
            loadNextByte();
        } else {
            m_phase = Phase::Receive;
            m_bits = 0;
            m_shift = 0;
        }
        break;
    case Phase::Transmit:
        ++m_bits;
        if (m_bits == 8) {
            m_phase = Phase::AckIn;
            m_pullDown = false;
        } else {
            m_pullDown = ((m_outByte >> (7 - m_bits)) & 1) == 0;
        }
        break;
    case Phase::AckIn:
        if (m_hostAcked) {
            m_phase = Phase::Transmit;
            loadNextByte();
        } else {
            // No acknowledge from the host ends the read; wait for STOP or START.
            m_phase = Phase::Idle;
        }
        break;
    }
}

void SimulatedChip::loadNextByte()
{
    m_outByte = m_cells[static_cast<std::size_t>(m_counter)];
    m_counter = (m_counter + 1) % size();
    m_bits = 0;
    m_pullDown = (m_outByte & 0x80) == 0;
}

void SimulatedChip::byteReceived()
{
    const std::uint8_t value = m_shift;
    m_bits = 0;
    m_shift = 0;
    const int span = static_cast<int>(m_type->blockSpan());
    switch (m_expect) {
    case Expect::DeviceAddress: {
        const auto block = blockAnswering(*m_type, value, m_chipAddress);
        if (!block) {
            m_phase = Phase::Idle;  // not ours: stay silent until the next START
            return;
        }
        m_block = static_cast<int>(*block);
        m_reading = (value & 0x01) != 0;
        if (m_reading) {
            // The block bits of a read address are the high address bits.
            m_counter = (m_block * span + m_counter % span) % size();
        }
        m_wordHigh = 0;
        m_expect = m_type->wordAddressBytes == 2 ? Expect::WordAddressHigh : Expect::WordAddress;
        break;
    }
    case Expect::WordAddressHigh:
        m_wordHigh = value;
        m_expect = Expect::WordAddress;
        break;
    case Expect::WordAddress:
        // Address bits beyond the chip are ignored (the 24C01 uses 7).
        m_counter = (m_block * span + m_wordHigh * 256 + value) % size();
        m_expect = Expect::Data;
        break;
    case Expect::Data: {
        if (m_fault == ChipFault::WriteProtected) {
            // The address was taken, the data is not: no acknowledge.
            m_phase = Phase::AckOut;
            m_pullDown = false;
            return;
        }
        // The page buffer: the low address bits count up and wrap inside
        // the page, the high ones stay.
        const int page = std::max(1, m_type->pageSize);
        m_pending.emplace_back(m_counter, value);
        m_counter = (m_counter / page) * page + (m_counter + 1) % page;
        break;
    }
    }
    m_phase = Phase::AckOut;
    m_pullDown = true;
}

SimulatedAdapter::SimulatedAdapter(std::uint16_t portBase, const ChipOptions& chip)
    : m_base(portBase), m_chip(chip)
{
}

std::uint8_t SimulatedAdapter::read(std::uint16_t port)
{
    m_nowNs += kAccessNs;
    if (port == m_base)
        return m_dataRegister;
    if (port == m_base + 1) {
        const bool line = (m_controlRegister & 1) && !m_chip.pullsDataLow();
        return static_cast<std::uint8_t>(kIdleStatus | (line ? kDataLineBit : 0));
    }
    if (port == m_base + 2)
        return m_controlRegister;
    return 0xFF;  // nothing decodes other addresses
}

void SimulatedAdapter::write(std::uint16_t port, std::uint8_t value)
{
    m_nowNs += kAccessNs;
    if (port == m_base)
        m_dataRegister = value;
    else if (port == m_base + 2)
        m_controlRegister = value;
    else
        return;
    m_chip.drive((m_dataRegister & 1) != 0, (m_controlRegister & 1) != 0, m_nowNs);
}

void SimulatedAdapter::onWait(std::int64_t iterations)
{
    if (iterations > 0)
        m_nowNs += static_cast<std::uint64_t>(iterations) * kWaitIterationNs;
}

std::optional<bool> SimulatedAdapter::busDataLine() const
{
    return (m_controlRegister & 1) != 0 && !m_chip.pullsDataLow();
}

}  // namespace kavoda
