#pragma once

// Values the transport writes many times a second and the views poll on their own redraw timers. They
// carry no change notification on purpose: an 8 ms position tick must not redraw anything by itself.

#include <array>
#include <optional>

namespace veltrane {

/// The level meters: one peak per track strip and the master peak, linear amplitude.
struct MeterState {
    std::array<float, 32> tracks{};
    float master = 0;
};

/// The row playing now (within its own pattern); nothing while stopped.
struct PlaybackUIState {
    std::optional<int> row;
};

} // namespace veltrane
