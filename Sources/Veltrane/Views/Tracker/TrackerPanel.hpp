#pragma once

// The centre column of the window, top to bottom: the transport bar, the song timeline in song mode, a
// hairline, the pattern header, the editing tools, the automation panel while it is open, and the
// pattern grid.

#include <QWidget>

#include <functional>

namespace veltrane {

class AppModel;
class AutomationPanel;
class EditingToolsBar;
class PatternHeaderStrip;
class SongTimeline;
class TrackerPatternGrid;
class TransportBar;

class TrackerPanel final : public QWidget {
    Q_OBJECT
public:
    TrackerPanel(AppModel& model, std::function<int()> midiSources, QWidget* parent = nullptr);

    TransportBar* transportBar() const noexcept { return transportBar_; }
    /// The song's block strip, shown while the model plays songs.
    SongTimeline* songTimeline() const noexcept { return songTimeline_; }
    PatternHeaderStrip* header() const noexcept { return header_; }
    EditingToolsBar* tools() const noexcept { return tools_; }
    AutomationPanel* automation() const noexcept { return automation_; }
    TrackerPatternGrid* grid() const noexcept { return grid_; }

    bool automationShown() const noexcept { return automationShown_; }
    void setAutomationShown(bool shown);

private:
    TransportBar* transportBar_;
    SongTimeline* songTimeline_;
    PatternHeaderStrip* header_;
    EditingToolsBar* tools_;
    AutomationPanel* automation_;
    TrackerPatternGrid* grid_;
    bool automationShown_ = false;
};

} // namespace veltrane
