#pragma once

// The live engine's hosted plug-ins: instruments that play the notes of instruments whose source is a
// plug-in, and the insert effects of the mixer tracks and of the master.
//
//     hosted instrument (one per instrument and track it plays on) -> the track's strip mixer
//     each used strip:  ... -> drive -> its inserts in slot order (bypassed ones stay) -> masterBus
//     master:           ... -> reverb -> the master's inserts in slot order -> transportTimePitch -> ...
//
// A unit is made on first need (the preparation before a playback) and kept for the engine's life: a
// deleted instrument's unit stays on its strip and simply gets no notes, a deleted slot's unit is left
// out of the next routing. A unit that cannot be made becomes an `AudioUnitLoadFailure`; playback goes on
// without it, and its reference and saved state stay in the project untouched.
//
// Our graph takes new nodes and new wiring while it renders (each change reaches the audio thread as a
// whole new render plan), so preparing units never has to stop the output.
//
// Threads: everything here is for the main thread. Hosted units run on the audio thread; their settings
// changes are noticed by polling each unit's change count from the engine's pump.

#include "VeltraneCore/Models/AudioUnitReference.hpp"
#include "VeltraneCore/Models/Data.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/Models/Uuid.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltranePlatform/Audio/AudioPluginNodes.hpp"
#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace veltrane {

class AudioEngine;

/// A hosted unit that could not be made: the reference the project names and why, in the user's words.
struct AudioUnitLoadFailure {
    AudioUnitReference reference;
    std::string reason;
    /// What the plug-in layer knows beyond the reason (the system loader's error, for instance); empty
    /// when there is nothing more to say.
    std::string detail;
    friend bool operator==(const AudioUnitLoadFailure&, const AudioUnitLoadFailure&) = default;
};

/// One hosted instrument instance: the same project instrument on three tracks runs as three units.
struct AudioUnitInstrumentKey {
    Uuid instrumentID;
    int track = 0;
    friend bool operator==(const AudioUnitInstrumentKey&, const AudioUnitInstrumentKey&) = default;
};

} // namespace veltrane

template <>
struct std::hash<veltrane::AudioUnitInstrumentKey> {
    std::size_t operator()(const veltrane::AudioUnitInstrumentKey& key) const noexcept
    {
        return std::hash<veltrane::Uuid>{}(key.instrumentID) * 31u + std::hash<int>{}(key.track);
    }
};

namespace veltrane {

class AudioUnitHosting {
public:
    /// Reads a unit's whole state for the project; nothing when the unit cannot give one.
    using StateReader = std::function<std::optional<Data>(const PluginInstance&)>;

    /// MIDI channel 1 (status low nibble 0): hosted instruments listen to nothing else from us.
    static constexpr std::uint8_t allNotesOffController = 123;

    /// Hosts plug-ins in `engine`'s graph, found in `plugins` (the installed ones unless a test gives
    /// its own). The engine must outlive this object.
    explicit AudioUnitHosting(AudioEngine& engine, const PluginHost* plugins = nullptr);
    ~AudioUnitHosting();
    AudioUnitHosting(const AudioUnitHosting&) = delete;
    AudioUnitHosting& operator=(const AudioUnitHosting&) = delete;

    /// Makes every unit the coming playback of `timeline` needs: an instrument unit for each distinct
    /// (instrument, track) of its notes whose instrument is hosted, wired to that track's strip, and a
    /// unit for every effect slot of the project; then sets each slot's bypass and rebuilds the insert
    /// chains. Units that exist already are kept. Returns the units that could not be made, instruments
    /// first, then slots in track order and the master last. Never throws.
    std::vector<AudioUnitLoadFailure> prepareAudioUnits(const Project& project, const PlaybackTimeline& timeline);

    /// Writes the current state of every hosted unit into `project`. A unit whose state cannot be read
    /// leaves the saved state as it was, so a save never loses a unit's settings; instruments and slots
    /// without a unit (not yet made, or not installed here) keep theirs. An instrument playing on
    /// several tracks is captured from its unit on the lowest track.
    void captureAudioUnitState(Project& project) const;

    /// Bypasses or restores the unit of slot `id`; nothing when the slot has no unit.
    void setAudioUnitEffectBypass(const Uuid& id, bool bypassed);

    /// Rewires every connected strip as drive -> its slots' units -> masterBus, and the master as
    /// reverb -> the master slots' units -> transportTimePitch. Slots without a unit are left out;
    /// units of slots no longer in the project are left unconnected.
    void rebuildAudioUnitEffectRouting(const Project& project);

    /// The hosted instrument for `key`, or nullptr when none was made (not prepared, or it failed).
    AudioPluginInstrumentNode* audioUnitInstrument(const AudioUnitInstrumentKey& key) const noexcept;
    /// The hosted effect of slot `id`, or nullptr.
    AudioPluginEffectNode* audioUnitEffect(const Uuid& id) const noexcept;

    /// Queues a MIDI message for the hosted instrument of (`instrumentID`, `track`) at `frame` of the
    /// instrument's clock (the transport's clock: frames of the time-pitch stage's input). Returns false
    /// when there is no such unit, so the caller knows the note will not sound.
    bool queueAudioUnitMIDI(const Uuid& instrumentID, int track, std::int64_t frame,
                            std::array<std::uint8_t, 3> bytes);

    /// Starts every hosted instrument's playback clock at graph frame `atGraphFrame`, where the players
    /// start; instruments made later start theirs there too.
    void startAudioUnitPlayback(std::int64_t atGraphFrame);
    /// Queues a MIDI message for the hosted instrument of (`instrumentID`, `track`) at playback frame
    /// `frame`: counted, as the players count, from their start on the clock the instrument reads, so it
    /// lands with the players' sounds whatever the time-pitch stage's rate did before or does after.
    /// Returns false when there is no such unit.
    bool queueAudioUnitPlaybackMIDI(const Uuid& instrumentID, int track, std::int64_t frame,
                                    std::array<std::uint8_t, 3> bytes);

    /// Ends every hosted instrument's sound: drops its queued messages, ends its playback clock and sends
    /// control change 123 (all notes off) on channel 1 at once.
    void stopAudioUnitInstruments();

    /// Calls `onChange` once when any hosted unit's parameters changed since the last poll. Called from
    /// the engine's pump.
    void pollParameterChanges(const std::function<void()>& onChange);

    /// How a unit's state is read for `captureAudioUnitState`; the catalogue's unless replaced.
    StateReader stateReader;

    std::size_t instrumentCount() const noexcept { return audioUnitInstruments_.size(); }
    std::size_t effectCount() const noexcept { return audioUnitEffects_.size(); }

private:
    struct Observed {
        const PluginInstance* unit = nullptr;
        std::uint64_t seenChangeCount = 0;
    };

    std::unique_ptr<PluginInstance> instantiate(const AudioUnitReference& reference, const std::optional<Data>& state);
    void observeAudioUnit(const PluginInstance& unit);
    std::optional<Data> readState(const PluginInstance& unit) const;

    AudioEngine& engine_;
    const PluginHost* plugins_;
    std::unordered_map<AudioUnitInstrumentKey, std::shared_ptr<AudioPluginInstrumentNode>> audioUnitInstruments_;
    // The graph frame where the playing transport's players started, while it plays.
    std::optional<std::int64_t> playbackStartGraphFrame_;
    std::unordered_map<Uuid, std::shared_ptr<AudioPluginEffectNode>> audioUnitEffects_;
    std::vector<Observed> audioUnitObservers_;
};

} // namespace veltrane
