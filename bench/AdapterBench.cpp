// SPDX-License-Identifier: MIT
// The whole-chip operations of a 24C16 through each simulated adapter: the
// program's own cost, and in counters what real hardware would see: USB
// transfers or system calls (port accesses per byte on the parallel port),
// write cycles, and the device time of the adapter model against the
// wire's limit (the bits a 100 or 400 kHz bus must clock, plus one write
// cycle, 10 ms unless named, per page written). And a 4 MiB SPI read through
// the simulated CH341A and spidev.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>

#include "Adapter.h"
#include "BenchSupport.h"
#include "QuietDisplay.h"
#include "ControllerBus.h"
#include "DeviceBus.h"
#include "DeviceOperations.h"
#include "PortSession.h"
#include "Ch341a.h"
#include "SimulatedCh341a.h"
#include "SimulatedChip.h"
#include "SimulatedLink.h"
#include "SimulatedSpidev.h"
#include "Spidev.h"
#include "engine/SpiMemoryDouble.h"

namespace kavoda {
namespace {

using test::QuietDisplay;

class CountingSink final : public ByteSink {
public:
    void put(const std::uint8_t* data, std::size_t length) override
    {
        for (std::size_t i = 0; i < length; ++i)
            sum += data[i];
    }
    unsigned sum = 0;
};

// adapter: 0 parallel port, 1 CH341A at 100 kHz, 2 CH341A at 400 kHz,
// 3 kernel I2C bus; a 24C16 on each.
struct Rig {
    std::unique_ptr<PortSession> session;
    std::unique_ptr<DeviceBus> bus;
    int khz = 100;
    std::uint64_t cycleNs = 10'000'000;

    SimulatedLink* link() const
    {
        auto* controller = dynamic_cast<ControllerBus*>(bus.get());
        return controller ? controller->simulation() : nullptr;
    }
    SimulatedChip& chip() const
    {
        return link() ? link()->chip() : session->simulator()->chip();
    }
    std::uint64_t nowNs() const
    {
        return link() ? link()->nowNs() : session->simulator()->nowNs();
    }
    // Transfers, or port accesses on the parallel port (Delay 0: its time
    // is then 1 us per access).
    std::uint64_t transfers() const { return link() ? link()->transfers() : nowNs() / 1000; }
};

const char* const kLabels[] = {"parport", "ch341a-100kHz", "ch341a-400kHz", "i2c"};

Rig makeRig(int adapter, const char* chip = "24C16",
            std::optional<std::uint64_t> cycleNs = std::nullopt)
{
    PortOptions options;
    options.simulateType = findChip(chip)->deviceType;
    options.simWriteCycleNs = cycleNs;
    const char* names[] = {"parport", "ch341a", "ch341a", "i2c:/dev/i2c-1"};
    options.adapter = *parseAdapter(names[adapter]);
    Rig rig;
    if (adapter == 2) {
        options.i2cSpeed = I2cSpeed::k400kHz;
        options.adapter->speed = I2cSpeed::k400kHz;
        rig.khz = 400;
    }
    rig.cycleNs = cycleNs.value_or(10'000'000);
    rig.session = std::make_unique<PortSession>(options);
    rig.bus = makeDeviceBus(*rig.session);
    return rig;
}

// What one iteration cost the adapter, and the wire's limit for it.
struct Tally {
    std::uint64_t transfers = 0;
    std::uint64_t cycles = 0;
    std::uint64_t ns = 0;
};

void report(benchmark::State& state, const Rig& rig, const Tally& t, std::uint64_t bitsClocked,
            std::uint64_t pages)
{
    const double n = static_cast<double>(state.iterations());
    const double wire = static_cast<double>(bitsClocked) / (rig.khz * 1e3) +
                        static_cast<double>(pages) * static_cast<double>(rig.cycleNs) / 1e9;
    state.counters["transfers"] = static_cast<double>(t.transfers) / n;
    state.counters["write_cycles"] = static_cast<double>(t.cycles) / n;
    state.counters["device_s"] = static_cast<double>(t.ns) / 1e9 / n;
    state.counters["wire_s"] = wire;
    state.counters["x_wire"] = static_cast<double>(t.ns) / 1e9 / n / wire;
}

template <typename Work>
void measure(benchmark::State& state, Work work, std::uint64_t bitsClocked, std::uint64_t pages,
             const char* chip = "24C16", std::optional<std::uint64_t> cycleNs = std::nullopt)
{
    const int adapter = static_cast<int>(state.range(0));
    state.SetLabel(kLabels[adapter]);
    resetDeviceState();
    BusDelay = 0;
    Rig rig = makeRig(adapter, chip, cycleNs);
    QuietDisplay display;
    BusClaim claim(*rig.bus);
    ChipJob job{*rig.bus, *findChip(chip), display, Transfers::Fast};
    Tally tally;
    for (auto _ : state) {
        const std::uint64_t t0 = rig.nowNs();
        const std::uint64_t x0 = rig.transfers();
        const std::uint64_t c0 = rig.chip().writeCycles();
        work(job, rig);
        tally.ns += rig.nowNs() - t0;
        tally.transfers += rig.transfers() - x0;
        tally.cycles += rig.chip().writeCycles() - c0;
    }
    report(state, rig, tally, bitsClocked, pages);
    resetDeviceState();
}

constexpr std::uint64_t kBytes = 2048;
// Nine clocks a byte; a few address bytes besides, which the limit leaves out.
constexpr std::uint64_t kBits = kBytes * 9;

std::vector<std::uint8_t> pattern(std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(kBytes);
    for (std::size_t i = 0; i < kBytes; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
    return bytes;
}

void BM_Read24C16(benchmark::State& state)
{
    measure(
        state,
        [](ChipJob& job, Rig&) {
            std::vector<std::uint8_t> bytes;
            readRange(job, 0, kBytes, bytes);
            benchmark::DoNotOptimize(bytes.data());
        },
        kBits, 0);
}
BENCHMARK(BM_Read24C16)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// Every byte differs: 128 page writes and a whole verify.
void BM_WriteAll24C16(benchmark::State& state)
{
    std::uint8_t seed = 0;
    measure(
        state,
        [&seed](ChipJob& job, Rig&) {
            const WantedImage wanted = WantedImage::fromImage(pattern(++seed), kBytes, 0xFF);
            writeRuns(job, planWrite(job, wanted, nullptr));
            std::vector<std::uint8_t> back;
            readRange(job, 0, kBytes, back);
        },
        2 * kBits, kBytes / 16);
}
BENCHMARK(BM_WriteAll24C16)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(2);

// A whole 24C16 read with the opening (the clock setting) included, a new
// programmer each time.
void BM_OpenAndRead24C16(benchmark::State& state)
{
    const int adapter = static_cast<int>(state.range(0));
    state.SetLabel(kLabels[adapter]);
    resetDeviceState();
    Tally tally;
    Rig last;
    for (auto _ : state) {
        Rig rig = makeRig(adapter);
        QuietDisplay display;
        ChipJob job{*rig.bus, *findChip("24C16"), display, Transfers::Fast};
        {
            BusClaim claim(*rig.bus);
            std::vector<std::uint8_t> bytes;
            readRange(job, 0, kBytes, bytes);
        }
        tally.ns += rig.nowNs();
        tally.transfers += rig.transfers();
        last = std::move(rig);
    }
    report(state, last, tally, kBits, 0);
    resetDeviceState();
}
BENCHMARK(BM_OpenAndRead24C16)->DenseRange(1, 3)->Unit(benchmark::kMillisecond);

// 2048 random bytes written and the whole chip read back, on a chip whose
// write cycle is 5 ms.
void BM_WriteVerifyRandom24C16(benchmark::State& state)
{
    std::mt19937 random(1);
    measure(
        state,
        [&random](ChipJob& job, Rig&) {
            std::vector<std::uint8_t> image(kBytes);
            for (std::uint8_t& b : image)
                b = static_cast<std::uint8_t>(random());
            const WantedImage wanted = WantedImage::fromImage(image, kBytes, 0xFF);
            const auto runs = planWrite(job, wanted, nullptr);
            writeRuns(job, runs);
            verifyRuns(job, runs, wanted);
        },
        2 * kBits, kBytes / 16, "24C16", 5'000'000);
}
BENCHMARK(BM_WriteVerifyRandom24C16)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(2);

// Ten bytes on ten pages differ: one whole read, ten page writes, their
// pages read back.
void BM_WriteTenBytes24C16(benchmark::State& state)
{
    std::uint8_t seed = 0;
    measure(
        state,
        [&seed](ChipJob& job, Rig&) {
            std::vector<std::uint8_t> image(kBytes, 0xFF);
            std::vector<std::uint8_t> before;
            readRange(job, 0, kBytes, before);
            image = before;
            ++seed;
            for (int i = 0; i < 10; ++i)
                image[static_cast<std::size_t>(i * 200)] ^= seed;
            const WantedImage wanted = WantedImage::fromImage(image, kBytes, 0xFF);
            const auto runs = planWrite(job, wanted, &before);
            writeRuns(job, runs);
            verifyRuns(job, runs, wanted);
        },
        kBits + 10 * 16 * 9, 10);
}
BENCHMARK(BM_WriteTenBytes24C16)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(2);

// The window's Write Device on the adapter's fast transfers: erase pass,
// write pass, closing Read.
void BM_WindowWriteDevice24C16(benchmark::State& state)
{
    std::uint8_t seed = 0;
    measure(
        state,
        [&seed](ChipJob& job, Rig&) {
            fillPass(job, 0xFF, true);
            writePass(job, pattern(++seed));
            CountingSink sink;
            readPass(job, sink);
        },
        3 * kBits, 2 * kBytes / 16);
}
BENCHMARK(BM_WindowWriteDevice24C16)->DenseRange(1, 3)->Unit(benchmark::kMillisecond)->Iterations(2);

// The largest two-byte type: a whole 24C512 read, and written page by page
// (512 pages of 128 bytes).
void BM_Read24C512(benchmark::State& state)
{
    measure(
        state,
        [](ChipJob& job, Rig&) {
            std::vector<std::uint8_t> bytes;
            readRange(job, 0, 0x10000, bytes);
            benchmark::DoNotOptimize(bytes.data());
        },
        0x10000 * 9, 0, "24C512");
}
BENCHMARK(BM_Read24C512)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Write24C512(benchmark::State& state)
{
    measure(
        state,
        [](ChipJob& job, Rig&) {
            writeRuns(job, planWrite(job, WantedImage::constant(0x10000, 0x5A), nullptr));
        },
        0x10000 * 9, 0x10000 / 128, "24C512");
}
BENCHMARK(BM_Write24C512)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(1);

// A W25Q32's 4 MiB read through the SPI transports, in READ commands as
// long as a call of the transport carries, on a memory that answers READ
// (the SPI families' chips stand in here once they exist). adapter: 0 the
// CH341A (its fixed clock of about 1.5 MHz), 1 spidev at 1 MHz (the
// default), 2 spidev at 20 MHz. Device time against the wire's limit: the
// bits of 4 MiB at the clock.
void BM_SpiRead4MiB(benchmark::State& state)
{
    constexpr std::uint32_t kSize = 4 * 1024 * 1024;
    const int adapter = static_cast<int>(state.range(0));
    const char* labels[] = {"ch341a-1.5MHz", "spidev-1MHz", "spidev-20MHz"};
    state.SetLabel(labels[adapter]);
    const int khz = adapter == 0 ? Ch341aSpi::kClockKhz : adapter == 1 ? 1000 : 20000;
    std::unique_ptr<SimulatedLink> link;
    std::unique_ptr<SpiTransport> spi;
    if (adapter == 0) {
        auto sim = std::make_unique<SimulatedCh341a>(std::make_unique<test::SpiMemoryDouble>(kSize));
        spi = std::make_unique<Ch341aSpi>(*sim, [s = sim.get()] { return s->nowNs(); });
        link = std::move(sim);
    } else {
        auto sim = std::make_unique<SimulatedSpidev>(std::make_unique<test::SpiMemoryDouble>(kSize),
                                                     khz);
        spi = std::make_unique<SpidevTransport>(*sim, "/dev/spidev0.0", sim->bufferSize(),
                                                [s = sim.get()] { return s->nowNs(); });
        link = std::move(sim);
    }
    const std::uint32_t run = spi->limits().maxTransaction - 4;
    Tally tally;
    std::vector<std::uint8_t> image(kSize);
    for (auto _ : state) {
        const std::uint64_t t0 = link->nowNs();
        const std::uint64_t x0 = link->transfers();
        for (std::uint32_t at = 0; at < kSize; at += run) {
            const std::uint32_t n = std::min(run, kSize - at);
            const auto result = spi->run({test::readCommand(at, n)});
            std::copy(result[0].begin(), result[0].end(), image.begin() + at);
        }
        benchmark::DoNotOptimize(image.data());
        tally.ns += link->nowNs() - t0;
        tally.transfers += link->transfers() - x0;
    }
    const double n = static_cast<double>(state.iterations());
    const double wire = static_cast<double>(kSize) * 8 / (khz * 1e3);
    state.counters["transfers"] = static_cast<double>(tally.transfers) / n;
    state.counters["device_s"] = static_cast<double>(tally.ns) / 1e9 / n;
    state.counters["wire_s"] = wire;
    state.counters["x_wire"] = static_cast<double>(tally.ns) / 1e9 / n / wire;
}
BENCHMARK(BM_SpiRead4MiB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(1);

// Page programs as the flash family sends them, one call a page: write
// enable, the program of 256 bytes, a first status read. The memory here has
// no write cycle, so this is the adapter's cost per page alone.
void BM_SpiPagePrograms(benchmark::State& state)
{
    constexpr std::uint32_t kPages = 1024;
    const int adapter = static_cast<int>(state.range(0));
    state.SetLabel(adapter == 0 ? "ch341a-1.5MHz" : "spidev-20MHz");
    std::unique_ptr<SimulatedLink> link;
    std::unique_ptr<SpiTransport> spi;
    if (adapter == 0) {
        auto sim = std::make_unique<SimulatedCh341a>(
            std::make_unique<test::SpiMemoryDouble>(kPages * 256));
        spi = std::make_unique<Ch341aSpi>(*sim, [s = sim.get()] { return s->nowNs(); });
        link = std::move(sim);
    } else {
        auto sim = std::make_unique<SimulatedSpidev>(
            std::make_unique<test::SpiMemoryDouble>(kPages * 256), 20000);
        spi = std::make_unique<SpidevTransport>(*sim, "/dev/spidev0.0", sim->bufferSize(),
                                                [s = sim.get()] { return s->nowNs(); });
        link = std::move(sim);
    }
    Tally tally;
    for (auto _ : state) {
        const std::uint64_t t0 = link->nowNs();
        const std::uint64_t x0 = link->transfers();
        for (std::uint32_t page = 0; page < kPages; ++page) {
            std::vector<std::uint8_t> program{0x02, static_cast<std::uint8_t>(page >> 8),
                                              static_cast<std::uint8_t>(page), 0x00};
            program.resize(program.size() + 256, static_cast<std::uint8_t>(page));
            spi->run({SpiTransaction{{0x06}, 0}, SpiTransaction{program, 0},
                      SpiTransaction{{0x05}, 1}});
        }
        tally.ns += link->nowNs() - t0;
        tally.transfers += link->transfers() - x0;
    }
    const double n = static_cast<double>(state.iterations()) * kPages;
    state.counters["transfers_per_page"] = static_cast<double>(tally.transfers) / n;
    state.counters["device_ms_per_page"] = static_cast<double>(tally.ns) / 1e6 / n;
}
BENCHMARK(BM_SpiPagePrograms)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace kavoda
