// Cost of a screenshot answer on a 1920 by 1080 screen, full size and as a 100 by 100
// thumbnail: synthetic frame, and Xvfb capture when Xvfb is installed; PNG sizes too.
#include "pages/PngEncoder.h"
#include "pages/ShrinkToFit.h"
#include "platform/ScreenCapture.h"
#include "tests/support/Xvfb.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <random>

namespace {

using tarnhollow::RgbImage;

constexpr int kWidth = 1920, kHeight = 1080;

// Something like a desktop: flat panels and a gradient wallpaper, with windows of
// noisy "text" rows, so the encoder sees both easy and hard areas. Fixed seed.
const RgbImage& Frame() {
    static const RgbImage frame = [] {
        RgbImage image{kWidth, kHeight, {}};
        image.pixels.reserve(static_cast<size_t>(kWidth) * kHeight * 3);
        std::mt19937 random(1080);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool panel = y < 40 || y >= kHeight - 48;
                const bool window = x > 200 && x < 1300 && y > 120 && y < 900;
                unsigned char r, g, b;
                if (panel) {
                    r = 40, g = 44, b = 52;
                } else if (window) {
                    const bool text = (y / 18) % 2 == 0 && (random() % 5) == 0;
                    r = g = b = text ? static_cast<unsigned char>(random() % 96) : 250;
                } else {
                    r = static_cast<unsigned char>(x * 255 / kWidth);
                    g = static_cast<unsigned char>(y * 255 / kHeight);
                    b = 160;
                }
                image.pixels.insert(image.pixels.end(), {r, g, b});
            }
        }
        return image;
    }();
    return frame;
}

void Answer(benchmark::State& state, const std::function<std::optional<RgbImage>()>& capture, int box) {
    size_t pngBytes = 0;
    for (auto _ : state) {
        std::optional<RgbImage> image = capture();
        if (!image) {
            state.SkipWithError("no picture");
            return;
        }
        if (box) tarnhollow::ShrinkToFit(*image, box, box);
        const auto png = tarnhollow::EncodePng(*image);
        if (!png) {
            state.SkipWithError("encoding failed");
            return;
        }
        pngBytes = png->size();
        benchmark::DoNotOptimize(png->data());
    }
    state.counters["png_bytes"] = static_cast<double>(pngBytes);
}

void SyntheticFullSize(benchmark::State& state) {
    Answer(state, [] { return std::optional<RgbImage>(Frame()); }, 0);
}
void SyntheticThumbnail(benchmark::State& state) {
    Answer(state, [] { return std::optional<RgbImage>(Frame()); }, 100);
}
void ShrinkOnly(benchmark::State& state) {
    for (auto _ : state) {
        RgbImage image = Frame();
        tarnhollow::ShrinkToFit(image, 100, 100);
        benchmark::DoNotOptimize(image.pixels.data());
    }
}

// One Xvfb display for the capture benchmarks, painted with the synthetic frame.
struct Display {
    tarnhollow::test::XvfbServer xvfb{kWidth, kHeight};
    bool painted = xvfb.Running() && tarnhollow::test::PaintRoot(xvfb.Display(), kWidth, kHeight, Frame().pixels);
    std::unique_ptr<tarnhollow::test::ScopedDisplayVariable> variable =
        std::make_unique<tarnhollow::test::ScopedDisplayVariable>(xvfb.Display());
    tarnhollow::ScreenCapture screen;
};

Display& XDisplay() {
    static Display display;
    return display;
}

void Captured(benchmark::State& state, int box) {
    Display& display = XDisplay();
    if (!display.painted) {
        state.SkipWithError("Xvfb is not installed");
        return;
    }
    Answer(state, [&] { return display.screen.CaptureScreen(); }, box);
}
void CaptureOnly(benchmark::State& state) {
    Display& display = XDisplay();
    if (!display.painted) {
        state.SkipWithError("Xvfb is not installed");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(display.screen.CaptureScreen());
}
void CapturedFullSize(benchmark::State& state) { Captured(state, 0); }
void CapturedThumbnail(benchmark::State& state) { Captured(state, 100); }

BENCHMARK(SyntheticFullSize)->Unit(benchmark::kMillisecond);
BENCHMARK(SyntheticThumbnail)->Unit(benchmark::kMillisecond);
BENCHMARK(ShrinkOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(CaptureOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(CapturedFullSize)->Unit(benchmark::kMillisecond);
BENCHMARK(CapturedThumbnail)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
