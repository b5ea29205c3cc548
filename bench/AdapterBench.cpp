// SPDX-License-Identifier: MIT
// A whole-chip read (and write) of a 24C16 through each simulated adapter:
// the program's own cost per chip, and in the counter device_s the time the
// adapter model says real hardware would take (virtual time).
#include <benchmark/benchmark.h>

#include <memory>

#include "Adapter.h"
#include "BenchSupport.h"
#include "ControllerBus.h"
#include "DeviceBus.h"
#include "DeviceOperations.h"
#include "PortSession.h"
#include "SimulatedChip.h"

namespace kavoda {
namespace {

using bench::QuietDisplay;

class CountingSink final : public ByteSink {
public:
    void put(std::uint8_t value) override { sum += value; }
    unsigned sum = 0;
};

struct Rig {
    std::unique_ptr<PortSession> session;
    std::unique_ptr<DeviceBus> bus;

    std::uint64_t nowNs() const
    {
        if (auto* controller = dynamic_cast<ControllerBus*>(bus.get()))
            return controller->simulatedNowNs();
        return session->simulator() ? session->simulator()->nowNs() : 0;
    }
};

// adapter: 0 parallel port, 1 CH341A, 2 kernel I2C bus; a 24C16 on each.
Rig makeRig(int adapter)
{
    PortOptions options;
    options.simulateType = 4;
    const char* names[] = {"parport", "ch341a", "i2c:/dev/i2c-1"};
    options.adapter = *parseAdapter(names[adapter]);
    Rig rig;
    rig.session = std::make_unique<PortSession>(options);
    rig.bus = makeDeviceBus(*rig.session);
    return rig;
}

const char* adapterName(int adapter)
{
    return adapter == 0 ? "parport" : adapter == 1 ? "ch341a" : "i2c";
}

// Delay 0 and the read's FastTiming for the parallel port: its device time is
// then that of the port accesses alone (1 us each), a lower bound.
void BM_WholeChipRead24C16(benchmark::State& state)
{
    const int adapter = static_cast<int>(state.range(0));
    state.SetLabel(adapterName(adapter));
    resetDeviceState();
    BusDelay = 0;
    SelectDevice(*findDevice("24C16"));
    Rig rig = makeRig(adapter);
    QuietDisplay display;
    BusClaim claim(*rig.bus);
    const std::uint64_t start = rig.nowNs();
    for (auto _ : state) {
        CountingSink sink;
        readPass(*rig.bus, display, sink);
        benchmark::DoNotOptimize(sink.sum);
    }
    state.SetItemsProcessed(state.iterations() * 2048);
    state.counters["device_s"] =
        static_cast<double>(rig.nowNs() - start) / 1e9 / static_cast<double>(state.iterations());
    resetDeviceState();
}
BENCHMARK(BM_WholeChipRead24C16)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// One fill pass: every byte written and polled through the datasheet's 10 ms
// write cycle.
void BM_WholeChipFill24C16(benchmark::State& state)
{
    const int adapter = static_cast<int>(state.range(0));
    state.SetLabel(adapterName(adapter));
    resetDeviceState();
    BusDelay = 0;
    FastTiming = 0;
    SelectDevice(*findDevice("24C16"));
    Rig rig = makeRig(adapter);
    QuietDisplay display;
    BusClaim claim(*rig.bus);
    const std::uint64_t start = rig.nowNs();
    std::uint8_t value = 0;
    for (auto _ : state)
        fillPass(*rig.bus, display, value++, false);
    state.SetItemsProcessed(state.iterations() * 2048);
    state.counters["device_s"] =
        static_cast<double>(rig.nowNs() - start) / 1e9 / static_cast<double>(state.iterations());
    resetDeviceState();
}
BENCHMARK(BM_WholeChipFill24C16)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kavoda
