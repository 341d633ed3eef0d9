#pragma once

// The pattern grid over the application model: it shows the model's current pattern, cursor, selection
// and row zoom, follows the model's playing row, and hands clicks and keys back to the model.

#include "Veltrane/Views/Tracker/PatternGridView.hpp"

namespace veltrane {

class AppModel;

class TrackerPatternGrid final : public PatternGridView {
    Q_OBJECT
public:
    explicit TrackerPatternGrid(AppModel& model, QWidget* parent = nullptr);

    /// What the grid draws for the model as it stands.
    static GridContent contentFor(const AppModel& model);

private:
    void refresh();

    AppModel& model_;
};

} // namespace veltrane
