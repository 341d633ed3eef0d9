#include "Veltrane/Views/Window/Screenshots.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Help/TrackerHelpView.hpp"
#include "Veltrane/Views/Inspector/InspectorView.hpp"
#include "Veltrane/Views/Settings/SettingsWindow.hpp"
#include "Veltrane/Views/Tracker/TrackerCommands.hpp"
#include "Veltrane/Views/Tracker/TrackerPanel.hpp"
#include "Veltrane/Views/Transport/PlaybackToggle.hpp"
#include "Veltrane/Views/Window/MainWindow.hpp"

#include "VeltranePlatform/Files/AudioFile.hpp"

#include <QDir>
#include <QTemporaryDir>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace veltrane {

namespace {

/// Two seconds of a drum loop, a plucked bass note and a rising pad, imported once as sample instruments
/// so the Samples tab shows rows with their waveforms, a favourite and tags.
void addScreenshotSamples(AppModel& model)
{
    if (!model.sampleInstrumentIndices().empty()) return;
    QTemporaryDir folder;
    if (!folder.isValid()) return;
    constexpr double rate = 44100;
    const auto write = [&](const char* name, const std::function<double(double)>& signal) {
        AudioFileBuffer buffer;
        buffer.sampleRate = rate;
        buffer.channels.assign(2, std::vector<float>(static_cast<std::size_t>(2 * rate)));
        for (std::size_t i = 0; i < buffer.channels[0].size(); ++i) {
            const auto value = static_cast<float>(signal(static_cast<double>(i) / rate));
            buffer.channels[0][i] = value;
            buffer.channels[1][i] = 0.9f * value;
        }
        const std::filesystem::path path = (folder.path() + QStringLiteral("/") + QString::fromUtf8(name) + QStringLiteral(".wav")).toStdString();
        AudioFile::writeFloatWAV(path, buffer);
        return path;
    };
    std::uint32_t noise = 12345;
    const auto white = [&noise] {
        noise = noise * 1664525u + 1013904223u;
        return static_cast<double>(noise >> 8) / (1 << 23) - 1;
    };
    const double pi = std::numbers::pi;
    const auto drums = write("Break Loop", [&](double t) {
        const double beat = std::fmod(t, 0.25);
        const bool snare = std::fmod(t, 0.5) >= 0.25;
        return snare ? 0.7 * std::exp(-beat * 18) * white() : 0.95 * std::exp(-beat * 14) * std::sin(2 * pi * (60 + 90 * std::exp(-beat * 30)) * beat);
    });
    const auto bass = write("Bass Pluck", [&](double t) { return 0.8 * std::exp(-t * 2.5) * std::sin(2 * pi * 55 * t + 2 * std::sin(2 * pi * 110 * t)); });
    const auto pad = write("Rising Pad", [&](double t) { return 0.6 * std::min(t / 1.2, 1.0) * std::sin(2 * pi * 220 * t) * (0.7 + 0.3 * std::sin(2 * pi * 3 * t)); });
    if (!model.importSamples({drums, bass, pad})) return;
    const auto indices = model.sampleInstrumentIndices();
    model.setSampleFavorite(indices.front(), true);
    model.setSampleTags(indices.front(), "drums, loop");
    model.setSampleTags(indices.back(), "pad, slow attack");
}

} // namespace

std::vector<Screenshot> screenshotPlan()
{
    std::vector<Screenshot> plan{
        {QStringLiteral("main-window"), [](MainWindow&) {}},
        {QStringLiteral("automation-lane"),
         [](MainWindow& window) {
             // A filter sweep drawn into the cursor's track, so the picture shows a lane with points.
             AppModel& model = window.model();
             const int rows = model.project().patterns[static_cast<std::size_t>(model.patternIndex())].rows;
             for (int row = 0; row < rows; row += 2) {
                 const double position = static_cast<double>(row) / std::max(rows - 1, 1);
                 tracker::setParameterLock(model, ParameterTarget::trackCutoff,
                                           valueAtNormalized(ParameterTarget::trackCutoff, 0.2 + 0.7 * position * position),
                                           row, model.selectedTrack());
             }
             window.tracker()->setAutomationShown(true);
         }},
    };
    // One picture of the window per inspector tab, named after the tab: inspector-cell.png, ...
    for (const auto tab : allInspectorTabs) {
        const auto name = QString::fromUtf8(title(tab).data(), static_cast<qsizetype>(title(tab).size())).toLower();
        plan.push_back({QStringLiteral("inspector-") + name, [tab](MainWindow& window) {
                            if (tab == InspectorTab::samples) addScreenshotSamples(window.model());
                            if (auto* inspector = qobject_cast<InspectorView*>(window.inspector())) inspector->setCurrentTab(tab);
                        }});
    }
    // The Instrument tab's sample editor, scrolled into view: the drum loop trimmed at both ends, looping
    // over its middle and sliced at its hits.
    plan.push_back({QStringLiteral("inspector-sample-editor"), [](MainWindow& window) {
                        AppModel& model = window.model();
                        addScreenshotSamples(model);
                        const auto indices = model.sampleInstrumentIndices();
                        if (indices.empty()) return;
                        model.setSelectedInstrument(indices.front());
                        model.updateSampleEdit([](SampleEdit& edit) {
                            edit.trimStart = 0.06;
                            edit.trimEnd = 0.94;
                            edit.loop = true;
                            edit.loopStart = 0.25;
                            edit.loopEnd = 0.75;
                        });
                        model.detectSampleSlices(0.55);
                        auto* inspector = qobject_cast<InspectorView*>(window.inspector());
                        if (!inspector) return;
                        inspector->setCurrentTab(InspectorTab::instrument);
                        // Once the tab is laid out, its end is where the sample editor is.
                        QTimer::singleShot(100, inspector, [inspector] {
                            auto* bar = inspector->scrollArea()->verticalScrollBar();
                            bar->setValue(bar->maximum());
                        });
                    }});
    // The song: a few blocks with repeats, markers and a loop, in the sidebar and the song timeline.
    plan.push_back({QStringLiteral("song-timeline"), [](MainWindow& window) {
                        AppModel& model = window.model();
                        for (int i = 0; i < 4; ++i) model.addOrder();
                        model.setOrderRepeats(1, 3);
                        model.setOrderRepeats(3, 8);
                        model.addSongMarker(0);
                        model.addSongMarker(2);
                        model.addSongMarker(2);
                        model.setSongLoop(1, 2, true);
                        model.selectSongBlock(2);
                        model.setSongMode(true);
                    }});
    plan.push_back({QStringLiteral("help-sheet"),
                    [](MainWindow& window) { window.action(QStringLiteral("Tracker Help"))->trigger(); },
                    [](MainWindow& window) -> QWidget* { return window.findChild<TrackerHelpView*>(); },
                    [](MainWindow& window) {
                        if (auto* sheet = window.findChild<TrackerHelpView*>()) sheet->close();
                    }});
    plan.push_back({QStringLiteral("settings-about"),
                    [](MainWindow& window) { window.action(QStringLiteral("Settings\u2026"))->trigger(); },
                    [](MainWindow& window) -> QWidget* { return window.findChild<SettingsWindow*>(); },
                    [](MainWindow& window) {
                        if (auto* settings = window.findChild<SettingsWindow*>()) settings->close();
                    }});
    return plan;
}

QString screenshotFileName(const QString& name, double devicePixelRatio)
{
    const long ratio = std::lround(devicePixelRatio);
    return ratio <= 1 ? name + QStringLiteral(".png") : QStringLiteral("%1@%2x.png").arg(name).arg(ratio);
}

void prepareScreenshotScene(MainWindow& window)
{
    AppModel& model = window.model();
    model.select(4, 1, CellField::note, false);
    model.select(11, 2, CellField::volume, true);
    startPlayback(model);
}

void takeScreenshots(MainWindow& window, const QString& folder, int settleMilliseconds, std::function<void(int)> done)
{
    QDir().mkpath(folder);
    auto plan = std::make_shared<std::vector<Screenshot>>(screenshotPlan());
    // Each step is kept alive by the timer that runs it; the step itself holds only a weak reference, so
    // the chain frees itself after the last picture.
    auto next = std::make_shared<std::function<void(std::size_t, int)>>();
    std::weak_ptr<std::function<void(std::size_t, int)>> self = next;
    *next = [&window, folder, settleMilliseconds, plan, self, done](std::size_t index, int written) {
        if (index >= plan->size()) {
            done(written);
            return;
        }
        (*plan)[index].prepare(window);
        QTimer::singleShot(settleMilliseconds, &window, [&window, folder, plan, keep = self.lock(), index, written] {
            const Screenshot& shot = (*plan)[index];
            QWidget* subject = shot.subject ? shot.subject(window) : &window;
            const QPixmap picture = subject ? subject->grab() : QPixmap();
            const QString path = QDir(folder).filePath(screenshotFileName(shot.name, picture.devicePixelRatio()));
            const bool saved = !picture.isNull() && picture.save(path, "PNG");
            if (shot.finish) shot.finish(window);
            (*keep)(index + 1, written + (saved ? 1 : 0));
        });
    };
    (*next)(0, 0);
}

} // namespace veltrane
