// SPDX-License-Identifier: MIT
#include "TypeDetect.h"

namespace kavoda {

DetectOutcome detectChip(DeviceBus& /*bus*/)
{
    return {nullptr, QStringLiteral("Detection is not available on this build; choose the type "
                                    "printed on the chip.")};
}

} // namespace kavoda
