#pragma once

// The waveform of the sample editor drawn straight into an image, one device column at a time: for
// each column the lowest and highest point of the overview's lines that cover it, filled in one colour.
// Drawn as hundreds of thin lines through a painter, every device row of every line is a span of its
// own, and the painter's span machinery (which hands large fills to worker threads) cost a full
// repaint of a long sample several times the frame budget; the image is one blit.
//
//     const QImage wave = waveformImage(levels, {.start = 0, .end = 1, .width = 330, .height = 86, .scale = 2});
//     painter.drawImage(QPointF(0, 0), wave);

#include "Veltrane/Views/Inspector/WaveformLevels.hpp"

#include <QColor>
#include <QImage>

namespace veltrane::inspector {

/// What a waveform picture shows and how large it is.
struct WaveformFrame {
    /// The part of the sample across the width, as fractions of it.
    double start = 0;
    double end = 1;
    /// The size in logical pixels, and device pixels per logical pixel.
    double width = 0;
    double height = 0;
    double scale = 1;
    /// The rounded corners the lines are cut to.
    double cornerRadius = 0;

    friend bool operator==(const WaveformFrame&, const WaveformFrame&) = default;
};

/// A vertical line one logical pixel wide from each pair's maximum to its minimum, a value of 1 at 0.08
/// of the height from the top and -1 at 0.92, pair i of n at the fraction i / max(n - 1, 1) of the
/// sample; lines are cut to the rounded corners. The level read is the coarsest with a pair per device
/// column. Transparent elsewhere; the image carries `frame.scale` as its device pixel ratio.
QImage waveformImage(const WaveformLevels& levels, const WaveformFrame& frame, QColor colour);

} // namespace veltrane::inspector
