// The pattern grid's drawing and the window's playback follow.
//
// Repaint: the grid showing a 256-row, 32-track pattern with every cell full, drawn whole into an
// offscreen image the size of a large window's grid area, at 1x and 2x. The goal is under 4 ms, so
// scrolling and following playback hold 60 frames per second.
//
// Follow: the real main window over a dense song for 10 seconds, its playing row moving 16 times a
// second and its meters changing 30 times a second, as the transport and the meter loop write them,
// with the grid, position readout and meter timers at 1/30 second. The counter "busy" is the main
// thread's processor time over the wall time; the goal is under 0.10.

#include "LargeProject.hpp"

#include "SilentEngine.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Tracker/PatternGridView.hpp"
#include "Veltrane/Views/Window/MainWindow.hpp"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <time.h>

#include <memory>

using namespace veltrane;
using veltrane::benchmarks::SilentEngine;

namespace {

QApplication& application()
{
    static int argc = 1;
    static char name[] = "WindowGridBenchmark";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

Pattern densePattern()
{
    Pattern pattern("Dense", 256, 32);
    for (int row = 0; row < 256; ++row) {
        for (int track = 0; track < 32; ++track) {
            pattern.setCell(row, track,
                            Cell{.note = NotePitch{36 + (row * 7 + track) % 60}, .instrument = track % 10,
                                 .volume = static_cast<std::uint8_t>(row % 65),
                                 .effects = {Effect{EffectType::arpeggio, 0x37}, Effect{EffectType::chance, 0x80}}});
        }
    }
    return pattern;
}

void BM_GridFullRepaint(benchmark::State& state)
{
    application();
    const double ratio = static_cast<double>(state.range(0));
    PatternGridView grid;
    grid.resize(1600, 1000);
    grid.show(GridContent{.pattern = densePattern(), .selectedRow = 40, .selectedTrack = 3,
                          .selection = CellRange{30, 2, 50, 5}});
    QImage image(QSize(1600, 1000) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    const QRectF visible(0, 24 * 40, 1600, 1000);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.translate(-visible.topLeft());
        grid.paintContent(painter, visible, visible);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_GridFullRepaint)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_FollowPlaybackTenSeconds(benchmark::State& state)
{
    QApplication& app = application();
    QTemporaryDir folder;
    AppModelServices services;
    services.audio = std::make_unique<SilentEngine>();
    services.settings = std::make_shared<QSettings>(folder.filePath("settings.ini"), QSettings::IniFormat);
    services.audioUnitComponents = [](std::uint32_t) { return std::vector<AudioUnitReference>{}; };
    AppModel model(false, std::filesystem::path(folder.filePath("Autosave.veltrane").toStdString()), std::move(services));
    Project project = model.project();
    project.patterns[0] = densePattern();
    model.setProject(project);
    model.setPatternIndex(0);
    MainWindow window(model, MainWindowOptions{.midiSources = [] { return 0; }});
    window.resize(1600, 1000);
    window.show();
    app.processEvents();

    for (auto _ : state) {
        model.setIsPlaying(true);
        int row = 0;
        int tick = 0;
        // The transport's position loop and the meter loop, as they write the shared state.
        QTimer position;
        position.setInterval(1000 / 16);
        QObject::connect(&position, &QTimer::timeout, [&] { model.playbackUI().row = row++ % 256; });
        QTimer meters;
        meters.setInterval(33);
        QObject::connect(&meters, &QTimer::timeout, [&] {
            ++tick;
            model.meters().master = static_cast<float>((tick % 30) / 30.0);
            for (std::size_t t = 0; t < model.meters().tracks.size(); ++t)
                model.meters().tracks[t] = static_cast<float>(((tick + t) % 20) / 20.0);
        });
        position.start();
        meters.start();
        // The loop sleeps between events, as the application's does: a loop that polled for them
        // would count its own spinning as work.
        QEventLoop loop;
        QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
        QElapsedTimer wall;
        wall.start();
        const double cpuStart = threadSeconds();
        loop.exec();
        const double busy = (threadSeconds() - cpuStart) / (static_cast<double>(wall.elapsed()) / 1000.0);
        state.counters["busy"] = busy;
        position.stop();
        meters.stop();
        model.stop();
    }
}
BENCHMARK(BM_FollowPlaybackTenSeconds)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
