// SPDX-License-Identifier: MIT
// The simulated chip's fault and write-cycle options of the kavoda program.
#include "Options.h"

#include <gtest/gtest.h>
#include <sstream>
#include <vector>

using namespace kavoda;

namespace {

ParsedOptions parse(std::vector<const char*> args, std::string* err = nullptr)
{
    args.insert(args.begin(), "kavoda");
    std::ostringstream out, errors;
    ParsedOptions parsed = parseOptions(static_cast<int>(args.size()), args.data(), out, errors);
    if (err)
        *err = errors.str();
    return parsed;
}

TEST(SimOptions, FaultsAndWriteCycleReachThePortOptions)
{
    EXPECT_EQ(parse({"--simulate"}).options.simFault, ChipFault::None);
    EXPECT_FALSE(parse({"--simulate"}).options.simWriteCycleNs);
    EXPECT_EQ(parse({"--simulate", "--sim-fault=empty"}).options.simFault, ChipFault::EmptySocket);
    EXPECT_EQ(parse({"--simulate=24C02", "--sim-fault", "busy"}).options.simFault,
              ChipFault::EndlessWriteCycle);
    EXPECT_EQ(parse({"--sim-fault=readonly", "--simulate"}).options.simFault,
              ChipFault::WritesDoNotStick);
    const ParsedOptions cycle = parse({"--simulate", "--sim-write-cycle=3"});
    ASSERT_TRUE(cycle.run);
    EXPECT_EQ(cycle.options.simWriteCycleNs, std::optional<std::uint64_t>(3'000'000));
    EXPECT_EQ(parse({"--simulate", "--sim-write-cycle=0"}).options.simWriteCycleNs,
              std::optional<std::uint64_t>(0));
}

} // namespace
