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

struct SimulatedBus {
    explicit SimulatedBus(std::uint8_t deviceType)
        : adapter(kBase, ChipOptions{deviceType, "", std::nullopt, ChipFault::None}),
          scope(adapter)
    {
        resetDeviceState();
        BusDelay = 0;
        SelectDevice(*findDeviceByType(deviceType));
    }
    SimulatedAdapter adapter;
    ScopedPortBackend scope;
};

void BM_Read24C(benchmark::State& state)
{
    SimulatedBus bus(4);
    FastTiming = 1;
    unsigned address = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadByte24C(kBase, static_cast<std::uint8_t>((address >> 8) & 7),
                                             static_cast<std::uint8_t>(address)));
        ++address;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Read24C);

// Each write polls until the chip's 10 ms write cycle (virtual time) is over.
void BM_Write24CWithPolling(benchmark::State& state)
{
    SimulatedBus bus(4);
    FastTiming = 0;
    unsigned address = 0;
    for (auto _ : state) {
        WriteByte24C(kBase, static_cast<std::uint8_t>((address >> 8) & 7),
                     static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address));
        ++address;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Write24CWithPolling);

void BM_ReadSDA(benchmark::State& state)
{
    SimulatedBus bus(8);
    FastTiming = 1;
    unsigned address = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadByteSDA(kBase, static_cast<std::uint8_t>((address >> 8) & 3),
                                             static_cast<std::uint8_t>(address)));
        ++address;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadSDA);

void BM_WriteSDA(benchmark::State& state)
{
    SimulatedBus bus(8);
    FastTiming = 0;
    unsigned address = 0;
    for (auto _ : state) {
        WriteByteSDA(kBase, static_cast<std::uint8_t>((address >> 8) & 3),
                     static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address));
        ++address;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteSDA);

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
    state.counters["ns_per_iteration"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * count,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    resetDeviceState();
}
BENCHMARK(BM_BusWaitIteration);

}  // namespace
}  // namespace kavoda

BENCHMARK_MAIN();
