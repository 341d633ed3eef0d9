#pragma once

// Modulation that moves while a note sounds. A built-in note is rendered with its instrument as
// modulated at the note's start; for the four parameters whose modulation runs continuously (volume,
// pan, cutoff, resonance) the note's frames then pass through a `ContinuousModulator`. Volume and pan
// are corrected relative to what the voice rendered with; the filter is applied on top (a note whose
// filter is modulated is rendered open, see `withOpenFilter`).
//
//     applyContinuousModulation(*buffer, project, {.instrumentIndex = 2, .track = 0, ...});
//
// The modulator finds the routes acting on the note and their sources once, and evaluates only the
// parameters a route moves: volume and pan every frame, the filter's tuning every 16 frames. A synth
// voice runs it inside its own loop, on frames still in double precision; `applyContinuousModulation`
// runs it over a rendered buffer.
//
// Live playback and the export use this one modulator; they differ only in the sample rate and in where
// the note's start frame comes from, both given in the context. Pure over its inputs.

#include "VeltraneCore/DSP/StereoLowPass.hpp"
#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/ParameterTarget.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <cstdint>
#include <vector>

namespace veltrane {

/// The context of one rendered note. The audio engine names it `AudioEngine::ContinuousModulation`.
struct ContinuousModulation {
    int instrumentIndex = 0;
    int track = 0;
    std::int64_t startFrame = 0;     // timeline frame of the note's first sample
    std::int64_t durationFrames = 1; // the note's gate in frames: the length envelope sources see
    Instrument baseInstrument;       // after the note's locks and automation, before modulation
    Instrument startInstrument;      // modulated at the note's start: what the buffer was rendered with
    double startPan = 0;             // the pan the buffer was rendered with
    double sampleRate = 44100;       // the buffer's rate and the timeline's
};

/// True when the rack moves the note's volume, pan, cutoff or resonance while it sounds: such a note
/// needs `applyContinuousModulation` and is never shared through the rendered-note cache.
bool needsContinuousModulation(int track, int instrumentIndex, const Project& project);

/// True when the rack moves the note's cutoff or resonance: the note is rendered with an open filter.
bool hasContinuousFilterModulation(int track, int instrumentIndex, const Project& project);

/// The continuous modulation of one note, frame by frame. Holds pointers into `project`'s rack, which
/// must outlive it unchanged. Allocates when made (the routes that act), never while processing.
class ContinuousModulator {
public:
    ContinuousModulator(const Project& project, const ContinuousModulation& context);

    /// False when no route moves the note's volume, pan or filter: `process` would change nothing.
    bool active() const { return volume_.moving() || pan_.moving() || filtered_; }

    /// Modulates `count` frames (left and right lanes, in place) that start `first` frames into the
    /// note. Call with consecutive runs of frames from the note's first, under a `DenormalGuard`.
    void process(std::int64_t first, StereoLanes* frames, int count);

    // The pieces of `process`, for a voice that runs them inside its own loop, frame by frame: the
    // volume and pan factors, then the filter, retuned every `filterRetuneFrames` frames of the note.

    /// The filter's coefficients follow the modulation every 16 frames: a third of a millisecond, finer
    /// than any LFO or envelope can be heard to step, at a sixteenth of the cost.
    static constexpr std::int64_t filterRetuneFrames = 16;
    /// False when neither volume nor pan moves (nothing written). Otherwise each frame k of the `count`
    /// from `first` is to be multiplied by `gains[k]`, then by `sides[k]`.
    bool scales(std::int64_t first, int count, double* gains, StereoLanes* sides) const;
    /// True when the filter moves: each frame then passes `filterRun()`.
    bool filtered() const { return filtered_; }
    StereoLowPassRun& filterRun() { return run_; }
    /// The filter's tunings for frames `first` to `first + count` of the note (`count` at most
    /// `maximumRunFrames`): one for each multiple of `filterRetuneFrames` among them, in order, valid
    /// until the next call. Worked out together, as none depends on another, they overlap in the
    /// processor rather than each waiting for the one before.
    const StereoLowPass* tunings(std::int64_t first, int count);
    static constexpr int maximumRunFrames = 64;
    static constexpr int maximumTunings = maximumRunFrames / filterRetuneFrames + 1;
    /// Tunings are worked out this many at a time, ahead of the frames that need them.
    static constexpr int windowTunings = 32;
    static_assert(maximumTunings <= windowTunings && windowTunings <= maximumRunFrames);

private:
    // One parameter: its value in 0-to-1 form before the routes, and the routes that act on the note.
    class Parameter {
    public:
        Parameter(ParameterTarget target, double base, const Project& project, const ContinuousModulation& context);
        bool moving() const { return moving_; }
        /// The values at the `count` (at most `maximumRunFrames`) timeline frames `frame`, `frame + stride`,
        /// ...: each route's source is evaluated for all of them at once.
        void values(std::int64_t frame, std::int64_t stride, int count, const ContinuousModulation& context,
                    double bpm, double* out) const;
        double at(std::int64_t frame, const ContinuousModulation& context, double bpm) const;

    private:
        struct Route {
            const ModulationSource* source;
            double amount;
        };
        // The values of 0-to-1 forms, as `valueAtNormalized`. A cutoff's logarithmic curve is taken
        // through its ends and a power of two, a fraction of the cost of the power it is defined by and
        // the same to within double rounding: the filter is retuned every few frames of every note.
        void valuesAt(double* n, int count) const;

        ParameterTarget target_;
        double base_;
        bool moving_ = false;
        std::vector<Route> routes_;
        double lowest_ = 0, highest_ = 0; // the target's range
        double octaves_ = 0;              // a cutoff's span in octaves
    };

    const ContinuousModulation& context_;
    double bpm_;
    Parameter volume_, pan_, cutoff_, resonance_;
    bool filtered_;
    double startVolume_ = 1, startLeft_ = 1, startRight_ = 1;
    double fixedCutoff_ = 0, fixedResonance_ = 0;
    StereoLowPass filter_;
    StereoLowPassRun run_;
    // The tunings from note frame `windowFirst_` on (none yet while it is negative), one every
    // `filterRetuneFrames`; kept from run to run.
    std::int64_t windowFirst_ = -1;
    StereoLowPass tuned_[windowTunings];
};

/// Re-processes `buffer` in place so that volume, pan and filter follow the rack over the note.
/// Parameters without a route are left as rendered; without any route the buffer is unchanged.
void applyContinuousModulation(AudioBuffer& buffer, const Project& project, const ContinuousModulation& context);

} // namespace veltrane
