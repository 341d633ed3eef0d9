#pragma once

// The window's left column: the project's patterns with new, clone and delete; the song as a list of
// blocks with their pattern, repeats, position and markers; and the song's loop region. It keeps no
// state of its own: it shows the model and every control calls one model operation.
//
// While a pattern plays, picking another only marks it (a clock beside its name) and the highlight stays
// on the pattern being edited; Stop clears the mark.

#include "Veltrane/Views/Inspector/InspectorStyle.hpp"

#include <QWidget>

#include <vector>

class QCheckBox;
class QLabel;
class QToolButton;
class QVBoxLayout;

namespace veltrane {

class AppModel;
class SidebarList;
class SidebarRow;
class SongBlockRow;

class Sidebar final : public QWidget {
    Q_OBJECT
public:
    explicit Sidebar(AppModel& model, QWidget* parent = nullptr);

    /// The pattern list, which takes the keyboard focus and moves through the patterns with the arrows.
    SidebarList* patternList() const noexcept { return patternList_; }
    int patternRowCount() const noexcept { return static_cast<int>(patternRows_.size()); }
    SidebarRow* patternRow(int index) const { return patternRows_.at(static_cast<std::size_t>(index)).row; }
    /// The queued mark of pattern row `index`, shown while that pattern waits to be picked.
    inspector::SymbolView* queuedMark(int index) const { return patternRows_.at(static_cast<std::size_t>(index)).queued; }
    QToolButton* newPatternButton() const noexcept { return newPattern_; }
    QToolButton* clonePatternButton() const noexcept { return clonePattern_; }
    QToolButton* deletePatternButton() const noexcept { return deletePattern_; }
    QToolButton* addBlockButton() const noexcept { return addBlock_; }
    QToolButton* duplicateBlockButton() const noexcept { return duplicateBlock_; }

    int blockRowCount() const noexcept { return static_cast<int>(blockRows_.size()); }
    SongBlockRow* blockRow(int index) const { return blockRows_.at(static_cast<std::size_t>(index)); }

    QWidget* loopSection() const noexcept { return loopSection_; }
    QCheckBox* loopToggle() const noexcept { return loopToggle_; }
    QToolButton* setStartButton() const noexcept { return setStart_; }
    QToolButton* setEndButton() const noexcept { return setEnd_; }

private:
    struct PatternRow {
        SidebarRow* row = nullptr;
        QLabel* index = nullptr;
        QLabel* name = nullptr;
        inspector::SymbolView* queued = nullptr;
    };
    QWidget* buildPatternButtons();
    QWidget* buildSongHeader();
    QWidget* buildLoopSection();
    void refreshPatterns();
    void refreshSong();

    AppModel& model_;
    SidebarList* patternList_ = nullptr;
    QVBoxLayout* patternRowsLayout_ = nullptr;
    std::vector<PatternRow> patternRows_;
    QToolButton* newPattern_ = nullptr;
    QToolButton* clonePattern_ = nullptr;
    QToolButton* deletePattern_ = nullptr;
    QToolButton* addBlock_ = nullptr;
    QToolButton* duplicateBlock_ = nullptr;
    QVBoxLayout* blockRowsLayout_ = nullptr;
    std::vector<SongBlockRow*> blockRows_;
    QWidget* loopSection_ = nullptr;
    QCheckBox* loopToggle_ = nullptr;
    QToolButton* setStart_ = nullptr;
    QToolButton* setEnd_ = nullptr;
};

} // namespace veltrane
