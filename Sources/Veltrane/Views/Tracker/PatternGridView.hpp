#pragma once

// The tracker's editing surface: the current pattern drawn as rows by tracks, a row-number gutter, and a
// header band that stays at the top of the visible area while the rows scroll under it. The view keeps
// no document: `show` hands it what to draw, a click or drag reports a cell through `onSelect`, and every
// key press goes to `onKey` untouched. A 1/30-second timer follows the playing row.
//
// Geometry, in device-independent pixels, with h = 24 × row zoom: the header is the top h of the
// content, row r spans y (r + 1) h to (r + 2) h, the gutter x 0 to 42, track t x 42 + 166 t, 166 wide.

#include "Veltrane/Model/CellField.hpp"
#include "Veltrane/Model/KeyPress.hpp"
#include "Veltrane/Model/PlaybackDisplayState.hpp"
#include "VeltraneCore/Models/CellRange.hpp"
#include "VeltraneCore/Models/Pattern.hpp"

#include <QAbstractScrollArea>

#include <functional>
#include <optional>
#include <vector>

class QTimer;

namespace veltrane {

/// Everything the grid draws besides the playing row.
struct GridContent {
    Pattern pattern{"Pattern 1", 64, 8};
    int selectedRow = 0;
    int selectedTrack = 0;
    CellField selectedField = CellField::note;
    std::optional<CellRange> selection;
    std::vector<float> meters = std::vector<float>(32, 0.0f);
    double rowZoom = 1.0;
    friend bool operator==(const GridContent&, const GridContent&) = default;
};

/// A cell position and column under a point.
struct GridTarget {
    int row = 0;
    int track = 0;
    CellField field = CellField::note;
    friend bool operator==(const GridTarget&, const GridTarget&) = default;
};

class PatternGridView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr double gutterWidth = 42;
    static constexpr double trackWidth = 166;
    static constexpr double baseRowHeight = 24;

    explicit PatternGridView(QWidget* parent = nullptr);
    ~PatternGridView() override;

    /// Takes over what to draw. Redraws and scrolls to the playing row (or, when nothing plays, the
    /// cursor row) only when something drawn changed.
    void show(GridContent content);
    const GridContent& content() const noexcept { return content_; }

    /// Where the playing row is read from on each tick; none counts as not playing.
    void setPlaybackState(const PlaybackUIState* state) { playbackUI_ = state; }
    /// Starts the follow timer once.
    void startPlaybackUpdates();
    /// One tick of the follow timer: takes over the playing row and redraws only when it moved.
    void followPlayback();
    std::optional<int> playRow() const noexcept { return playRow_; }
    bool isFollowingPlayback() const noexcept { return playbackTimer_ != nullptr; }

    std::function<void(int row, int track, CellField field, bool extending)> onSelect;
    std::function<void(const KeyPress&)> onKey;

    double rowHeight() const noexcept { return content_.rowZoom * baseRowHeight; }
    /// The size of the whole drawn content.
    QSizeF contentSize() const;
    /// Where a column's cursor box lies inside a track: its text in the cell line and a little around it.
    struct ColumnBox {
        double offset; // from the track's left edge
        double width;
    };
    ColumnBox columnBox(CellField field) const;
    /// The cell and column under a point of the content, clamped into the pattern: the column whose box
    /// is nearest.
    GridTarget target(QPointF contentPoint) const;
    /// Scrolls vertically so that `row` is in view, centred when it was not.
    void reveal(int row);
    /// The visible part of the content.
    QRectF visibleContentRect() const;
    /// "Row 0, track 4, VOL, empty": the cursor as a screen reader says it.
    QString accessibilityValue() const;

    /// Draws the content within `dirty` as seen through `visible` (both in content coordinates).
    void paintContent(QPainter& painter, const QRectF& dirty, const QRectF& visible) const;

    /// The key press a key event stands for.
    static KeyPress keyPress(const QKeyEvent& event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    QPointF contentPoint(QPointF viewportPoint) const;
    void updateScrollRanges();

    GridContent content_;
    double characterWidth_ = 0; // of the cell font
    std::optional<int> playRow_;
    const PlaybackUIState* playbackUI_ = nullptr;
    QTimer* playbackTimer_ = nullptr;
};

} // namespace veltrane
