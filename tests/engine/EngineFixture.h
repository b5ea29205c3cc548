// SPDX-License-Identifier: MIT
// What every engine test starts from: the device state at its start values,
// bus waits off, and a fresh scratch folder when one is asked for.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "DeviceCatalogue.h"
#include "TempFolder.h"

namespace kavoda::test {

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetDeviceState();
        BusDelay = 0;  // keeps the suite fast; the wait itself is tested on its own
    }
    void TearDown() override { resetDeviceState(); }
};

// An empty folder of the running test's own (mkdtemp under $TMPDIR),
// removed when the test ends.
inline std::filesystem::path scratchDir()
{
    return testFolder();
}

}  // namespace kavoda::test
