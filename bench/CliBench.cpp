// SPDX-License-Identifier: MIT
// kavoda-cli's whole-chip verbs on the simulated chip at Delay 0: a read of a
// 24C16 through the tool's loop, and the write of an image that differs from
// the chip in 1 % of its bytes, differential and with --all.
#include <benchmark/benchmark.h>

#include <fstream>
#include <random>
#include <sstream>

#include "BenchSupport.h"
#include "Cli.h"
#include "DeviceCatalogue.h"

namespace kavoda {
namespace {

constexpr int kSize = 2048;  // a 24C16

using bench::BenchFolder;

int run(const BenchFolder& scratch, std::vector<std::string> args, std::ostream& out)
{
    args.insert(args.begin(), "kavoda-cli");
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    std::ostringstream err;
    CliEnvironment environment;
    environment.out = &out;
    environment.err = &err;
    environment.settingsFolder = scratch.path();
    const int code = runCli(static_cast<int>(argv.size()), argv.data(), environment);
    resetDeviceState();
    return code;
}

void save(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

void BM_CliRead24C16(benchmark::State& state)
{
    BenchFolder scratch;
    for (auto _ : state) {
        std::ostringstream out;
        if (run(scratch, {"-d", "24C16", "--simulate", "--delay", "0", "--port", "0x378", "read",
                          "-"},
                out) != 0)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(out.str().size());
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(BM_CliRead24C16)->Unit(benchmark::kMillisecond);

// The chip holds one image; the file differs in 20 of its 2048 bytes. Each
// iteration puts the chip's content back first (outside the timing).
void writeOnePercent(benchmark::State& state, bool all)
{
    BenchFolder scratch;
    std::mt19937 random(5);
    std::string chip(kSize, '\0');
    for (auto& c : chip)
        c = static_cast<char>(random());
    std::string wanted = chip;
    for (int i = 0; i < kSize / 100; ++i)
        wanted[static_cast<std::size_t>(i * 97 % kSize)] ^= 0x5A;
    save(scratch.file("wanted.bin"), wanted);
    for (auto _ : state) {
        state.PauseTiming();
        save(scratch.file("chip.bin"), chip);
        state.ResumeTiming();
        std::vector<std::string> args = {"-d",    "24C16", "--simulate", "--sim-image",
                                         scratch.file("chip.bin"), "--delay", "0",
                                         "--port", "0x378", "write", scratch.file("wanted.bin")};
        if (all)
            args.push_back("--all");
        std::ostringstream out;
        if (run(scratch, args, out) != 0)
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}

void BM_CliWriteOnePercentDifferent(benchmark::State& state)
{
    writeOnePercent(state, false);
}
BENCHMARK(BM_CliWriteOnePercentDifferent)->Unit(benchmark::kMillisecond);

void BM_CliWriteOnePercentDifferentAll(benchmark::State& state)
{
    writeOnePercent(state, true);
}
BENCHMARK(BM_CliWriteOnePercentDifferentAll)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kavoda
