// SPDX-License-Identifier: MIT
// kavoda-cli's whole-chip verbs on the simulated chip at Delay 0: a read of a
// 24C16 through the tool's loop, and the write of an image that differs from
// the chip in 1 % of its bytes, differential and with --all.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "Cli.h"
#include "DeviceCatalogue.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

constexpr int kSize = 2048;  // a 24C16

// A folder of the benchmark's own, removed at the end.
class Scratch {
public:
    Scratch()
    {
        const char* tmp = ::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kavoda-bench-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("no scratch folder");
        m_path = pattern;
    }
    ~Scratch() { fs::remove_all(m_path); }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

int run(const Scratch& scratch, std::vector<std::string> args, std::ostream& out)
{
    args.insert(args.begin(), "kavoda-cli");
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    std::ostringstream err;
    CliEnvironment environment;
    environment.out = &out;
    environment.err = &err;
    environment.settingsFolder = scratch.path().string();
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
    Scratch scratch;
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
    Scratch scratch;
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
