#pragma once

// The tracker's automation panel: a parameter picker over a lane of the cursor track's parameter locks
// of that parameter, drawn in with the mouse. Each value drawn is one undoable lock edit.

#include "VeltraneCore/Models/ParameterTarget.hpp"

#include <QWidget>

class QComboBox;
class QLabel;

namespace veltrane {

class AppModel;
class AutomationLaneView;

class AutomationPanel final : public QWidget {
    Q_OBJECT
public:
    explicit AutomationPanel(AppModel& model, QWidget* parent = nullptr);

    ParameterTarget target() const noexcept { return target_; }
    void setTarget(ParameterTarget target);

    AutomationLaneView* lane() const noexcept { return lane_; }
    QComboBox* picker() const noexcept { return picker_; }
    QString headingText() const;

private:
    void refresh();

    AppModel& model_;
    ParameterTarget target_ = ParameterTarget::trackCutoff;
    QLabel* heading_;
    QComboBox* picker_;
    AutomationLaneView* lane_;
};

} // namespace veltrane
