// SPDX-License-Identifier: MIT
// The choice between the real-port backends, and the messages when the port
// cannot be had.
#include "HardwarePort.h"

#include <cerrno>
#include <cstring>

#ifdef __unix__
#include <unistd.h>
#endif
#ifdef __linux__
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#endif

namespace kavoda {

std::string portBusyText(std::uint16_t portBase)
{
    return "The parallel port at " + portAddressText(portBase) + " is in use by another program.";
}

bool runningAsRoot()
{
#ifdef __unix__
    return ::geteuid() == 0;
#else
    return false;
#endif
}

std::string portDeniedText(std::uint16_t portBase, const std::string& device, bool asRoot)
{
    const std::string head = "You may not use the parallel port at " + portAddressText(portBase) +
                             " (" + device + "): permission denied";
    // Root is refused only from outside the file's permissions.
    if (asRoot)
        return head + ", even to root: a container must be given " + device +
               ", or a security policy (AppArmor, SELinux) refuses it.";
    return head + ". Join the group lp (sudo adduser \"$(id -un)\" lp) and log in again.";
}

std::string noPortText(std::uint16_t portBase, int directIoErrno, bool asRoot)
{
    std::string direct =
        directIoErrno == ENOSYS
            ? std::string("direct port access is not available on this system")
            : "direct port access was refused (" + std::string(std::strerror(directIoErrno)) + ")";
    const std::string head = "Cannot open the parallel port at " + portAddressText(portBase) +
                             ": the kernel knows no parallel port there, and ";
    if (!asRoot)
        return head + direct +
               ". Load the parport_pc and ppdev modules and join the group lp, or run as root.";
    if (directIoErrno != ENOSYS)
        direct += ", as it is to root in a container or under the kernel's lockdown";
    return head + direct + ". Load the parport_pc and ppdev modules (modprobe parport_pc ppdev).";
}

#ifdef __linux__

namespace {

// An administrator's command as the user types it: root has no sudo to go
// through (a root-only system often has none installed).
std::string adminCommand(const std::string& command)
{
    return runningAsRoot() ? command : "sudo " + command;
}

[[noreturn]] void failOpen(std::uint16_t base, const std::string& device, int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        throw PortError(portDeniedText(base, device));
    case EBUSY:
        throw PortError(portBusyText(base));
    case ENOENT:
    case ENODEV:
    case ENXIO:
        throw PortError("The kernel has a parallel port at " + portAddressText(base) + ", but " +
                        device + " cannot be used (" + std::strerror(error) +
                        "). Load the ppdev module (" +
                        adminCommand("modprobe ppdev") + ").");
    default:
        throw PortError("Cannot open " + device + ", the parallel port at " +
                        portAddressText(base) + ": " + std::strerror(error) + ".");
    }
}

[[noreturn]] void failClaim(std::uint16_t base, const std::string& device, int error)
{
    if (error == EINTR || error == EBUSY || error == EAGAIN || error == ETIMEDOUT)
        throw PortError(portBusyText(base));
    throw PortError("Cannot claim " + device + ", the parallel port at " + portAddressText(base) +
                    ": " + std::strerror(error) + ".");
}

int openOrFail(std::uint16_t base, const std::string& device, const PortOpenCalls& calls)
{
    const int fd = calls.open(device);
    if (fd < 0)
        failOpen(base, device, errno);
    return fd;
}

std::unique_ptr<PortBackend> claimPpdev(std::uint16_t base, const std::string& device,
                                        const PortOpenCalls& calls)
{
    int fd = openOrFail(base, device, calls);
    // Exclusive first: while we hold the port, another ppdev user is then
    // refused at once. Otherwise its claim would sleep holding the lock that
    // every ppdev call shares, and our own register accesses would stall
    // behind it until it gave up.
    if (calls.ppdev.ioctl(fd, PPEXCL, nullptr) == 0) {
        if (calls.claim(fd, kClaimTimeout) == 0)
            return makePpdevPort(fd, base, calls.ppdev);
        const int error = errno;
        calls.ppdev.close(fd);
        // ENXIO: another driver is registered on the port (the printer
        // driver lp, mostly idle). The exclusive request cannot be taken
        // back on this descriptor, so claim shared on a fresh one.
        if (error != ENXIO)
            failClaim(base, device, error);
        fd = openOrFail(base, device, calls);
    }
    if (calls.claim(fd, kClaimTimeout) == 0)
        return makePpdevPort(fd, base, calls.ppdev);
    const int error = errno;
    calls.ppdev.close(fd);
    failClaim(base, device, error);
}

}  // namespace

#endif

std::unique_ptr<PortBackend> openHardwarePort(std::uint16_t portBase, const PortOpenCalls& calls)
{
#ifdef __linux__
    if (const auto parport = calls.findParport(portBase)) {
        // Held right now: say so at once rather than wait in the claim.
        if (!parport->holder.empty())
            throw PortError(portBusyText(portBase));
        return claimPpdev(portBase, parport->device, calls);
    }
#endif
    if (calls.grantDirectIo(portBase) != 0)
        throw PortError(noPortText(portBase, errno));
    return makeDirectIoPort(portBase, calls.directIo);
}

std::unique_ptr<PortBackend> openParportDevice(const std::string& device, std::uint16_t portBase,
                                               const PortOpenCalls& calls)
{
#ifdef __linux__
    return claimPpdev(portBase, device, calls);
#else
    static_cast<void>(portBase);
    static_cast<void>(calls);
    throw PortError("Cannot open " + device + ": this system has no ppdev driver.");
#endif
}

}  // namespace kavoda
