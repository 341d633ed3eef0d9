#pragma once

// One track's parameter locks of one target, drawn as a lane of points over the pattern's rows; a drag
// in the lane reports (row, value) pairs for the caller to store. The lane itself changes nothing.

#include "VeltraneCore/Models/ParameterTarget.hpp"
#include "VeltraneCore/Models/Pattern.hpp"

#include <QWidget>

#include <functional>
#include <vector>

namespace veltrane {

struct AutomationPoint {
    int row = 0;
    double value = 0;
    friend bool operator==(const AutomationPoint&, const AutomationPoint&) = default;
};

/// For each row in order, the first lock of `target` in that row's cell on `track`.
std::vector<AutomationPoint> automationPoints(const Pattern& pattern, int track, ParameterTarget target);

class AutomationLaneView final : public QWidget {
    Q_OBJECT
public:
    explicit AutomationLaneView(QWidget* parent = nullptr);

    void show(Pattern pattern, int track, ParameterTarget target, int selectedRow);

    const Pattern& pattern() const noexcept { return pattern_; }
    int track() const noexcept { return track_; }
    ParameterTarget target() const noexcept { return target_; }
    std::vector<AutomationPoint> points() const { return automationPoints(pattern_, track_, target_); }

    /// The row and value a drag at `point` reports.
    AutomationPoint valueAt(QPointF point) const;

    std::function<void(int row, double value)> onSet;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void report(QPointF point);
    void refreshAccessibility();

    Pattern pattern_{"Pattern 1", 64, 8};
    int track_ = 0;
    ParameterTarget target_ = ParameterTarget::trackCutoff;
    int selectedRow_ = 0;
};

} // namespace veltrane
