// SPDX-License-Identifier: MIT
// Port backend with the processor's own in/out instructions (x86 Linux), after
// the kernel has granted the three registers with ioperm.
#include "HardwarePort.h"

#include <cerrno>

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#define KAVODA_DIRECT_IO 1
#include <sys/io.h>
#endif

namespace kavoda {

namespace {

constexpr unsigned kRegisterCount = 3;

// Only the granted range is ever touched: an in/out instruction outside it
// would kill the process.
class DirectIoPort final : public PortBackend {
public:
    DirectIoPort(std::uint16_t base, DirectIoCalls calls) : m_base(base), m_calls(std::move(calls))
    {
    }
    ~DirectIoPort() override { m_calls.revoke(m_base); }
    DirectIoPort(const DirectIoPort&) = delete;
    DirectIoPort& operator=(const DirectIoPort&) = delete;

    std::uint8_t read(std::uint16_t port) override
    {
        check(port);
        return m_calls.in(port);
    }

    void write(std::uint16_t port, std::uint8_t value) override
    {
        check(port);
        // As with ppdev: bit 5 would turn the data lines, our clock, into
        // inputs, and bits 4..7 drive no pin.
        if (port == m_base + 2)
            value &= kControlLines;
        m_calls.out(port, value);
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
    DirectIoCalls m_calls;
};

}  // namespace

std::unique_ptr<PortBackend> makeDirectIoPort(std::uint16_t portBase, DirectIoCalls calls)
{
    return std::make_unique<DirectIoPort>(portBase, std::move(calls));
}

#ifdef KAVODA_DIRECT_IO

DirectIoCalls systemDirectIoCalls()
{
    return {[](std::uint16_t port) { return static_cast<std::uint8_t>(inb(port)); },
            [](std::uint16_t port, std::uint8_t value) { outb(value, port); },
            [](std::uint16_t base) { ioperm(base, kRegisterCount, 0); }};
}

int systemGrantDirectIo(std::uint16_t base)
{
    return ioperm(base, kRegisterCount, 1);
}

#else

DirectIoCalls systemDirectIoCalls()
{
    // Never reached: the grant below always fails, so no backend is made.
    return {[](std::uint16_t) -> std::uint8_t { throw PortError("No port instructions here"); },
            [](std::uint16_t, std::uint8_t) { throw PortError("No port instructions here"); },
            [](std::uint16_t) {}};
}

int systemGrantDirectIo(std::uint16_t)
{
    errno = ENOSYS;
    return -1;
}

#endif

}  // namespace kavoda
