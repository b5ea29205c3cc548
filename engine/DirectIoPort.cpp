// SPDX-License-Identifier: MIT
// Port backend with the processor's own in/out instructions (x86 Linux), after
// the kernel has granted the three registers with ioperm.
#include "HardwarePort.h"

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#define KAVODA_DIRECT_IO 1
#include <cerrno>
#include <cstring>
#include <sys/io.h>
#endif

namespace kavoda {

#ifdef KAVODA_DIRECT_IO

namespace {

constexpr unsigned long kRegisterCount = 3;

// Only the granted range is ever touched: an in/out instruction outside it
// would kill the process.
class DirectIoPort final : public PortBackend {
public:
    explicit DirectIoPort(std::uint16_t base) : m_base(base) {}
    ~DirectIoPort() override { ioperm(m_base, kRegisterCount, 0); }
    DirectIoPort(const DirectIoPort&) = delete;
    DirectIoPort& operator=(const DirectIoPort&) = delete;

    std::uint8_t read(std::uint16_t port) override
    {
        check(port);
        return inb(port);
    }

    void write(std::uint16_t port, std::uint8_t value) override
    {
        check(port);
        outb(value, port);
    }

private:
    void check(std::uint16_t port) const
    {
        if (port < m_base || port >= m_base + kRegisterCount)
            throw PortError("Port " + portAddressText(port) +
                            " is not a register of the parallel port at " +
                            portAddressText(m_base));
    }

    std::uint16_t m_base;
};

}  // namespace

std::unique_ptr<PortBackend> openDirectIoPort(std::uint16_t portBase, std::string& why)
{
    if (ioperm(portBase, kRegisterCount, 1) != 0) {
        why = std::string("direct port access was refused (") + std::strerror(errno) + ")";
        return nullptr;
    }
    return std::make_unique<DirectIoPort>(portBase);
}

#else

std::unique_ptr<PortBackend> openDirectIoPort(std::uint16_t, std::string& why)
{
    why = "direct port access is not available on this system";
    return nullptr;
}

#endif

}  // namespace kavoda
