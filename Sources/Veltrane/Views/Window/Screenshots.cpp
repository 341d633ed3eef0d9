#include "Veltrane/Views/Window/Screenshots.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Help/TrackerHelpView.hpp"
#include "Veltrane/Views/Inspector/InspectorView.hpp"
#include "Veltrane/Views/Settings/SettingsWindow.hpp"
#include "Veltrane/Views/Tracker/TrackerPanel.hpp"
#include "Veltrane/Views/Transport/PlaybackToggle.hpp"
#include "Veltrane/Views/Window/MainWindow.hpp"

#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <QWindow>

#include <cmath>
#include <memory>

namespace veltrane {

std::vector<Screenshot> screenshotPlan()
{
    std::vector<Screenshot> plan{
        {QStringLiteral("main-window"), [](MainWindow&) {}},
        {QStringLiteral("automation-lane"), [](MainWindow& window) { window.tracker()->setAutomationShown(true); }},
    };
    // One picture of the window per inspector tab, named after the tab: inspector-cell.png, ...
    for (const auto tab : allInspectorTabs) {
        const auto name = QString::fromUtf8(title(tab).data(), static_cast<qsizetype>(title(tab).size())).toLower();
        plan.push_back({QStringLiteral("inspector-") + name, [tab](MainWindow& window) {
                            if (auto* inspector = qobject_cast<InspectorView*>(window.inspector())) inspector->setCurrentTab(tab);
                        }});
    }
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
