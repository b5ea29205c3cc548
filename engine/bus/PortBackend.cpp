// SPDX-License-Identifier: MIT
// The installed port backend and the default wide accesses.
#include "PortBackend.h"

#include "HexText.h"

namespace kavoda {

namespace {
PortBackend* g_backend = nullptr;
}

std::uint16_t PortBackend::readWord(std::uint16_t port)
{
    const std::uint16_t low = read(port);
    const std::uint16_t high = read(static_cast<std::uint16_t>(port + 1));
    return static_cast<std::uint16_t>(low | (high << 8));
}

void PortBackend::writeWord(std::uint16_t port, std::uint16_t value)
{
    write(port, static_cast<std::uint8_t>(value));
    write(static_cast<std::uint16_t>(port + 1), static_cast<std::uint8_t>(value >> 8));
}

std::uint32_t PortBackend::readDword(std::uint16_t port)
{
    const std::uint32_t low = readWord(port);
    const std::uint32_t high = readWord(static_cast<std::uint16_t>(port + 2));
    return low | (high << 16);
}

void PortBackend::writeDword(std::uint16_t port, std::uint32_t value)
{
    writeWord(port, static_cast<std::uint16_t>(value));
    writeWord(static_cast<std::uint16_t>(port + 2), static_cast<std::uint16_t>(value >> 16));
}

PortBackend* installedPortBackend()
{
    return g_backend;
}

PortBackend* installPortBackend(PortBackend* backend)
{
    PortBackend* previous = g_backend;
    g_backend = backend;
    return previous;
}

ScopedPortBackend::ScopedPortBackend(PortBackend& backend)
    : m_previous(installPortBackend(&backend))
{
}

ScopedPortBackend::~ScopedPortBackend()
{
    installPortBackend(m_previous);
}

std::string portAddressText(std::uint16_t port)
{
    return addressHex(port);
}

}  // namespace kavoda
