// Opening a photo: a 12-megapixel JPEG (4000 x 3000, as a phone takes it) decoded,
// turned upright and resampled onto the grid. Writing one frame of the animation.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "export/export.h"
#include "panels/panels.h"
#include "tests/support/picture_files.h"

namespace {

// Smooth gradients with fine grain, so the file is about as large as a photo's.
std::vector<uint8_t> photoSamples(int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = static_cast<int>(noise >> 28) - 8;
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 200 / width + 20 + grain);
            p[1] = static_cast<uint8_t>(y * 200 / height + 20 + grain);
            p[2] = static_cast<uint8_t>((x + y) % 256 / 2 + 60 + grain);
        }
    return rgb;
}

void decodeJpeg12Megapixels(benchmark::State& state) {
    testpictures::JpegLayout layout;
    layout.quality = 92;
    layout.progressive = state.range(0) != 0;
    layout.orientation = layout.progressive ? 6 : 1;
    const std::vector<uint8_t> file =
        testpictures::writeJpeg(4000, 3000, photoSamples(4000, 3000), layout);
    static mw::WorkImage grid;
    for (auto _ : state) {
        const std::string reason = mw::decodePicture(file.data(), file.size(), grid);
        if (!reason.empty()) state.SkipWithError(reason.c_str());
        benchmark::DoNotOptimize(grid.data());
    }
    state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
}
BENCHMARK(decodeJpeg12Megapixels)
    ->ArgName("progressive_turned")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// Writing one frame of the animation: rows turned, BMP encoded, written under a
// temporary name, synced to the disk and renamed. Real time: the sync is a wait.
void writeFrame(benchmark::State& state) {
    char directory[] = "/tmp/mw-frame-bench-XXXXXX";
    if (mkdtemp(directory) == nullptr) {
        state.SkipWithError("cannot make a temporary directory");
        return;
    }
    const std::vector<uint8_t> samples = photoSamples(mw::kWorkWidth, mw::kWorkHeight);
    std::copy(samples.begin(), samples.end(), mw::images.morphImage.begin());
    const std::string path = std::string(directory) + "/img_seq_0.500000.BMP";
    for (auto _ : state)
        if (!mw::writeFrame(path.c_str())) state.SkipWithError("the frame was not written");
    unlink(path.c_str());
    rmdir(directory);
}
BENCHMARK(writeFrame)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
