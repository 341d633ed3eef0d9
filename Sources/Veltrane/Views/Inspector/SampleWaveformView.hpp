#pragma once

// The sample editor's waveform: the overview of the whole sample with the trimmed-off parts darkened, the
// trim points in orange, the loop points dashed in purple and the slices dashed in mint. A click adds or
// removes a slice; a trim or loop mark dragged sideways moves that point, reported once when the drag
// ends so a drag is one edit.
//
// Trim points are fractions of the whole sample. Loop and slice points are fractions of the audio the
// trim keeps, which is what playback loops and slices, so they are drawn inside the trim (a slice at 0.5
// of a sample trimmed to its second half stands at three quarters of the picture), and a click or a
// loop mark's drag is reported in the same terms. The view can show a part of the sample (zoom) and draws from the overview's
// levels of detail, so a repaint costs the view's width whatever the sample's length.
//
//     view->setPeaks(model.samplePeaks());          // the overview, (minimum, maximum) pairs
//     view->setMarks(0.1, 0.9, {{0.2}}, {{0.7}}, {0.5});
//     view->onToggleSlice = [&](double fraction) { ... };

#include "Veltrane/Views/Inspector/WaveformImage.hpp"
#include "Veltrane/Views/Inspector/WaveformLevels.hpp"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace veltrane::inspector {

class SampleWaveformView : public QWidget {
    Q_OBJECT

public:
    /// The marks a drag can move.
    enum class Handle { trimStart, trimEnd, loopStart, loopEnd };

    explicit SampleWaveformView(QWidget* parent = nullptr);

    /// The overview: (minimum, maximum) pairs in time order; fewer than one pair shows "Sample
    /// unavailable". Its levels of detail are made here, once.
    void setPeaks(std::vector<float> peaks);
    void setLevels(std::shared_ptr<const WaveformLevels> levels);
    /// Loop marks are drawn only when both loop points are given.
    void setMarks(double trimStart, double trimEnd, std::optional<double> loopStart, std::optional<double> loopEnd,
                  std::vector<double> slicePoints);
    /// Shows the part of the sample between the fractions `start` and `end` across the whole width.
    void setVisibleRange(double start, double end);

    double trimStart() const noexcept { return trimStart_; }
    double trimEnd() const noexcept { return trimEnd_; }
    /// "Trimmed from 25 to 99 percent, 3 slices": what assistive technology reads as the view's value.
    QString accessibleValue() const;

    /// A click, as a fraction of the trimmed audio (unclamped): a fraction of the width when untrimmed.
    std::function<void(double)> onToggleSlice;
    /// A mark dragged to a new place, once when the drag ends, in the terms of that point (loop points
    /// as fractions of the trimmed audio); held to 0...1.
    std::function<void(Handle, double)> onHandleMoved;

    QSize sizeHint() const override { return {240, 86}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double xOf(double fraction) const;
    double fractionAt(double x) const;
    std::optional<Handle> handleAt(double x) const;
    /// A fraction of the trimmed audio as a fraction of the whole sample, and back.
    double wholeFraction(double keptFraction) const;
    double keptFraction(double wholeFraction) const;
    static bool isLoopHandle(Handle handle);
    /// The value `handle` takes when dragged to `x`.
    double pointAt(Handle handle, double x) const;
    void showAccessibleValue();

    std::shared_ptr<const WaveformLevels> levels_ = std::make_shared<WaveformLevels>();
    double trimStart_ = 0;
    double trimEnd_ = 1;
    std::optional<double> loopStart_;
    std::optional<double> loopEnd_;
    std::vector<double> slicePoints_;
    double visibleStart_ = 0;
    double visibleEnd_ = 1;
    // The wave as last drawn, and what it was drawn for.
    QImage waveImage_;
    WaveformFrame waveFrame_;
    std::optional<Handle> dragging_;
    double dragFraction_ = 0;
    bool dragMoved_ = false;
};

} // namespace veltrane::inspector
