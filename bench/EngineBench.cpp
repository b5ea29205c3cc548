// SPDX-License-Identifier: MIT
// Bus transactions per second on the simulated chip at Delay 0, and the cost
// of one BusWait iteration.
#include <benchmark/benchmark.h>

#include "DeviceCatalogue.h"
#include "SimulatedChip.h"
#include "ee24c.h"

namespace kavoda {
namespace {

constexpr std::uint16_t kBase = 0x378;

// Runs one transaction per iteration over the whole chip of deviceType, with
// FastTiming as the device operations set it: 1 for reads, 0 for writes.
// Writes poll until the chip's 10 ms write cycle (virtual time) is over.
template <typename Transaction>
void runTransactions(benchmark::State& state, std::uint8_t deviceType, std::uint8_t fastTiming,
                     Transaction transaction)
{
    SimulatedAdapter adapter(kBase, ChipOptions{deviceType, "", std::nullopt, ChipFault::None});
    ScopedPortBackend scope(adapter);
    resetDeviceState();
    BusDelay = 0;
    FastTiming = fastTiming;
    const int size = findDeviceByType(deviceType)->sizeBytes();
    int address = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(transaction(static_cast<std::uint8_t>(address / 256),
                                             static_cast<std::uint8_t>(address)));
        address = (address + 1) % size;
    }
    state.SetItemsProcessed(state.iterations());
    resetDeviceState();
}

void BM_Read24C(benchmark::State& state)
{
    runTransactions(state, 4, 1, [](std::uint8_t block, std::uint8_t address) {
        return ReadByte24C(kBase, block, address);
    });
}
BENCHMARK(BM_Read24C);

void BM_Write24CWithPolling(benchmark::State& state)
{
    runTransactions(state, 4, 0, [](std::uint8_t block, std::uint8_t address) {
        return WriteByte24C(kBase, block, address, address);
    });
}
BENCHMARK(BM_Write24CWithPolling);

void BM_ReadSDA(benchmark::State& state)
{
    runTransactions(state, 8, 1, [](std::uint8_t block, std::uint8_t address) {
        return ReadByteSDA(kBase, block, address);
    });
}
BENCHMARK(BM_ReadSDA);

void BM_WriteSDAWithPolling(benchmark::State& state)
{
    runTransactions(state, 8, 0, [](std::uint8_t block, std::uint8_t address) {
        return WriteByteSDA(kBase, block, address, address);
    });
}
BENCHMARK(BM_WriteSDAWithPolling);

// One BusWait of Delay 100 without FastTiming: 50000 iterations.
void BM_BusWaitIteration(benchmark::State& state)
{
    resetDeviceState();
    BusDelay = 100;
    FastTiming = 0;
    const std::int32_t count = busWaitCount(BusDelay, FastTiming);
    for (auto _ : state)
        BusWait();
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["time_per_iteration"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * count,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    resetDeviceState();
}
BENCHMARK(BM_BusWaitIteration);

}  // namespace
}  // namespace kavoda

BENCHMARK_MAIN();
