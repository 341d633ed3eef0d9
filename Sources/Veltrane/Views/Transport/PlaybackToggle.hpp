#pragma once

// The one play-or-stop decision shared by the play button, its Space shortcut and the menu: stop what
// plays or is being prepared, otherwise start.

#include "Veltrane/Model/AppModel.hpp"

namespace veltrane {

template <typename Model>
void startPlayback(Model& model)
{
    // Starting belongs to the transport; a model without it (a build before the transport existed)
    // has nothing to start.
    if constexpr (requires { model.play(); }) model.play();
}

template <typename Model>
void togglePlayback(Model& model)
{
    if (model.isPlaying() || model.isPreparingPlayback()) {
        model.stop();
    } else {
        startPlayback(model);
    }
}

} // namespace veltrane

namespace veltrane {

/// Whether the model can arm live recording (a build before the transport existed cannot).
template <typename Model>
constexpr bool canToggleLiveRecording = requires(Model& model) { model.toggleLiveRecording(); };

template <typename Model>
void toggleLiveRecording(Model& model)
{
    if constexpr (canToggleLiveRecording<Model>) model.toggleLiveRecording();
}

} // namespace veltrane
