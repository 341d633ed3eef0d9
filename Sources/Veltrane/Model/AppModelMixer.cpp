// The inspector's bindings to instruments, mixer strips and the master, and the plug-in slots: adding
// hosted instruments and insert effects, bypassing and removing effects, and replacing a hosted
// instrument whose plug-in is missing.

#include "Veltrane/Model/AppModel.hpp"

#include "Veltrane/Model/AudioUnitSlots.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

bool isIndexOf(int index, std::size_t count) { return index >= 0 && static_cast<std::size_t>(index) < count; }

AudioUnitSlot newSlot(const AudioUnitReference& reference)
{
    return AudioUnitSlot{.id = Uuid::random(), .reference = reference, .state = std::nullopt, .bypassed = false};
}

/// Appends a slot to `chain` unless the chain is full.
void appendSlot(std::vector<AudioUnitSlot>& chain, const AudioUnitReference& reference)
{
    if (chain.size() < static_cast<std::size_t>(maxAudioUnitSlots)) chain.push_back(newSlot(reference));
}

} // namespace

// Instrument tab.

void AppModel::setInstrumentName(int instrument, const std::string& name)
{
    if (!isIndexOf(instrument, project_.instruments.size())) return;
    mutate([&](Project& project) { project.instruments[static_cast<std::size_t>(instrument)].name = name; });
}

void AppModel::setInstrumentControl(int instrument, InstrumentControl control, double value)
{
    // A value that is not a number would make the project unopenable; a slider never delivers one.
    if (!isIndexOf(instrument, project_.instruments.size()) || !std::isfinite(value)) return;
    mutate([&](Project& project) { setControl(project.instruments[static_cast<std::size_t>(instrument)], control, value); });
}

// Mixer tab.

void AppModel::setMixerControl(int track, MixerControl control, double value)
{
    if (!isIndexOf(track, project_.mixer.size()) || !std::isfinite(value)) return;
    mutate([&](Project& project) { setControl(project.mixer[static_cast<std::size_t>(track)], control, value); });
}

void AppModel::setMixerMuted(int track, bool muted)
{
    if (!isIndexOf(track, project_.mixer.size())) return;
    mutate([&](Project& project) { project.mixer[static_cast<std::size_t>(track)].muted = muted; });
}

void AppModel::setMixerSolo(int track, bool solo)
{
    if (!isIndexOf(track, project_.mixer.size())) return;
    mutate([&](Project& project) { project.mixer[static_cast<std::size_t>(track)].solo = solo; });
}

// Master tab.

void AppModel::setMasterControl(MasterControl control, double value)
{
    if (!std::isfinite(value)) return;
    switch (control) {
    case MasterControl::volume: mutate([value](Project& project) { project.masterVolume = value; }); return;
    case MasterControl::swing: setSwing(value); return;
    default: updateMasterFX([&](MasterFX& fx) { setMasterFXControl(fx, control, value); }); return;
    }
}

void AppModel::updateMasterFX(const std::function<void(MasterFX&)>& change)
{
    // The first change of a project without master effects creates them, the others at their defaults.
    MasterFX fx = project_.masterFX.value_or(MasterFX{});
    change(fx);
    mutate([&](Project& project) { project.masterFX = fx; });
}

// Plug-in slots.

void AppModel::addAudioUnitInstrument(const AudioUnitReference& reference)
{
    mutate([&](Project& project) {
        project.instruments.push_back(Instrument::withAudioUnit(reference.name, reference, std::nullopt));
    });
    setSelectedInstrument(static_cast<int>(project_.instruments.size()) - 1);
}

void AppModel::addMasterAudioUnitEffect(const AudioUnitReference& reference)
{
    mutate([&](Project& project) {
        MasterFX fx = project.masterFX.value_or(MasterFX{});
        auto chain = fx.audioUnits.value_or(std::vector<AudioUnitSlot>{});
        // A full chain changes nothing, and absent master effects stay absent; the step is still taken.
        if (chain.size() >= static_cast<std::size_t>(maxAudioUnitSlots)) return;
        appendSlot(chain, reference);
        fx.audioUnits = std::move(chain);
        project.masterFX = std::move(fx);
    });
}

void AppModel::addTrackAudioUnitEffect(const AudioUnitReference& reference)
{
    const int track = selectedTrack_;
    if (!isIndexOf(track, project_.mixer.size())) return;
    mutate([&](Project& project) {
        auto& strip = project.mixer[static_cast<std::size_t>(track)];
        auto chain = strip.audioUnits.value_or(std::vector<AudioUnitSlot>{});
        if (chain.size() >= static_cast<std::size_t>(maxAudioUnitSlots)) return;
        appendSlot(chain, reference);
        strip.audioUnits = std::move(chain);
    });
}

void AppModel::setAudioUnitEffectBypass(const Uuid& id, bool bypassed)
{
    mutate([&](Project& project) {
        if (auto* slot = findAudioUnitSlot(project, id)) slot->bypassed = bypassed;
    });
    // The running unit follows at once rather than at the next preparation of playback.
    audio_->setAudioUnitEffectBypass(id, bypassed);
}

void AppModel::removeAudioUnitEffect(const Uuid& id)
{
    mutate([&](Project& project) {
        const auto matches = [&](const AudioUnitSlot& slot) { return slot.id == id; };
        for (auto& track : project.mixer) {
            if (track.audioUnits) std::erase_if(*track.audioUnits, matches);
        }
        if (project.masterFX && project.masterFX->audioUnits) std::erase_if(*project.masterFX->audioUnits, matches);
    });
}

void AppModel::replaceUnavailableAudioUnitInstrument(int instrument)
{
    if (!isIndexOf(instrument, project_.instruments.size())) return;
    const auto* unit = std::get_if<AudioUnitSource>(&project_.instruments[static_cast<std::size_t>(instrument)].source);
    if (!unit || !unavailableAudioUnitIDs_.contains(unit->reference.id())) return;
    mutate([instrument](Project& project) {
        auto& replaced = project.instruments[static_cast<std::size_t>(instrument)];
        replaced.source = SynthSource{Waveform::sine};
        replaced.fm.reset();
        replaced.sampleEdit.reset();
    });
}

} // namespace veltrane
