// SPDX-License-Identifier: MIT
// The main window's own cost per byte of a device operation: a Read of a
// simulated 24C16 at Delay 0 through ReadBtnClick, on a shown window under
// the offscreen platform, against the same read loop into the same kind of
// file with nothing shown.
// Run with QT_QPA_PLATFORM=offscreen.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QCoreApplication>
#include <QTimer>

#include <ctime>

#include "BenchSupport.h"
#include "QuietDisplay.h"
#include "DeviceBus.h"
#include "ParallelPortBus.h"
#include "DeviceCatalogue.h"
#include "DeviceOperations.h"
#include "HexEdit.h"
#include "Main.h"
#include "PortSession.h"
#include "RecordFile.h"
#include "Settings.h"
#include "Settings.h"

namespace kavoda {
namespace {

using bench::BenchFolder;
using test::QuietDisplay;

constexpr int kBytes = 2048;

// The working file as the window's Read fills it, one byte per call.
class FileSink final : public ByteSink {
public:
    explicit FileSink(RecordFile& file) : m_file(file) {}
    void put(const std::uint8_t* data, std::size_t length) override
    {
        for (std::size_t i = 0; i < length; ++i)
            m_file.writeByte(data[i]);
    }

private:
    RecordFile& m_file;
};

// CPU time of this thread: on a busy machine wall time mostly measures the
// other processes.
double threadSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_WindowCostPerByte(benchmark::State& state)
{
    BenchFolder folder;
    setSettingsFolder(QString::fromStdString(folder.path()));
    PortOptions options;
    options.simulateType = 4;  // 24C16
    TMainForm form(options);
    form.setWorkingFolder(folder.path());
    form.show();
    form.menuAction(QStringLiteral("24C16"))->trigger();
    BusDelay = 0;

    PortSession bareSession(options);
    ParallelPortBus bareBus(bareSession);
    QuietDisplay discard;
    RecordFile bareFile(folder.path() + "/bare.tmp");
    FileSink sink(bareFile);

    double window = 0;
    double bare = 0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        form.ReadBtnClick();
        const double t1 = threadSeconds();
        {
            BusClaim claim(bareBus);
            FastTiming = 1;
            bareFile.createOrTruncate();
            ChipJob job{bareBus, *findDevice("24C16"), discard, Transfers::Bytewise};
            readPass(job, sink);
        }
        const double t2 = threadSeconds();
        window += t1 - t0;
        bare += t2 - t1;
        state.SetIterationTime(t2 - t0);
    }
    const double n = static_cast<double>(state.iterations()) * kBytes;
    state.counters["window_us_per_byte"] = window / n * 1e6;
    state.counters["bare_us_per_byte"] = bare / n * 1e6;
    state.counters["gui_us_per_byte"] = (window - bare) / n * 1e6;
    form.Timer1->stop();
    setSettingsFolder(QString());
    resetDeviceState();
}
BENCHMARK(BM_WindowCostPerByte)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// What the per-byte cost is made of: one round of message handling on the
// shown window, and the two text updates.
void BM_ProcessEventsOnShownWindow(benchmark::State& state)
{
    BenchFolder folder;
    setSettingsFolder(QString::fromStdString(folder.path()));
    TMainForm form;
    form.show();
    QCoreApplication::processEvents();
    for (auto _ : state)
        QCoreApplication::processEvents();
    setSettingsFolder(QString());
}
BENCHMARK(BM_ProcessEventsOnShownWindow);

void BM_FieldTexts(benchmark::State& state)
{
    BenchFolder folder;
    setSettingsFolder(QString::fromStdString(folder.path()));
    TMainForm form;
    form.show();
    QCoreApplication::processEvents();
    int i = 0;
    for (auto _ : state) {
        form.hexedit2->setText(QStringLiteral("%1").arg(i & 0x7FF, 4, 16, QLatin1Char('0')).toUpper());
        form.hexedit3->setText(QStringLiteral("%1").arg(i & 0xFF, 2, 16, QLatin1Char('0')).toUpper());
        ++i;
    }
    setSettingsFolder(QString());
}
BENCHMARK(BM_FieldTexts);

}  // namespace
}  // namespace kavoda
