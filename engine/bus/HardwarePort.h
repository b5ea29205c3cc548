// SPDX-License-Identifier: MIT
// The two ways to reach a real parallel port: the Linux ppdev driver and
// direct I/O instructions, and the choice between them. Every system call on
// the way is injectable, so the decisions are tested without a port.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "PortBackend.h"

namespace kavoda {

// The control-register bits a backend passes on: the four output lines.
// Bits 4..7 drive no pin of the connector, and bit 5 turns a bidirectional
// port's data lines (our clock) into inputs, which no driver undoes.
inline constexpr std::uint8_t kControlLines = 0x0F;

// How long a claim may wait for the port before it counts as busy.
inline constexpr std::chrono::milliseconds kClaimTimeout{1500};

// A port that the kernel's parport driver knows.
struct ParportDevice {
    std::string device;  // /dev/parportN
    std::string holder;  // the driver holding the port now; empty when it is free
};

// The /dev/parportN whose base address (first number of
// <procRoot>/sys/dev/parport/parportN/base-addr) is portBase, if any, with
// the port's current holder (devices/active).
std::optional<ParportDevice> findParport(std::uint16_t portBase,
                                         const std::string& procRoot = "/proc",
                                         const std::string& devRoot = "/dev");

// The calls the ppdev backend makes on its file descriptor.
struct PpdevCalls {
    std::function<int(int fd, unsigned long request, unsigned char* value)> ioctl;
    std::function<int(int fd)> close;
};
// The register accesses of the direct I/O backend.
struct DirectIoCalls {
    std::function<std::uint8_t(std::uint16_t port)> in;
    std::function<void(std::uint16_t port, std::uint8_t value)> out;
    std::function<void(std::uint16_t base)> revoke;
};

// Everything openHardwarePort asks of the system. Calls that fail return -1
// and leave the reason in errno, as the system calls do.
struct PortOpenCalls {
    std::function<std::optional<ParportDevice>(std::uint16_t base)> findParport;
    std::function<int(const std::string& device)> open;  // a file descriptor
    // PPCLAIM, given up after `timeout` (errno EINTR) so a busy port never hangs.
    std::function<int(int fd, std::chrono::milliseconds timeout)> claim;
    PpdevCalls ppdev;
    std::function<int(std::uint16_t base)> grantDirectIo;  // ioperm for the three registers
    DirectIoCalls directIo;
};
PortOpenCalls systemPortOpenCalls();

// The system's own calls behind systemPortOpenCalls. Where the system has no
// ppdev or no port instructions they fail with ENOSYS.
PpdevCalls systemPpdevCalls();
int systemOpenParport(const std::string& device);
int systemClaimParport(int fd, std::chrono::milliseconds timeout);
DirectIoCalls systemDirectIoCalls();
int systemGrantDirectIo(std::uint16_t base);
#ifdef __linux__
// Runs a blocking system call, interrupted (-1, errno EINTR) once timeout has
// passed; a timeout of 0 (or less) is one try that does not wait. The signal
// used for it is put back as it was.
int callWithTimeout(const std::function<int()>& call, std::chrono::milliseconds timeout);
#endif

// A backend over fd, a /dev/parportN already claimed; releases and closes it
// on destruction. The request numbers are the <linux/ppdev.h> ones.
std::unique_ptr<PortBackend> makePpdevPort(int fd, std::uint16_t portBase, PpdevCalls calls);
// A backend over the three registers from portBase, already granted.
std::unique_ptr<PortBackend> makeDirectIoPort(std::uint16_t portBase, DirectIoCalls calls);

// ppdev when the kernel's parport driver has a port at this base; direct I/O
// only when it has none (bit-banging a port that a driver owns would fight
// it). Throws PortError with the reason and the way out otherwise; never
// waits long for a busy port.
std::unique_ptr<PortBackend> openHardwarePort(std::uint16_t portBase,
                                              const PortOpenCalls& calls = systemPortOpenCalls());

// The given /dev/parportN through ppdev, claimed as above, for a port on a
// card whose base is none of the usual three; portBase is the base the
// accessors will use. Throws PortError.
std::unique_ptr<PortBackend> openParportDevice(const std::string& device, std::uint16_t portBase,
                                               const PortOpenCalls& calls = systemPortOpenCalls());

// Whether the process runs as root: its way out of a refusal is another.
bool runningAsRoot();

// The messages of that PortError.
std::string portBusyText(std::uint16_t portBase);
std::string portDeniedText(std::uint16_t portBase, const std::string& device,
                           bool asRoot = runningAsRoot());
std::string noPortText(std::uint16_t portBase, int directIoErrno, bool asRoot = runningAsRoot());

}  // namespace kavoda
