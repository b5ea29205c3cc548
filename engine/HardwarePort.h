// SPDX-License-Identifier: MIT
// The two ways to reach a real parallel port: the Linux ppdev driver and
// direct I/O instructions, and the choice between them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "PortBackend.h"

namespace kavoda {

// The /dev/parportN whose base address (first number of
// <procRoot>/sys/dev/parport/parportN/base-addr) is portBase, if any.
std::optional<std::string> findParportDevice(std::uint16_t portBase,
                                             const std::string& procRoot = "/proc",
                                             const std::string& devRoot = "/dev");

#ifdef __linux__
// The control-register bits that ppdev may pass on: the four output lines.
inline constexpr std::uint8_t kPpdevControlLines = 0x0F;

// The calls the ppdev backend makes on its file descriptor: the system's, or
// recording ones in tests.
struct PpdevCalls {
    std::function<int(int fd, unsigned long request, unsigned char* value)> ioctl;
    std::function<int(int fd)> close;
};
PpdevCalls systemPpdevCalls();
// A backend over fd, a /dev/parportN already claimed; releases and closes it
// on destruction.
std::unique_ptr<PortBackend> makePpdevPort(int fd, std::uint16_t portBase,
                                           PpdevCalls calls = systemPpdevCalls());
#endif

// Each returns nullptr and says why in `why` when the port cannot be had.
std::unique_ptr<PortBackend> openPpdevPort(std::uint16_t portBase, std::string& why);
std::unique_ptr<PortBackend> openDirectIoPort(std::uint16_t portBase, std::string& why);

// ppdev when a device has this base and can be claimed, else direct I/O when
// the kernel grants it, else PortError naming the address and the way out.
std::unique_ptr<PortBackend> openHardwarePort(std::uint16_t portBase);

// The message of that PortError, from the two reasons given above.
std::string portOpenErrorText(std::uint16_t portBase, const std::string& ppdevWhy,
                              const std::string& directWhy);

}  // namespace kavoda
