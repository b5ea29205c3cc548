// SPDX-License-Identifier: MIT
// Opening, reopening and releasing the port behind BytePort.
#include "PortSession.h"

#include <utility>

#include "BusTrace.h"
#include "FileIdentity.h"
#include "HardwarePort.h"
#include "SimulatedChip.h"

namespace kavoda {

PortSession::PortSession(PortOptions options) : m_options(std::move(options)) {}

PortSession::~PortSession()
{
    close();
}

void PortSession::open(std::uint16_t portBase)
{
    if (isOpen() && portBase == m_base) {
        installPortBackend(m_installed);
        return;
    }
    close();
    if (m_closeFailure)
        std::rethrow_exception(std::exchange(m_closeFailure, nullptr));
    refuseTraceOverContent();
    // A trace that could not be written fails every operation after it too,
    // before it touches the bus.
    if (m_trace && !m_trace->failure().empty())
        throw PortError(m_trace->failure());

    PortBackend* backend = nullptr;
    if (m_options.simulateType) {
        if (!m_simulator) {
            ChipOptions chip;
            chip.deviceType = *m_options.simulateType;
            chip.imagePath = m_options.simImagePath;
            chip.fault = m_options.simFault;
            chip.writeCycleNs = m_options.simWriteCycleNs;
            chip.chipAddress = m_options.simChipAddress;
            m_simulator = std::make_unique<SimulatedAdapter>(portBase, chip);
        }
        m_simulator->setPortBase(portBase);
        backend = m_simulator.get();
    } else {
        m_hardware = m_options.parportDevice.empty()
                         ? openHardwarePort(portBase)
                         : openParportDevice(m_options.parportDevice, portBase);
        backend = m_hardware.get();
    }

    if (!m_options.tracePath.empty()) {
        if (!m_trace) {
            try {
                refuseTraceOverContent();  // again, now that the content file exists
                m_trace =
                    std::make_unique<BusTrace>(m_options.tracePath, *backend, portBase, clock());
            } catch (...) {
                m_hardware.reset();
                throw;
            }
        } else {
            m_trace->setInner(*backend, portBase, clock());
        }
        backend = m_trace.get();
    }

    m_base = portBase;
    m_installed = backend;
    installPortBackend(backend);
}

void PortSession::close() noexcept
{
    if (m_installed && installedPortBackend() == m_installed)
        installPortBackend(nullptr);
    m_installed = nullptr;
    m_hardware.reset();
    if (m_trace) {
        try {
            m_trace->flush();
        } catch (const PortError&) {
            // Kept in the trace: the next open() reports it.
        } catch (...) {
            // Such as running out of memory while composing the message.
            m_closeFailure = std::current_exception();
        }
    }
}

std::function<std::uint64_t()> PortSession::clock() const
{
    if (m_options.simulateType && m_simulator) {
        const SimulatedAdapter* simulator = m_simulator.get();
        return [simulator] { return simulator->nowNs(); };
    }
    return monotonicNs;
}

bool PortSession::isOpen() const
{
    return m_installed != nullptr;
}

const PortOptions& PortSession::options() const
{
    return m_options;
}

SimulatedAdapter* PortSession::simulator() const
{
    return m_simulator.get();
}

bool PortSession::usesFile(const std::string& path) const
{
    return (m_options.simulateType && sameFile(path, m_options.simImagePath)) ||
           sameFile(path, m_options.tracePath);
}

void PortSession::refuseTraceOverContent() const
{
    // Truncating the trace would replace the chip's content with trace text.
    if (m_options.simulateType && sameFile(m_options.tracePath, m_options.simImagePath))
        throw PortError("The bus trace " + m_options.tracePath +
                        " is the simulated chip's content file; choose another file for the trace");
}

}  // namespace kavoda
