#pragma once

// The small waveform of a sample browser row: one bar per value of the overview it is given, centred on
// the middle line, on a dark rounded background. The row passes the model's (minimum, maximum) pairs
// unchanged, so the minimums (normally negative) leave gaps between the bars of the maximums, which
// gives the light, combed look of a preview rather than a second editor.

#include <QWidget>

#include <vector>

namespace veltrane::inspector {

class SampleMiniWaveform : public QWidget {
    Q_OBJECT

public:
    explicit SampleMiniWaveform(QWidget* parent = nullptr);

    /// Values in -1...1, one bar each; nothing is drawn for none.
    void setPeaks(std::vector<float> peaks);
    const std::vector<float>& peaks() const noexcept { return peaks_; }

    /// "96 values, loudest 80 percent": what assistive technology reads as the view's value.
    QString accessibleValue() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<float> peaks_;
};

} // namespace veltrane::inspector
