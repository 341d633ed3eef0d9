// A repaint of the sample editor's waveform for a 10-minute stereo sample at 44.1 kHz, from the whole
// sample down to a few milliseconds across the view. The overview is made once from the frames, one
// (minimum, maximum) pair per 64 frames, and its levels of detail once from that; a repaint reads only
// the level that gives about a pair per pixel. Every repaint shows the sample moved by a device pixel
// from the one before, as a scroll does, so the view draws the wave afresh each time rather than reusing
// the picture it keeps while only the marks move. The figure to watch is the time per repaint against
// the 4 ms a smooth scroll or zoom allows (a frame at 240 Hz).

#include "Veltrane/Views/Inspector/SampleWaveformView.hpp"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>

using namespace veltrane::inspector;

namespace {

constexpr double sampleRate = 44100;
constexpr std::int64_t frames = static_cast<std::int64_t>(600 * sampleRate);
constexpr int framesPerPair = 64;

/// A decaying note every half second over noise, both channels folded into one overview, made chunk by
/// chunk as a file would be read.
std::shared_ptr<const WaveformLevels> tenMinuteOverview()
{
    std::vector<float> pairs;
    pairs.reserve(static_cast<std::size_t>(frames / framesPerPair * 2 + 2));
    std::uint32_t noise = 22222;
    for (std::int64_t start = 0; start < frames; start += framesPerPair) {
        float minimum = 1;
        float maximum = -1;
        for (std::int64_t frame = start; frame < std::min(start + framesPerPair, frames); ++frame) {
            const double t = frame / sampleRate;
            const double note = std::fmod(t, 0.5);
            noise = noise * 1664525u + 1013904223u;
            const double left = 0.8 * std::exp(-note * 6) * std::sin(2 * std::numbers::pi * 220 * t) +
                                0.05 * (static_cast<double>(noise >> 8) / (1 << 24) - 0.5);
            const double right = 0.9 * left;
            minimum = std::min({minimum, static_cast<float>(left), static_cast<float>(right)});
            maximum = std::max({maximum, static_cast<float>(left), static_cast<float>(right)});
        }
        pairs.push_back(minimum);
        pairs.push_back(maximum);
    }
    return std::make_shared<WaveformLevels>(std::move(pairs));
}

void ensureApplication()
{
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "InspectorWaveformBenchmark";
    static char* argv[] = {name, nullptr};
    // The picture is drawn into an image: no screen is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: Qt's exit-time objects outlive a static application.
    new QApplication(argc, argv);
}

/// Repaints at a visible part of 1 / `state.range(0)` of the sample, centred, 330 × 86 points at 2× pixels.
void repaint(benchmark::State& state)
{
    ensureApplication();
    static const auto levels = tenMinuteOverview();
    SampleWaveformView view;
    view.resize(330, 86);
    view.setLevels(levels);
    view.setMarks(0.1, 0.9, 0.25, 0.75, {0.2, 0.3, 0.4, 0.5, 0.6});
    const double part = 1.0 / static_cast<double>(state.range(0));
    const double step = part / (view.width() * 2);
    QImage image(view.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    double slowestMs = 0;
    bool shifted = false;
    for (auto _ : state) {
        shifted = !shifted;
        const double shift = shifted ? step : 0;
        view.setVisibleRange(std::max(0.5 - part / 2 + shift, 0.0), std::min(0.5 + part / 2 + shift, 1.0));
        const auto begin = std::chrono::steady_clock::now();
        image.fill(Qt::transparent);
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
        slowestMs = std::max(slowestMs, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
    }
    state.counters["slowest_ms"] = slowestMs;
    state.counters["budget_ms"] = 4;
}

} // namespace

BENCHMARK(repaint)->Arg(1)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
