// SPDX-License-Identifier: MIT
// The choice between the real-port backends, and the one message when
// neither can be had.
#include "HardwarePort.h"

namespace kavoda {

std::string portOpenErrorText(std::uint16_t portBase, const std::string& ppdevWhy,
                              const std::string& directWhy)
{
    return "Cannot open the parallel port at " + portAddressText(portBase) + ": " + ppdevWhy +
           " and " + directWhy +
           ". Run as root, or load the ppdev module and join the group lp.";
}

std::unique_ptr<PortBackend> openHardwarePort(std::uint16_t portBase)
{
    std::string ppdevWhy;
    if (auto port = openPpdevPort(portBase, ppdevWhy))
        return port;
    std::string directWhy;
    if (auto port = openDirectIoPort(portBase, directWhy))
        return port;
    throw PortError(portOpenErrorText(portBase, ppdevWhy, directWhy));
}

}  // namespace kavoda
