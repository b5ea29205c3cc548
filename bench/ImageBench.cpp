// SPDX-License-Identifier: MIT
// The working image's one-byte-per-call access: a whole 24C16 image read
// back and written, a page shown in the main window's grids, and a Save As,
// so that the unbuffered file stays visibly instant.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "Main.h"
#include "RecordFile.h"
#include "WorkingImage.h"

#include <string>

namespace kavoda {
namespace {

constexpr int kImageBytes = 2048;  // a 24C16

using bench::BenchFolder;

BenchFolder& folder()
{
    static BenchFolder f;
    return f;
}

void fillImage(RecordFile& file)
{
    file.createOrTruncate();
    for (int i = 0; i < kImageBytes; ++i)
        file.writeByte(static_cast<std::uint8_t>(i));
}

// As Write Device streams the image: the end test and one read per byte.
void BM_ReadWholeImage(benchmark::State& state)
{
    RecordFile file(folder().file("read.tmp"));
    fillImage(file);
    for (auto _ : state) {
        file.seek(0);
        unsigned sum = 0;
        while (!file.atEnd())
            sum += file.readByte();
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}
BENCHMARK(BM_ReadWholeImage);

// As Read Device fills it: truncate, then one append per byte.
void BM_WriteWholeImage(benchmark::State& state)
{
    RecordFile file(folder().file("write.tmp"));
    for (auto _ : state)
        fillImage(file);
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}
BENCHMARK(BM_WriteWholeImage);

// One page into the four grids, as a click on the page selector does.
void BM_ShowPage(benchmark::State& state)
{
    TMainForm form;
    form.setWorkingFolder(folder().path());
    form.CreateImage();
    for (int i = 0; i < kImageBytes; ++i)
        form.ImageFile.writeByte(static_cast<std::uint8_t>(i));
    form.ReopenImage();
    int page = 0;
    for (auto _ : state) {
        form.ShowPage(page * 256);
        page = (page + 1) % (kImageBytes / 256);
    }
}
BENCHMARK(BM_ShowPage)->Unit(benchmark::kMicrosecond);

void BM_SaveAs(benchmark::State& state)
{
    RecordFile image(folder().file("save-source.tmp"));
    fillImage(image);
    const std::string target = folder().file("saved.bin");
    for (auto _ : state)
        saveImageCopy(image, target);
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}
BENCHMARK(BM_SaveAs)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace kavoda
