#pragma once

// What the model asks of the live audio engine, kept narrow so the model does not depend on how the
// engine is built: the application hands it an adapter over the real `AudioEngine`; tests hand it a
// recorder of calls. Every member is for the main thread.

#include "VeltraneCore/Models/Cell.hpp"
#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltranePlayback/Hosting/AudioEngineHosting.hpp"
#include "Veltrane/Model/PlaybackDisplayState.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace veltrane {

class AudioEngine;
class PluginInstance;

class EngineControl {
public:
    virtual ~EngineControl() = default;

    /// Starts the audio output when it is not running. Throws when the device cannot start.
    virtual void start() = 0;
    /// Makes `project` the engine's current project: mixer, master chain and samples follow it.
    virtual void apply(const Project& project) = 0;
    /// Plays one cell at once on `track` for `duration` seconds; silent for a cell without a pitch or a
    /// valid instrument.
    virtual void trigger(const Cell& cell, int track, const std::vector<Instrument>& instruments, double duration) = 0;
    /// Ends playback; safe when nothing plays.
    virtual void stop() = 0;
    /// Writes the current state of every hosted plug-in into `project`; keeps the stored state of one
    /// that cannot give its own.
    virtual void captureAudioUnitState(Project& project) = 0;
    /// The rate the output runs at, Hz.
    virtual double outputSampleRate() = 0;
    /// Bypasses or restores the running plug-in of insert slot `id`; nothing when it has none yet.
    virtual void setAudioUnitEffectBypass(const Uuid& id, bool bypassed) = 0;
    /// The running plug-in of hosted instrument `index` on `track`, made now when it does not run yet,
    /// for its editor. Throws `std::runtime_error` with a user-facing message when the index names no
    /// hosted instrument or the plug-in cannot be started.
    virtual PluginInstance& instrumentEditorUnit(const Project& project, int index, int track) = 0;
    /// The running plug-in of insert slot `id` (a track's or the master's), made now when missing, for
    /// its editor. Throws like `instrumentEditorUnit`.
    virtual PluginInstance& effectEditorUnit(const Project& project, const Uuid& id) = 0;

    // The transport.

    /// Makes every hosted plug-in the playback of `timeline` needs; returns those that could not be made.
    virtual std::vector<AudioUnitLoadFailure> prepareAudioUnits(const Project& project, const PlaybackTimeline& timeline) = 0;
    /// Starts playing `timeline` of `project` (count-in beats first, with clicks when `metronome` is on).
    /// Returns the host time (CLOCK_MONOTONIC nanoseconds) at which the first frame, or the first count-in
    /// beat, sounds. Throws when the output cannot start.
    virtual std::uint64_t schedule(const PlaybackTimeline& timeline, const Project& project, bool looping,
                                   bool metronome, int countInBeats) = 0;
    /// The timeline frame playing now, counted over every cycle from the first row (held at 0 through the
    /// count-in); nothing before the output has rendered the playback's start.
    virtual std::optional<std::int64_t> playingFrame() = 0;
    /// Sets the automated and modulated track and master parameters to their values at `frame`.
    virtual void updateAutomatedBuses(const Project& project, const PlaybackTimeline& timeline, std::int64_t frame) = 0;
    /// The held peaks of the track strips and the master since the last read.
    virtual MeterState meters() = 0;
    /// The speed of the transport's time-pitch stage on the master path (1 is normal); reset to 1 by `stop`.
    virtual void setTransportRate(float rate) = 0;
    /// Rebuilds the audio path on the device as it now is, after `onConfigurationChange`. Throws when the
    /// device cannot be used.
    virtual void recoverAfterConfigurationChange() = 0;

    // The sample editor: each reads the instrument's sample with its current edit.

    /// (minimum, maximum) of about `count` buckets of the first channel; empty without loadable audio.
    virtual std::vector<float> peaks(const Instrument& instrument, int count) = 0;
    /// Slice points at the sample's onsets, ascending fractions.
    virtual std::vector<double> transientSlices(const Instrument& instrument, double sensitivity) = 0;
    /// `position` moved to the nearest zero crossing.
    virtual double zeroCrossingPosition(const Instrument& instrument, double position) = 0;

    /// Called on the main thread when a hosted plug-in reports a parameter change.
    std::function<void()> onAudioUnitStateChange;
    /// Called on the main thread after the audio device went away or changed.
    std::function<void()> onConfigurationChange;
};

/// The model's engine control over the real live engine, which it owns.
class AudioEngineControl final : public EngineControl {
public:
    explicit AudioEngineControl(std::unique_ptr<AudioEngine> engine);
    ~AudioEngineControl() override;

    void start() override;
    void apply(const Project& project) override;
    void trigger(const Cell& cell, int track, const std::vector<Instrument>& instruments, double duration) override;
    void stop() override;
    void captureAudioUnitState(Project& project) override;
    double outputSampleRate() override;
    void setAudioUnitEffectBypass(const Uuid& id, bool bypassed) override;
    PluginInstance& instrumentEditorUnit(const Project& project, int index, int track) override;
    PluginInstance& effectEditorUnit(const Project& project, const Uuid& id) override;
    std::vector<AudioUnitLoadFailure> prepareAudioUnits(const Project& project, const PlaybackTimeline& timeline) override;
    std::uint64_t schedule(const PlaybackTimeline& timeline, const Project& project, bool looping, bool metronome,
                           int countInBeats) override;
    std::optional<std::int64_t> playingFrame() override;
    void updateAutomatedBuses(const Project& project, const PlaybackTimeline& timeline, std::int64_t frame) override;
    MeterState meters() override;
    void setTransportRate(float rate) override;
    void recoverAfterConfigurationChange() override;
    std::vector<float> peaks(const Instrument& instrument, int count) override;
    std::vector<double> transientSlices(const Instrument& instrument, double sensitivity) override;
    double zeroCrossingPosition(const Instrument& instrument, double position) override;

    /// The engine itself, for the transport's scheduling and the meters.
    AudioEngine& engine() noexcept { return *engine_; }

private:
    std::unique_ptr<AudioEngine> engine_;
    // Pumps the engine on the main thread (played buffers, loop cycles, device loss, plug-in changes).
    std::unique_ptr<QTimer> pump_;
};

} // namespace veltrane
