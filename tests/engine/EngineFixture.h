// SPDX-License-Identifier: MIT
// What every engine test starts from: the device state at its start values,
// bus waits off, and a fresh scratch folder when one is asked for.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "DeviceCatalogue.h"

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

// An empty folder named after the running test.
inline std::filesystem::path scratchDir()
{
    namespace fs = std::filesystem;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path dir = fs::temp_directory_path() /
                         (std::string("kavoda-") + info->test_suite_name() + "-" + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

}  // namespace kavoda::test
