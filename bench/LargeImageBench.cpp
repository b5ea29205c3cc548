// SPDX-License-Identifier: MIT
// The main window with a 16 MiB image (the largest it loads): a page turn
// by Page Down and a jump to an address far away, and the window's memory
// (resident and peak) reported beside them.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "Main.h"
#include "Settings.h"
#include "UpDown.h"
#include "WorkingImage.h"

#include <QAction>
#include <QApplication>
#include <fstream>
#include <string>
#include <vector>

namespace kavoda {
namespace {

constexpr std::int64_t kImageBytes = kMaxImageBytes;

bench::BenchFolder& folder()
{
    static bench::BenchFolder f;
    return f;
}

// VmRSS or VmHWM of this process in MiB.
double memoryMiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::stod(line.substr(prefix.size())) / 1024.0;
    }
    return 0;
}

// A window that has loaded a 16 MiB image through its Load menu.
TMainForm& windowWithLargeImage()
{
    static TMainForm* form = [] {
        setSettingsFolder(QString::fromStdString(folder().path()));
        const std::string source = folder().file("large.bin");
        {
            std::ofstream out(source, std::ios::binary);
            std::vector<char> chunk(1 << 16);
            for (std::size_t i = 0; i < chunk.size(); ++i)
                chunk[i] = static_cast<char>(i * 7);
            for (std::int64_t done = 0; done < kImageBytes; done += chunk.size())
                out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
        auto* f = new TMainForm;
        f->setWorkingFolder(folder().path());
        f->setImageDialogHook([source](TMainForm::ImageDialog) {
            return QString::fromStdString(source);
        });
        f->menuAction(QStringLiteral("&Load"))->trigger();
        f->show();
        QApplication::processEvents();
        return f;
    }();
    return *form;
}

void reportMemory(benchmark::State& state)
{
    state.counters["rss_MiB"] = memoryMiB("VmRSS");
    state.counters["peak_MiB"] = memoryMiB("VmHWM");
    state.counters["pages"] = static_cast<double>(windowWithLargeImage().pageCount());
}

// Page Down, painted: the arrows' click, the grids refilled, the events handled.
void BM_LargeImagePageTurn(benchmark::State& state)
{
    TMainForm& form = windowWithLargeImage();
    form.UpDown1->setPosition(0);
    for (auto _ : state) {
        if (form.UpDown1->position() == form.UpDown1->maximum())
            form.UpDown1->setPosition(0);
        form.UpDown1->click(UpDown::Up);
        QApplication::processEvents();
    }
    reportMemory(state);
}
BENCHMARK(BM_LargeImagePageTurn)->Unit(benchmark::kMillisecond);

// A jump across the image, as the go-to address does.
void BM_LargeImageGoTo(benchmark::State& state)
{
    TMainForm& form = windowWithLargeImage();
    std::int64_t address = 0;
    for (auto _ : state) {
        address = (address + 0x9E3779) % kImageBytes;
        form.goToAddress(address);
        QApplication::processEvents();
    }
    reportMemory(state);
}
BENCHMARK(BM_LargeImageGoTo)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kavoda
