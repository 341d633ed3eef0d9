#pragma once

// Pictures of the real window for looking at the interface without a desktop: the build's screenshot
// run opens the window over the demo project, plays it, makes a selection, and saves one PNG per entry
// of the plan, named after the entry and the device pixel ratio ("main-window@2x.png").
//
// A view that wants its own picture adds an entry whose `prepare` puts the window in that state (opens
// a tab, shows a panel); the window is laid out again before each grab.

#include <QString>

class QWidget;

#include <functional>
#include <vector>

namespace veltrane {

class MainWindow;

struct Screenshot {
    QString name;
    std::function<void(MainWindow&)> prepare;
    /// The window pictured, when it is not the main window (a sheet, the settings window).
    std::function<QWidget*(MainWindow&)> subject = {};
    /// Runs after the picture, to close what `prepare` opened.
    std::function<void(MainWindow&)> finish = {};
};

/// Every picture the screenshot run takes, in order.
std::vector<Screenshot> screenshotPlan();

/// The file name of a picture at a device pixel ratio: "main-window.png" at 1, "main-window@2x.png" at 2.
QString screenshotFileName(const QString& name, double devicePixelRatio);

/// Puts the window in the state every picture starts from: the demo project playing (where playback can
/// start), a block of cells selected, the cursor inside it.
void prepareScreenshotScene(MainWindow& window);

/// Takes the plan's pictures into `folder`, each after `settleMilliseconds` of the event loop so
/// playback, meters and layout have moved on; then calls `done` with the number of files written.
void takeScreenshots(MainWindow& window, const QString& folder, int settleMilliseconds,
                     std::function<void(int written)> done);

} // namespace veltrane
