#pragma once

// The song timeline as the tracker column shows it in song mode: the strip of block cards fed from the
// model, 94 points high on the control background. A click selects a block; a drop moves one.

#include <QWidget>

namespace veltrane {

class AppModel;
class SongTimelineView;

class SongTimeline final : public QWidget {
    Q_OBJECT
public:
    static constexpr int stripHeight = 94;

    explicit SongTimeline(AppModel& model, QWidget* parent = nullptr);

    SongTimelineView* view() const noexcept { return view_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    AppModel& model_;
    SongTimelineView* view_;
};

} // namespace veltrane
