// SPDX-License-Identifier: MIT
// VCD writer for the bus lines.
#include "BusTrace.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace kavoda {

namespace {
constexpr char kSclId = '!';
constexpr char kSdaId = '"';
constexpr std::uint8_t kStatusDataBit = 0x10;
// Written out early when no STOP comes for a long time.
constexpr std::size_t kMaxBuffered = 1 << 20;
}  // namespace

std::uint64_t monotonicNs()
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

BusTrace::BusTrace(const std::string& path, PortBackend& inner, std::uint16_t portBase,
                   BusClock clock)
    : m_path(path), m_inner(&inner), m_base(portBase), m_clock(std::move(clock))
{
    m_file = std::fopen(path.c_str(), "w");
    if (!m_file)
        throw PortError("Cannot write the bus trace " + path + ": " + std::strerror(errno));
    m_startNs = m_clock();
    m_scl = (m_dataRegister & 1) != 0;
    m_sda = m_inner->busDataLine().value_or(m_hostSda);
    m_buffer += "$version Kavoda bus trace $end\n"
                "$timescale " + std::to_string(kTickNs) + " ns $end\n"
                "$scope module adapter $end\n";
    m_buffer += std::string("$var wire 1 ") + kSclId + " SCL $end\n";
    m_buffer += std::string("$var wire 1 ") + kSdaId + " SDA $end\n";
    m_buffer += "$upscope $end\n"
                "$enddefinitions $end\n"
                "#0\n"
                "$dumpvars\n";
    m_buffer += std::string(1, m_scl ? '1' : '0') + kSclId + '\n';
    m_buffer += std::string(1, m_sda ? '1' : '0') + kSdaId + '\n';
    m_buffer += "$end\n";
}

BusTrace::~BusTrace()
{
    try {
        close();
    } catch (...) {
        // Reported by an explicit close(); a destructor must not throw.
    }
}

void BusTrace::setInner(PortBackend& inner, std::uint16_t portBase, BusClock clock)
{
    m_inner = &inner;
    m_base = portBase;
    m_clock = std::move(clock);
}

std::uint64_t BusTrace::tickNow() const
{
    const std::uint64_t now = m_clock();
    return kIdleTicks + (now > m_startNs ? (now - m_startNs) / kTickNs : 0);
}

std::uint8_t BusTrace::read(std::uint16_t port)
{
    const std::uint8_t value = m_inner->read(port);
    const auto wire = m_inner->busDataLine();
    const bool sampled = port == m_base + 1 && !wire;
    if (sampled)
        m_hostSda = (value & kStatusDataBit) != 0;
    record((m_dataRegister & 1) != 0, wire.value_or(m_hostSda), sampled);
    return value;
}

void BusTrace::write(std::uint16_t port, std::uint8_t value)
{
    m_inner->write(port, value);
    if (port == m_base)
        m_dataRegister = value;
    else if (port == m_base + 2)
        m_hostSda = (value & 1) != 0;
    record((m_dataRegister & 1) != 0, m_inner->busDataLine().value_or(m_hostSda), false);
}

void BusTrace::record(bool scl, bool sda, bool sampled)
{
    if (!m_file)
        return;
    const bool frameEnded = m_stopSeen;
    m_stopSeen = false;

    if (m_risePending)
        emitPendingRise(sampled ? std::optional<bool>(sda) : std::nullopt);
    if (scl != m_scl || sda != m_sda) {
        const bool wireKnown = m_inner->busDataLine().has_value();
        if (!m_scl && scl && sda == m_sda && !wireKnown) {
            m_risePending = true;
            m_riseTick = std::max(tickNow(), m_lastTick + 1);
        } else {
            emit(std::max(tickNow(), m_lastTick + 1), scl, sda);
        }
    }

    // The access after a STOP: the frame is complete on the bus, so this is
    // the place to write it out and to fail.
    if (frameEnded || m_buffer.size() > kMaxBuffered)
        writeOut();
    if (frameEnded)
        throwIfNewFailure();
}

void BusTrace::emitPendingRise(std::optional<bool> sampledSda)
{
    m_risePending = false;
    if (sampledSda && *sampledSda != m_sda) {
        // The chip drove the line before the clock rose (an acknowledge or
        // a data bit); show it there, so that the rise samples it and no
        // START or STOP appears inside the high time.
        emit(std::max(m_lastTick + 1, m_riseTick - 1), m_scl, *sampledSda);
    }
    emit(std::max(m_riseTick, m_lastTick + 1), true, m_sda);
}

void BusTrace::emit(std::uint64_t tick, bool scl, bool sda)
{
    if (scl == m_scl && sda == m_sda)
        return;
    if (m_scl && scl && !m_sda && sda)
        m_stopSeen = true;
    m_buffer += '#' + std::to_string(tick) + '\n';
    if (scl != m_scl)
        m_buffer += std::string(1, scl ? '1' : '0') + kSclId + '\n';
    if (sda != m_sda)
        m_buffer += std::string(1, sda ? '1' : '0') + kSdaId + '\n';
    m_scl = scl;
    m_sda = sda;
    m_lastTick = tick;
}

void BusTrace::writeOut()
{
    if (!m_file || m_buffer.empty())
        return;
    const std::size_t written = std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file);
    if (written != m_buffer.size() || std::fflush(m_file) != 0) {
        m_failure = "Cannot write the bus trace " + m_path + ": " + std::strerror(errno);
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_buffer.clear();
}

void BusTrace::throwIfNewFailure()
{
    if (m_failure.empty() || m_failureReported)
        return;
    m_failureReported = true;
    throw PortError(m_failure);
}

void BusTrace::flush()
{
    writeOut();
    throwIfNewFailure();
}

void BusTrace::close()
{
    if (m_file) {
        if (m_risePending)
            emitPendingRise(std::nullopt);
        // A closing time stamp lets viewers draw the last level to its end.
        m_buffer += '#' + std::to_string(std::max(tickNow(), m_lastTick) + kIdleTicks) + '\n';
        writeOut();
        if (m_file && std::fclose(m_file) != 0)
            m_failure = "Cannot write the bus trace " + m_path + ": " + std::strerror(errno);
        m_file = nullptr;
    }
    throwIfNewFailure();
}

}  // namespace kavoda
