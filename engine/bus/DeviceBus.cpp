// SPDX-License-Identifier: MIT
// What every adapter's transactions share.
#include "DeviceBus.h"

#include <algorithm>

#include "DeviceCatalogue.h"
#include "PortBackend.h"

namespace kavoda {

DeviceBus::WriteOutcome DeviceBus::writeBatch(const ChipType& chip,
                                              const std::vector<WriteRun>& runs)
{
    for (std::size_t i = 0; i < runs.size(); ++i) {
        m_writeStored = false;
        BusResult result;
        try {
            result = write(chip, runs[i].address, runs[i].bytes.data(),
                           static_cast<std::uint32_t>(runs[i].bytes.size()));
        } catch (const std::exception& e) {
            throw WriteBatchFailure(e.what(), i + (m_writeStored ? 1 : 0));
        }
        if (!result.ok())
            return WriteOutcome{result, i};
    }
    return {};
}

std::vector<bool> DeviceBus::probe(const std::vector<std::uint8_t>&)
{
    throw PortError("This adapter cannot look for the devices on its bus");
}

DeviceBus::ReadOutcome DeviceBus::readPhases(const std::vector<PhaseRun>&)
{
    throw PortError("This adapter cannot look for the devices on its bus");
}

}  // namespace kavoda
