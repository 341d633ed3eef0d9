#pragma once

// The inspector's symbols, drawn as vectors at whatever size and pixel ratio they are shown, in the
// palette's button text colour (or a fixed tint). No icon theme is needed.

#include <QColor>
#include <QIcon>

#include <optional>

namespace veltrane::inspector {

enum class Symbol {
    cellGrid,       // a 3 × 3 grid of squares
    pianoKeys,
    waveform,
    sliders,        // three horizontal sliders
    modulation,     // three connected points
    tools,          // wrench and screwdriver
    speaker,        // a speaker with three waves
    plus,
    removeCircle,   // a filled circle with a cross
    deleteLeft,     // a backspace key
    warning,        // a filled triangle with an exclamation mark
    sineWave,       // an LFO
    envelope,       // an attack, decay, sustain and release line
    dial,           // a macro knob
    routeArrow,     // an arrow turning down and right
    trash,
};

/// The symbol as an icon; `tint` fixes its colour, otherwise it follows the application palette.
QIcon symbolIcon(Symbol symbol, std::optional<QColor> tint = std::nullopt);

} // namespace veltrane::inspector
