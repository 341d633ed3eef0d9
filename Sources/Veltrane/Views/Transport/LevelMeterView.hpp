#pragma once

// A horizontal peak-level bar that pulls its level 30 times a second and redraws only when it changed,
// so meters never make the surrounding panels rebuild. Green, orange above 0.72, red above 0.92.

#include <QWidget>

#include <functional>

class QTimer;

namespace veltrane {

struct MeterState;

class LevelMeterView final : public QWidget {
    Q_OBJECT
public:
    explicit LevelMeterView(QWidget* parent = nullptr);

    /// Where the level is read from on each tick; none leaves the level as it is.
    std::function<float()> levelProvider;

    /// Starts the 1/30-second timer once; no immediate tick.
    void startAnimating();
    /// One tick: reads the provider, clamps to 0…1 (NaN as 0) and redraws when the level changed.
    void tick();
    float level() const noexcept { return level_; }
    /// The bar's colour at `level`.
    static QColor colourFor(float level);
    bool isAnimating() const noexcept { return timer_ != nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* timer_ = nullptr;
    float level_ = 0;
};

/// A meter of the master level.
LevelMeterView* makeMasterLevelMeter(const MeterState& meters, QWidget* parent = nullptr);
/// A meter of one track's level; a track outside the list reads 0.
LevelMeterView* makeTrackLevelMeter(const MeterState& meters, int track, QWidget* parent = nullptr);

} // namespace veltrane
