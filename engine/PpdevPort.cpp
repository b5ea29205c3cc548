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
// accessors are mapped onto data, status and control. The kernel keeps
// control bits 4..7 to itself; the bus uses only bit 0.
class PpdevPort final : public PortBackend {
public:
    PpdevPort(int fd, std::uint16_t base) : m_fd(fd), m_base(base) {}
    ~PpdevPort() override
    {
        ioctl(m_fd, PPRELEASE);
        close(m_fd);
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
        unsigned char v = value;
        const int offset = port - m_base;
        if (offset == 0)
            call(PPWDATA, &v);
        else if (offset == 2)
            call(PPWCONTROL, &v);
        else if (offset != 1)  // the status register takes no writes
            outside(port);
    }

private:
    void call(unsigned long request, unsigned char* value)
    {
        if (ioctl(m_fd, request, value) != 0)
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
};

}  // namespace

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
    if (ioctl(fd, PPCLAIM) != 0) {
        why = *device + " has this address but cannot be claimed (" + std::strerror(errno) + ")";
        close(fd);
        return nullptr;
    }
    return std::make_unique<PpdevPort>(fd, portBase);
}

#else

std::unique_ptr<PortBackend> openPpdevPort(std::uint16_t, std::string& why)
{
    why = "this system has no ppdev driver";
    return nullptr;
}

#endif

}  // namespace kavoda
