#pragma once

// One song block in the sidebar: its index, a menu choosing its pattern and its repeat count; buttons
// for fewer or more repeats, moving it up or down, adding a marker and removing it; and one line per
// marker on it with an editable name. Every control calls one model operation with the block's index.
//
// The row is updated in place when the song changes, and a marker's line is kept while the marker
// exists, so a name being typed keeps its field and cursor while each keystroke is stored.

#include "Veltrane/Views/Sidebar/SidebarRow.hpp"
#include "VeltraneCore/Models/Project.hpp"

#include <map>
#include <vector>

class QLabel;
class QLineEdit;
class QToolButton;
class QVBoxLayout;

namespace veltrane {

class AppModel;

class SongBlockRow final : public SidebarRow {
    Q_OBJECT
public:
    SongBlockRow(AppModel& model, QWidget* parent = nullptr);

    /// Shows block `index` of `blockCount` as `block` of `project`.
    void display(const Project& project, int index, const SongBlock& block, int blockCount);

    int index() const noexcept { return index_; }
    QLabel* indexLabel() const noexcept { return indexLabel_; }
    QToolButton* patternMenu() const noexcept { return patternMenu_; }
    QLabel* repeatsLabel() const noexcept { return repeats_; }
    QToolButton* fewerButton() const noexcept { return fewer_; }
    QToolButton* moreButton() const noexcept { return more_; }
    QToolButton* upButton() const noexcept { return up_; }
    QToolButton* downButton() const noexcept { return down_; }
    QToolButton* markerButton() const noexcept { return marker_; }
    QToolButton* removeButton() const noexcept { return remove_; }
    /// The name fields of the markers shown, in order.
    std::vector<QLineEdit*> markerFields() const;
    /// The remove buttons of the markers shown, in order.
    std::vector<QToolButton*> markerRemoveButtons() const;

private:
    struct MarkerLine {
        QWidget* line = nullptr;
        QLineEdit* name = nullptr;
        QToolButton* remove = nullptr;
    };
    void fillPatternMenu();
    void displayMarkers(const std::vector<SongMarker>& markers);

    AppModel& model_;
    int index_ = 0;
    int repeatsShown_ = 1;
    QLabel* indexLabel_;
    QToolButton* patternMenu_;
    QLabel* repeats_;
    QToolButton* fewer_;
    QToolButton* more_;
    QToolButton* up_;
    QToolButton* down_;
    QToolButton* marker_;
    QToolButton* remove_;
    QVBoxLayout* markersLayout_;
    std::vector<Uuid> markerOrder_;
    std::map<Uuid, MarkerLine> markerLines_;
};

} // namespace veltrane
