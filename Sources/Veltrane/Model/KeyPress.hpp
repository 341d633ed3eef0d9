#pragma once

// A key press as the pattern grid hands it to the model, free of any toolkit: which key, the text it
// types without modifiers, and the two modifiers the model looks at. The grid builds it from its key
// events; Command is the Ctrl key.

#include <string>

namespace veltrane {

enum class Key {
    other, // a key that types `text` (or nothing)
    tab,
    space,
    backspace,
    forwardDelete,
    left,
    right,
    down,
    up,
};

struct KeyPress {
    Key key = Key::other;
    /// What the key types without modifiers, UTF-8; empty for keys that type nothing.
    std::string text;
    bool shift = false;
    bool command = false;

    friend bool operator==(const KeyPress&, const KeyPress&) = default;
};

} // namespace veltrane
