// SPDX-License-Identifier: MIT
// The SPI families on the simulated SPI transport: a W25Q32 read, a full
// W25Q32 write and verify over another image, and a 25640 written in
// 32-byte pages against byte writes. The counters are the model's: device
// seconds of virtual time and calls of the transport. What the model
// assumes: each byte clocks 8 bits at the transport's clock; each call
// costs a fixed time (a USB round trip, a system call); the chips take
// their datasheets' typical times (W25Q32: page program 0.7 ms, 4 KiB
// erase 45 ms, 64 KiB erase 150 ms; 25640: 5 ms a write cycle).
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "DeviceOperations.h"
#include "QuietDisplay.h"
#include "SimulatedSpiBus.h"
#include "SpiChipBus.h"

namespace kavoda {
namespace {

using test::QuietDisplay;

// 0: a USB bridge (2 MHz, 1 ms a call, 4 KiB a transaction);
// 1: a kernel SPI bus (10 MHz, 20 us a call, spidev's 4 KiB buffer).
SimulatedSpiBus::Timing timingOf(int setting)
{
    return setting == 0 ? SimulatedSpiBus::Timing{2000, 1'000'000, 0}
                        : SimulatedSpiBus::Timing{10000, 20'000, 0};
}

struct SpiBench {
    std::shared_ptr<SimulatedSpiBus> link;
    std::unique_ptr<SpiChipBus> bus;
    const ChipType& chip;
    QuietDisplay display;

    SpiBench(const char* type, int setting) : chip(*findChip(type))
    {
        ChipOptions options;
        options.deviceType = chip.deviceType;
        const auto timing = timingOf(setting);
        link = std::make_shared<SimulatedSpiBus>(makeSimulatedSpiChip(options), timing,
                                                 SpiLimits{4096, 4096});
        const TransferLimits limits{0x10000, 0x10000, 0x100, 8, false, true,
                                    static_cast<std::uint32_t>(8'000'000 / timing.clockKhz)};
        bus = std::make_unique<SpiChipBus>([l = link] { return l->open(); }, limits, link);
    }
    ChipJob job(Transfers transfers = Transfers::Fast) { return ChipJob{*bus, chip, display, transfers}; }
};

std::vector<std::uint8_t> randomImage(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

void report(benchmark::State& state, const SpiBench& rig, std::uint64_t startNs,
            std::uint64_t startCalls, double runs)
{
    state.counters["device_s"] = static_cast<double>(rig.link->nowNs() - startNs) / 1e9 / runs;
    state.counters["calls"] = static_cast<double>(rig.link->transfers() - startCalls) / runs;
}

void BM_W25Q32Read(benchmark::State& state)
{
    SpiBench rig("W25Q32", static_cast<int>(state.range(0)));
    BusClaim claim(*rig.bus);
    const std::uint64_t startNs = rig.link->nowNs();
    const std::uint64_t startCalls = rig.link->transfers();
    double runs = 0;
    for (auto _ : state) {
        ChipJob job = rig.job();
        std::vector<std::uint8_t> bytes;
        readRange(job, 0, static_cast<std::uint32_t>(rig.chip.size), bytes);
        benchmark::DoNotOptimize(bytes.data());
        ++runs;
    }
    report(state, rig, startNs, startCalls, runs);
    // The wire's limit: 8 clocks a byte and nothing else.
    state.counters["wire_s"] = rig.chip.size * 8.0 / (timingOf(static_cast<int>(state.range(0))).clockKhz * 1e3);
}
BENCHMARK(BM_W25Q32Read)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_W25Q32WriteVerify(benchmark::State& state)
{
    SpiBench rig("W25Q32", static_cast<int>(state.range(0)));
    BusClaim claim(*rig.bus);
    const auto size = static_cast<std::size_t>(rig.chip.size);
    {
        ChipJob job = rig.job();
        std::vector<std::uint8_t> blank(size, 0xFF);
        writeFlash(job, planFlashWrite(job, WantedImage::fromImage(randomImage(size, 1), size, 0xFF), blank));
    }
    const std::uint64_t startNs = rig.link->nowNs();
    const std::uint64_t startCalls = rig.link->transfers();
    double runs = 0;
    for (auto _ : state) {
        ChipJob job = rig.job();
        // As kavoda-cli write does it: read, erase and program what differs, verify.
        std::vector<std::uint8_t> before;
        readRange(job, 0, static_cast<std::uint32_t>(size), before);
        const FlashPlan plan = planFlashWrite(
            job, WantedImage::fromImage(randomImage(size, 2 + static_cast<unsigned>(runs)), size, 0xFF), before);
        writeFlash(job, plan);
        if (verifyFlash(job, plan))
            state.SkipWithError("verify failed");
        ++runs;
    }
    report(state, rig, startNs, startCalls, runs);
}
BENCHMARK(BM_W25Q32WriteVerify)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// A 25640 written whole: in 32-byte pages (0) or one byte a write (1).
void BM_25640Write(benchmark::State& state)
{
    SpiBench rig("25640", 0);
    BusClaim claim(*rig.bus);
    const Transfers transfers = state.range(0) == 0 ? Transfers::Fast : Transfers::Bytewise;
    const std::uint64_t startNs = rig.link->nowNs();
    const std::uint64_t startCalls = rig.link->transfers();
    double runs = 0;
    for (auto _ : state) {
        ChipJob job = rig.job(transfers);
        const auto image = randomImage(static_cast<std::size_t>(rig.chip.size), static_cast<unsigned>(runs));
        writeRuns(job, planWrite(job, WantedImage::fromImage(image, image.size(), 0xFF), nullptr));
        ++runs;
    }
    report(state, rig, startNs, startCalls, runs);
    state.counters["write_cycles"] = static_cast<double>(rig.link->spiChip()->writeCycles()) / runs;
}
BENCHMARK(BM_25640Write)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace kavoda
