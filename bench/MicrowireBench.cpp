// SPDX-License-Identifier: MIT
// The 93Cxx chips on the simulated CH341A's lines: a whole 93C66 read in
// each organisation, a full write with its verify, and a fill by one WRAL
// cycle. The counters are the model's: device seconds of virtual time and
// USB transfers. What the model assumes: each UIO command takes 1.25 us,
// a UIO delay its microseconds; an exchange costs one 1 ms frame for its
// OUT and one for its last IN, queued INs none, a synchronous transfer
// 1 ms; the chip's write cycle is 3 ms (ERAL and WRAL 6 ms), the
// datasheets' typical.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "Ch341aWire.h"
#include "DeviceOperations.h"
#include "MicrowireBus.h"
#include "QuietDisplay.h"
#include "SimulatedCh341a.h"

namespace kavoda {
namespace {

struct WireBench {
    std::shared_ptr<SimulatedCh341a> link;
    std::unique_ptr<MicrowireBus> bus;
    ChipType chip;
    test::QuietDisplay display;

    WireBench(const char* type, int organisation)
    {
        ChipOptions options;
        options.deviceType = findChip(type)->deviceType;
        options.organisation = organisation;
        link = std::make_shared<SimulatedCh341a>(makeSimulatedMicrowireChip(options));
        bus = std::make_unique<MicrowireBus>(
            [l = link.get()] { return std::make_unique<Ch341aWire>(*l, [l] { return l->nowNs(); }); },
            kCh341aWireLimits, link);
        chip = withOrganisation(*findChip(type), organisation, ByteOrder::Big);
    }
    ChipJob job() { return ChipJob{*bus, chip, display}; }
};

void report(benchmark::State& state, const WireBench& rig, std::uint64_t startNs,
            std::uint64_t startTransfers, double runs)
{
    state.counters["device_s"] = static_cast<double>(rig.link->nowNs() - startNs) / 1e9 / runs;
    state.counters["transfers"] =
        static_cast<double>(rig.link->transfers() - startTransfers) / runs;
}

// Opening included: the pins are set once per claim.
void BM_93C66Read(benchmark::State& state)
{
    WireBench rig("93C66", static_cast<int>(state.range(0)));
    const std::uint64_t startNs = rig.link->nowNs();
    const std::uint64_t startTransfers = rig.link->transfers();
    double runs = 0;
    for (auto _ : state) {
        BusClaim claim(*rig.bus);
        ChipJob job = rig.job();
        std::vector<std::uint8_t> bytes;
        readRange(job, 0, static_cast<std::uint32_t>(rig.chip.size), bytes);
        benchmark::DoNotOptimize(bytes.data());
        ++runs;
    }
    report(state, rig, startNs, startTransfers, runs);
}
BENCHMARK(BM_93C66Read)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_93C66WriteAndVerify(benchmark::State& state)
{
    WireBench rig("93C66", static_cast<int>(state.range(0)));
    std::mt19937 random(5);
    std::vector<std::uint8_t> image(static_cast<std::size_t>(rig.chip.size));
    const std::uint64_t startNs = rig.link->nowNs();
    const std::uint64_t startTransfers = rig.link->transfers();
    double runs = 0;
    for (auto _ : state) {
        for (auto& b : image)
            b = static_cast<std::uint8_t>(random());
        BusClaim claim(*rig.bus);
        ChipJob job = rig.job();
        const WantedImage wanted = WantedImage::fromImage(image, image.size(), 0xFF);
        const auto runsPlanned = planWrite(job, wanted, nullptr);
        writeRuns(job, runsPlanned);
        benchmark::DoNotOptimize(verifyRuns(job, runsPlanned, wanted));
        ++runs;
    }
    report(state, rig, startNs, startTransfers, runs);
}
BENCHMARK(BM_93C66WriteAndVerify)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_93C86Fill(benchmark::State& state)
{
    WireBench rig("93C86", 16);
    const std::uint64_t startNs = rig.link->nowNs();
    const std::uint64_t startTransfers = rig.link->transfers();
    double runs = 0;
    for (auto _ : state) {
        BusClaim claim(*rig.bus);
        ChipJob job = rig.job();
        fillMicrowireChip(job, static_cast<std::uint8_t>(runs), false);
        ++runs;
    }
    report(state, rig, startNs, startTransfers, runs);
}
BENCHMARK(BM_93C86Fill)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kavoda
