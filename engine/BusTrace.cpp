// SPDX-License-Identifier: MIT
// VCD writer for the bus lines.
#include "BusTrace.h"

#include <cerrno>
#include <cstring>

namespace kavoda {

namespace {
constexpr char kSclId = '!';
constexpr char kSdaId = '"';
}  // namespace

BusTrace::BusTrace(const std::string& path, PortBackend& inner, std::uint16_t portBase)
    : m_path(path), m_out(path, std::ios::out | std::ios::trunc), m_inner(&inner), m_base(portBase)
{
    if (!m_out)
        throw PortError("Cannot write the bus trace " + path + ": " + std::strerror(errno));
    m_scl = (m_dataRegister & 1) != 0;
    m_sda = dataLine();
    m_out << "$version Kavoda bus trace $end\n"
          << "$timescale 1 us $end\n"
          << "$scope module adapter $end\n"
          << "$var wire 1 " << kSclId << " SCL $end\n"
          << "$var wire 1 " << kSdaId << " SDA $end\n"
          << "$upscope $end\n"
          << "$enddefinitions $end\n"
          << "#0\n"
          << "$dumpvars\n"
          << (m_scl ? '1' : '0') << kSclId << '\n'
          << (m_sda ? '1' : '0') << kSdaId << '\n'
          << "$end\n";
}

BusTrace::~BusTrace()
{
    finish();
}

void BusTrace::finish()
{
    if (!m_out.is_open())
        return;
    // A closing timestamp lets viewers draw the last level to its end.
    m_out << '#' << (m_time + kIdleSteps) << '\n';
    m_out.close();
}

void BusTrace::setInner(PortBackend& inner, std::uint16_t portBase)
{
    m_inner = &inner;
    m_base = portBase;
}

bool BusTrace::dataLine() const
{
    if (const auto line = m_inner->busDataLine())
        return *line;
    return (m_controlRegister & 1) != 0;
}

std::uint8_t BusTrace::read(std::uint16_t port)
{
    const std::uint8_t value = m_inner->read(port);
    step();
    return value;
}

void BusTrace::write(std::uint16_t port, std::uint8_t value)
{
    m_inner->write(port, value);
    if (port == m_base)
        m_dataRegister = value;
    else if (port == m_base + 2)
        m_controlRegister = value;
    step();
}

void BusTrace::step()
{
    if (!m_out.is_open())
        return;
    const bool scl = (m_dataRegister & 1) != 0;
    const bool sda = dataLine();
    if (scl != m_scl || sda != m_sda) {
        m_out << '#' << m_time << '\n';
        if (scl != m_scl)
            m_out << (scl ? '1' : '0') << kSclId << '\n';
        if (sda != m_sda)
            m_out << (sda ? '1' : '0') << kSdaId << '\n';
        m_scl = scl;
        m_sda = sda;
    }
    ++m_time;
}

}  // namespace kavoda
