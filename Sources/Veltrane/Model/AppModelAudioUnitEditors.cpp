// The editor windows of hosted plug-ins, and writing a plug-in's changed settings back into the
// project shortly after the user turns a knob in its editor.

#include "Veltrane/Model/AppModel.hpp"

#include "Veltrane/Model/AudioUnitSlots.hpp"

#include <stdexcept>

namespace veltrane {

void AppModel::openSelectedAudioUnitInstrumentEditor()
{
    const int index = selectedInstrument_;
    if (index < 0 || index >= static_cast<int>(project_.instruments.size())) return;
    const auto& instrument = project_.instruments[static_cast<std::size_t>(index)];
    const auto* source = std::get_if<AudioUnitSource>(&instrument.source);
    if (!source) return;
    const int track = selectedTrack_;
    // One window per instrument and track: the same instrument runs as its own unit on each track.
    const std::string key = "instrument-" + instrument.id.toString() + "-" + std::to_string(track);
    showAudioUnitEditor(key, source->reference.name,
                        [&]() -> PluginInstance& { return audio_->instrumentEditorUnit(project_, index, track); });
}

void AppModel::openAudioUnitEffectEditor(const Uuid& id)
{
    const std::string key = "effect-" + id.toString();
    const auto* slot = findAudioUnitSlot(project_, id);
    showAudioUnitEditor(key, slot ? slot->reference.name : std::string(),
                        [&]() -> PluginInstance& { return audio_->effectEditorUnit(project_, id); });
}

void AppModel::showAudioUnitEditor(const std::string& key, const std::string& title,
                                   const std::function<PluginInstance&()>& unit)
{
    if (audioUnitEditors_->raise(key)) return;
    try {
        audioUnitEditors_->open(key, title, unit());
    } catch (const std::exception& failure) {
        setError(failure.what());
    }
}

void AppModel::audioUnitStateChanged()
{
    // Changes made while every editor is closed are not followed here; saving captures every state.
    if (!audioUnitEditors_->anyVisible()) return;
    if (audioUnitStateTask_) audioUnitStateTask_->cancel();
    audioUnitStateTask_ = scheduler_->after(audioUnitStateDelay, [this] {
        // Written straight into the document: the knob turns are not undo steps, and the engine already
        // runs with these settings.
        Project captured = project_;
        audio_->captureAudioUnitState(captured);
        setProject(std::move(captured));
        refreshDirtyState();
    });
}

} // namespace veltrane
