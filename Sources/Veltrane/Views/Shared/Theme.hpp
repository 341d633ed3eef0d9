#pragma once

// The window's one palette and set of fonts. Every view takes its colours and fonts from here, so the
// dark studio look stays the same across panels and a change of tone is made in one place.
//
// Lengths in the views are device-independent pixels; fonts are sized in pixels for the same reason, so
// the grid's text fits its 24-pixel rows at every device pixel ratio.

#include <QColor>
#include <QFont>
#include <QPalette>

#include <array>

namespace veltrane {

struct Theme {
    QColor windowBackground{14, 14, 14};   // near black behind every column
    QColor gridBackground{14, 14, 14};
    QColor gridHeader{22, 22, 22, 250};
    QColor panelBackground{30, 30, 32};    // control backgrounds of the tool bars
    QColor barBackground{36, 36, 38};      // the transport bar and pattern header strip
    QColor sideBackground{26, 26, 28};     // sidebar and inspector columns
    QColor hairline{255, 255, 255, 15};
    QColor label{235, 235, 240};
    QColor secondaryLabel{235, 235, 245, 153};
    QColor tertiaryLabel{235, 235, 245, 77};
    QColor accent{10, 132, 255};
    QColor red{255, 69, 58};
    QColor orange{255, 159, 10};
    QColor green{48, 209, 88};

    /// The colour of a track's column, header and notes; tracks past the eighth repeat the eight.
    QColor trackColour(int track) const;

    /// Monospaced fonts of the given pixel size and weight.
    QFont monospaced(int pixelSize, QFont::Weight weight = QFont::Normal) const;
    /// The interface font of the given pixel size and weight.
    QFont interface(int pixelSize, QFont::Weight weight = QFont::Normal) const;

    /// A dark palette for the whole application built from the colours above.
    QPalette palette() const;

    /// The theme the application runs with.
    static const Theme& current();

    std::array<QColor, 8> trackColours{
        QColor(100, 210, 255), // cyan
        QColor(255, 55, 95),   // pink
        QColor(48, 209, 88),   // green
        QColor(255, 159, 10),  // orange
        QColor(191, 90, 242),  // purple
        QColor(255, 214, 10),  // yellow
        QColor(102, 212, 207), // mint
        QColor(255, 69, 58),   // red
    };
};

/// `colour` with its alpha replaced by `opacity` (0 to 1).
QColor withOpacity(QColor colour, double opacity);

} // namespace veltrane
