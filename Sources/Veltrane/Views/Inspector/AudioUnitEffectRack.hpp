#pragma once

// The hosted insert effects of one bus (a mixer strip or the master): a menu of the installed effects to
// add one, and a row per slot with a bypass switch, an editor button, a warning when the effect is not
// installed here, and a remove button. At most eight slots; every change is a model operation.

#include "VeltraneCore/Models/AudioUnitReference.hpp"

#include <QWidget>

#include <vector>

class QCheckBox;
class QMenu;
class QToolButton;
class QVBoxLayout;

namespace veltrane {

class AppModel;

namespace inspector {

class AudioUnitEffectRack : public QWidget {
    Q_OBJECT

public:
    /// `master`: the master bus; otherwise the strip of the cursor's track.
    AudioUnitEffectRack(AppModel& model, bool master, QWidget* parent = nullptr);

    /// Shows `slots`, the installed effects and the model's playing state. Reports nothing.
    void showSlots(const std::vector<AudioUnitSlot>& chain);

    QToolButton* addButton() const noexcept { return add_; }

    /// One row's controls.
    struct Row {
        Uuid id;
        QWidget* row = nullptr;
        QCheckBox* enabled = nullptr;
        QToolButton* editor = nullptr;
        QWidget* warning = nullptr;
        QToolButton* remove = nullptr;
    };
    const std::vector<Row>& rows() const noexcept { return rows_; }

private:
    Row makeRow(const AudioUnitSlot& slot);

    AppModel& model_;
    bool master_;
    QMenu* menu_;
    QToolButton* add_;
    QVBoxLayout* list_;
    std::vector<Row> rows_;
    std::vector<AudioUnitReference> listed_;
};

} // namespace inspector
} // namespace veltrane
