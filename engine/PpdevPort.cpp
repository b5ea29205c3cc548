// SPDX-License-Identifier: MIT
// Port backend over the Linux parallel-port driver (ppdev): works without root
// for members of group lp.
#include <fstream>

#include "HardwarePort.h"

#ifdef __linux__
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace kavoda {

std::optional<std::string> findParportDevice(std::uint16_t portBase, const std::string& procRoot,
                                             const std::string& devRoot)
{
    // parport numbers are small; the driver registers them densely from 0.
    for (int n = 0; n < 16; ++n) {
        const std::string name = "parport" + std::to_string(n);
        // The file holds the base and the extended base, in decimal: "888\t1912".
        std::ifstream in(procRoot + "/sys/dev/parport/" + name + "/base-addr");
        unsigned long base = 0;
        if (in >> base && base == portBase)
            return devRoot + "/" + name;
    }
    return std::nullopt;
}

#ifdef __linux__

namespace {

// The driver addresses registers by role, so the port numbers of the
// accessors are mapped onto data, status and control. A read of the data
// register returns the pins, one of the control register the driver's copy of
// bits 0..3; a write to the status register is dropped, as the register is
// read-only on the hardware too.
class PpdevPort final : public PortBackend {
public:
    PpdevPort(int fd, std::uint16_t base, PpdevCalls calls)
        : m_fd(fd), m_base(base), m_calls(std::move(calls))
    {
    }
    ~PpdevPort() override
    {
        m_calls.ioctl(m_fd, PPRELEASE, nullptr);
        m_calls.close(m_fd);
    }
    PpdevPort(const PpdevPort&) = delete;
    PpdevPort& operator=(const PpdevPort&) = delete;

    std::uint8_t read(std::uint16_t port) override
    {
        unsigned char value = 0xFF;
        const int offset = port - m_base;
        if (offset == 0)
            call(PPRDATA, &value);
        else if (offset == 1)
            call(PPRSTATUS, &value);
        else if (offset == 2)
            call(PPRCONTROL, &value);
        else
            outside(port);
        return value;
    }

    void write(std::uint16_t port, std::uint8_t value) override
    {
        const int offset = port - m_base;
        if (offset == 0) {
            unsigned char v = value;
            call(PPWDATA, &v);
        } else if (offset == 2) {
            // The driver takes bit 5 as a request to turn the data lines into
            // inputs and keeps them so: after the 0xFF of the first read the
            // clock line would be driven no more. Bits 4..7 drive no pin of the
            // connector, so only bits 0..3 go to the port.
            unsigned char v = value & kPpdevControlLines;
            call(PPWCONTROL, &v);
        } else if (offset != 1) {
            outside(port);
        }
    }

private:
    void call(unsigned long request, unsigned char* value)
    {
        if (m_calls.ioctl(m_fd, request, value) != 0)
            throw PortError("Parallel port access at " + portAddressText(m_base) +
                            " failed: " + std::strerror(errno));
    }

    [[noreturn]] void outside(std::uint16_t port) const
    {
        throw PortError("Port " + portAddressText(port) +
                        " is not a register of the parallel port at " + portAddressText(m_base));
    }

    int m_fd;
    std::uint16_t m_base;
    PpdevCalls m_calls;
};

}  // namespace

PpdevCalls systemPpdevCalls()
{
    return {[](int fd, unsigned long request, unsigned char* value) {
                return ioctl(fd, request, value);
            },
            [](int fd) { return close(fd); }};
}

std::unique_ptr<PortBackend> makePpdevPort(int fd, std::uint16_t portBase, PpdevCalls calls)
{
    return std::make_unique<PpdevPort>(fd, portBase, std::move(calls));
}

std::unique_ptr<PortBackend> openPpdevPort(std::uint16_t portBase, std::string& why)
{
    const auto device = findParportDevice(portBase);
    if (!device) {
        why = "no /dev/parport device has this address";
        return nullptr;
    }
    const int fd = open(device->c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        why = *device + " has this address but cannot be opened (" + std::strerror(errno) + ")";
        return nullptr;
    }
    // Opening selects compatibility mode, which is what bit-banging wants. No
    // PPEXCL: it fails whenever the printer driver lp is loaded, and the claim
    // alone keeps other drivers off the port until it is released.
    if (ioctl(fd, PPCLAIM) != 0) {
        why = *device + " has this address but cannot be claimed (" + std::strerror(errno) + ")";
        close(fd);
        return nullptr;
    }
    return makePpdevPort(fd, portBase);
}

#else

std::unique_ptr<PortBackend> openPpdevPort(std::uint16_t, std::string& why)
{
    why = "this system has no ppdev driver";
    return nullptr;
}

#endif

}  // namespace kavoda
