// SPDX-License-Identifier: MIT
// What the bus trace costs: 24C reads and polled writes on the simulated chip
// at Delay 0, traced into a file (written out at every STOP).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "BusTrace.h"
#include "DeviceCatalogue.h"
#include "SimulatedChip.h"
#include "ee24c.h"

namespace kavoda {
namespace {

constexpr std::uint16_t kBase = 0x378;

// A fresh folder from mkdtemp, removed afterwards.
class BenchFolder {
public:
    BenchFolder()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kavoda-bench-XXXXXX";
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~BenchFolder()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    std::string file(const char* name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

template <typename Transaction>
void runTraced(benchmark::State& state, std::uint8_t fastTiming, Transaction transaction)
{
    BenchFolder folder;
    SimulatedAdapter adapter(kBase, ChipOptions{4, "", std::nullopt, ChipFault::None});
    BusTrace trace(folder.file("bus.vcd"), adapter, kBase, [&adapter] { return adapter.nowNs(); });
    ScopedPortBackend scope(trace);
    resetDeviceState();
    BusDelay = 0;
    FastTiming = fastTiming;
    int address = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(transaction(static_cast<std::uint8_t>(address / 256),
                                             static_cast<std::uint8_t>(address)));
        address = (address + 1) % 512;
    }
    state.SetItemsProcessed(state.iterations());
    trace.close();
    resetDeviceState();
}

void BM_TracedRead24C(benchmark::State& state)
{
    runTraced(state, 1, [](std::uint8_t block, std::uint8_t address) {
        return ReadByte24C(kBase, block, address);
    });
}
BENCHMARK(BM_TracedRead24C);

void BM_TracedWrite24CWithPolling(benchmark::State& state)
{
    runTraced(state, 0, [](std::uint8_t block, std::uint8_t address) {
        return WriteByte24C(kBase, block, address, address);
    });
}
BENCHMARK(BM_TracedWrite24CWithPolling);

}  // namespace
}  // namespace kavoda
