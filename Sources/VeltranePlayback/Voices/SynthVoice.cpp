#include "VeltranePlayback/Voices/SynthVoice.hpp"

#include "VeltranePlayback/Voices/ContinuousModulation.hpp"
#include "VeltranePlayback/Voices/NoteEnvelopeShape.hpp"
#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltranePlayback/Voices/Oscillator.hpp"
#include "VeltranePlayback/Voices/VoiceStages.hpp"
#include "VeltraneCore/DSP/CycleSine.hpp"
#include "VeltraneCore/DSP/PowerOfTwo.hpp"
#include "VeltraneCore/DSP/StereoLowPass.hpp"
#include "VeltraneCore/DSP/WideInstructions.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"
#include "VeltraneCore/Tracker/NoteFrequency.hpp"
#include "VeltranePlatform/Audio/DenormalGuard.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace veltrane {

namespace {

constexpr double shortestGlideSeconds = 0.001;

// A note is rendered a chunk of frames at a time, each stage in a loop of its own over the chunk, so
// every loop is free of branches on the note's settings: those are decided once per note, in the choice
// of oscillator and of the stages that run at all.
constexpr int chunkFrames = oscillatorRunFrames;
static_assert(chunkFrames <= ContinuousModulator::maximumRunFrames);

bool isPositiveRate(double sampleRate) { return sampleRate > 0 && std::isfinite(sampleRate); }

// Everything a note's frames share, worked out once.
struct VoiceSetup {
    double sampleRate;
    double inverseRate;
    double baseFrequency;
    double baseCycles; // cycles per frame at the note's own pitch
    double glideSeconds;
    double glideSemitones;
    std::optional<EffectOscillation> vibrato;
    std::optional<EffectOscillation> tremolo;
    PanGains pan;
    double gain;
    DriveStage drive;
    BitReductionStage bits;
    NoteEnvelopeShape envelope;
    StereoLowPass filter;
};

// The times of four frames from frame `first + k` of the note, in seconds.
QuadLanes timesOf(const VoiceSetup& voice, std::int64_t first, int k)
{
    // Frame numbers stay far below 2^53, so each sum is the frame's number exactly.
    const double frame = static_cast<double>(first + k);
    return QuadLanes{frame, frame + 1, frame + 2, frame + 3} * voice.inverseRate;
}

// Cycles per frame of a note whose pitch moves (a glide, vibrato), four frames to a vector; `count` is
// a multiple of four. The power of two is the polynomial's, within double rounding of the library's.
void fillBentCycles(const VoiceSetup& voice, std::int64_t first, int count, double* cycles)
{
    const QuadLanes zero{};
    for (int k = 0; k < count; k += 4) {
        const QuadLanes t = timesOf(voice, first, k);
        const QuadLanes progress = t / voice.glideSeconds;
        const QuadLanes glide = (1 - (1 < progress ? zero + 1 : progress)) * voice.glideSemitones;
        const QuadLanes wobble = voice.vibrato ? voice.vibrato->depth * sineOfCycles(voice.vibrato->rate * t) : zero;
        const QuadLanes bend = glide / 12 + wobble / 1200;
        // 2^0 is exactly 1, so a frame without bend keeps the note's own pitch exactly.
        const QuadLanes frequency = bend == 0 ? zero + voice.baseFrequency : voice.baseFrequency * exp2Of(bend);
        storeQuad(cycles + k, frequency / voice.sampleRate);
    }
}

// The gain of each frame: envelope, tremolo and the note's level, in the order the levels multiply.
void fillLevels(const VoiceSetup& voice, std::int64_t first, int count, const double* samples, double* levels)
{
    double envelope[chunkFrames];
    voice.envelope.fill(first, count, voice.inverseRate, envelope);
    if (voice.tremolo) {
        const double depth = voice.tremolo->depth;
        const double rate = voice.tremolo->rate;
        // Four frames to a vector; the frames past `count` are never read.
        for (int k = 0; k < count; k += 4) {
            const QuadLanes tremolo = 1 - depth * (sineOfCycles(rate * timesOf(voice, first, k)) + 1) / 2;
            storeQuad(levels + k, tremolo * voice.gain);
        }
        for (int k = 0; k < count; ++k) levels[k] = levels[k] * samples[k] * envelope[k];
        return;
    }
    for (int k = 0; k < count; ++k) levels[k] = voice.gain * samples[k] * envelope[k];
}

// Pan, the optional drive and bit reduction, then the filter, into double frames. `alongside(k)` runs
// with frame k: independent work that fills the gaps the filter's chain from frame to frame leaves.
template <class Alongside>
void panAndFilter(const VoiceSetup& voice, StereoLowPassRun& run, const double* levels, int count, StereoLanes* out,
                  Alongside&& alongside)
{
    // A copy of its own, so the filter's history stays in registers rather than being stored through
    // the reference after every frame.
    StereoLowPassRun filter = run;
    const StereoLanes pan{voice.pan.left, voice.pan.right};
    if (voice.drive.active() || voice.bits.active()) {
        for (int k = 0; k < count; ++k) {
            const StereoLanes panned = pan * levels[k];
            out[k] = filter.process(StereoLanes{voice.bits(voice.drive(panned[0])), voice.bits(voice.drive(panned[1]))});
            alongside(k);
        }
    } else {
        for (int k = 0; k < count; ++k) {
            out[k] = filter.process(pan * levels[k]);
            alongside(k);
        }
    }
    run = filter;
}

// As `panAndFilter` followed by the modulation's `process`, with the note's filter and the modulated
// one in the same loop: each is a chain from one frame to the next, and side by side the two chains
// overlap instead of running one after the other.
template <class Alongside>
void panAndFilterModulated(const VoiceSetup& voice, StereoLowPassRun& run, ContinuousModulator& modulation,
                           std::int64_t first, const double* levels, int count, StereoLanes* out,
                           Alongside&& alongside)
{
    if (voice.drive.active() || voice.bits.active() || !modulation.filtered()) {
        panAndFilter(voice, run, levels, count, out, alongside);
        modulation.process(first, out, count);
        return;
    }
    double gains[chunkFrames];
    StereoLanes sides[chunkFrames];
    const bool scaled = modulation.scales(first, count, gains, sides);
    const StereoLowPass* tuned = modulation.tunings(first, count);
    StereoLowPassRun filter = run;
    StereoLowPassRun modulated = modulation.filterRun();
    const StereoLanes pan{voice.pan.left, voice.pan.right};
    constexpr std::int64_t retune = ContinuousModulator::filterRetuneFrames;
    int next = 0;
    for (int k = 0; k < count;) {
        const std::int64_t n = first + k;
        if (n % retune == 0) modulated.retune(tuned[next++]);
        const int until = static_cast<int>(std::min<std::int64_t>(count, k + retune - n % retune));
        if (scaled) {
            for (; k < until; ++k) {
                out[k] = modulated.process(gains[k] * filter.process(pan * levels[k]) * sides[k]);
                alongside(k);
            }
        } else {
            for (; k < until; ++k) {
                out[k] = modulated.process(filter.process(pan * levels[k]));
                alongside(k);
            }
        }
    }
    run = filter;
    modulation.filterRun() = modulated;
}

void storeFrames(const StereoLanes* frames, int count, float* left, float* right)
{
    for (int k = 0; k < count; ++k) {
        left[k] = static_cast<float>(frames[k][0]);
        right[k] = static_cast<float>(frames[k][1]);
    }
}

template <class Oscillator>
void renderWith(const VoiceSetup& voice, Oscillator oscillator, bool bends, ContinuousModulator* modulation,
                float* left, float* right, std::int64_t frames)
{
    StereoLowPassRun run(voice.filter);
    // The phases of this chunk and of the next: the next chunk's add up, frame by frame, inside this
    // chunk's filter loop, each chain filling the other's waits. (Past the note's last frame they are
    // never read.)
    typename Oscillator::Phases phases[2];
    double cycles[chunkFrames]; // the next chunk's steps
    const auto stepsFrom = [&](std::int64_t first) {
        if (bends) {
            fillBentCycles(voice, first, chunkFrames, cycles);
        } else {
            std::fill_n(cycles, chunkFrames, voice.baseCycles);
        }
    };
    stepsFrom(0);
    for (int k = 0; k < chunkFrames; ++k) oscillator.advance(cycles[k], k, phases[0]);
    double samples[chunkFrames];
    double levels[chunkFrames];
    StereoLanes out[chunkFrames];
    int current = 0;
    for (std::int64_t first = 0; first < frames; first += chunkFrames, current ^= 1) {
        const int count = static_cast<int>(std::min<std::int64_t>(chunkFrames, frames - first));
        oscillator.waves(phases[current], samples, count);
        fillLevels(voice, first, count, samples, levels);
        stepsFrom(first + chunkFrames);
        typename Oscillator::Phases& following = phases[current ^ 1];
        const auto advance = [&](int k) { oscillator.advance(cycles[k], k, following); };
        // The modulation works on the chunk while it is still in double precision and in cache: no
        // second pass over the note.
        if (modulation) {
            panAndFilterModulated(voice, run, *modulation, first, levels, count, out, advance);
        } else {
            panAndFilter(voice, run, levels, count, out, advance);
        }
        storeFrames(out, count, left + first, right + first);
    }
}

// The voice loop is built twice: for every x86-64 (SSE2), and for processors with AVX2 and FMA, where
// four lanes of the oscillator fill one register and a multiply and an add become one fused step
// (rounded once instead of twice: the same sound to within double rounding). Flattening builds each
// loop's stages into it, so each copy runs with its own instructions throughout. The processor is asked
// once which copy it can run.
using RenderArguments = std::tuple<const VoiceSetup&, bool, ContinuousModulator*, float*, float*, std::int64_t>;

template <class Oscillator>
[[gnu::flatten]] void renderPortable(Oscillator oscillator, const RenderArguments& arguments)
{
    const auto& [voice, bends, modulation, left, right, frames] = arguments;
    renderWith(voice, oscillator, bends, modulation, left, right, frames);
}

#ifdef VELTRANE_WIDE_INSTRUCTIONS
template <class Oscillator>
VELTRANE_WIDE void renderWide(Oscillator oscillator, const RenderArguments& arguments)
{
    const auto& [voice, bends, modulation, left, right, frames] = arguments;
    renderWith(voice, oscillator, bends, modulation, left, right, frames);
}
#endif

template <class Oscillator>
void renderDispatched(Oscillator oscillator, const RenderArguments& arguments)
{
#ifdef VELTRANE_WIDE_INSTRUCTIONS
    if (processorRunsWide()) return renderWide(oscillator, arguments);
#endif
    renderPortable(oscillator, arguments);
}

} // namespace

std::int64_t synthNoteFrames(const SynthNote& note, const Instrument& instrument, double sampleRate,
                             SynthReleaseStyle style)
{
    double frames = 0;
    if (style == SynthReleaseStyle::fromGateLevel) {
        frames = static_cast<double>(lengthFramesForSeconds(
            note.gateSeconds + std::max(instrument.release, shortestReleaseSeconds), sampleRate));
    } else {
        frames = std::trunc(note.lengthSeconds * sampleRate);
    }
    if (!std::isfinite(frames) || frames < 1) return 1;
    if (frames > static_cast<double>(maximumNoteFrames)) return maximumNoteFrames + 1;
    return static_cast<std::int64_t>(frames);
}

void renderSynthFrames(const SynthNote& note, const Instrument& instrument, double sampleRate,
                       SynthReleaseStyle style, float* left, float* right, std::int64_t frames,
                       ContinuousModulator* modulation)
{
    const double baseFrequency = noteFrequency(note.note) * std::exp2(instrument.tune / 12);
    const VoiceSetup voice{
        .sampleRate = sampleRate,
        .inverseRate = 1 / sampleRate,
        .baseFrequency = baseFrequency,
        .baseCycles = baseFrequency / sampleRate,
        .glideSeconds = std::max(note.gateSeconds, shortestGlideSeconds),
        .glideSemitones = note.glideSemitones,
        .vibrato = note.vibrato,
        .tremolo = note.tremolo,
        .pan = PanGains::forPan(note.pan),
        .gain = instrument.volume * note.volume * 0.25, // fixed headroom for chords and stacks
        .drive = DriveStage(note.driveAmount),
        .bits = BitReductionStage(note.bitDepth),
        .envelope = NoteEnvelopeShape(instrument, note.gateSeconds, note.lengthSeconds,
                                      style == SynthReleaseStyle::fadeOverTail),
        .filter = StereoLowPass(sampleRate, noteCutoff(instrument), noteResonance(instrument)),
    };
    const bool bends = note.glideSemitones != 0 || note.vibrato;
    if (modulation && !modulation->active()) modulation = nullptr;
    // A decaying tail would otherwise turn subnormal inside the voice, where each operation on it costs
    // many times more; live playback renders its notes outside any render call's guard.
    DenormalGuard denormals;
    const RenderArguments arguments{voice, bends, modulation, left, right, frames};
    visitOscillator(instrument.fm, note.waveform, [&](auto oscillator) { renderDispatched(oscillator, arguments); });
}

std::shared_ptr<AudioBuffer> renderSynthNote(const SynthNote& note, const Instrument& instrument, double sampleRate,
                                             SynthReleaseStyle style, ContinuousModulator* modulation)
{
    if (!isPositiveRate(sampleRate)) return nullptr;
    const std::int64_t frames = synthNoteFrames(note, instrument, sampleRate, style);
    if (frames > maximumNoteFrames) return nullptr;
    // Every frame is written below.
    auto buffer = std::make_shared<AudioBuffer>(frames, sampleRate, AudioBuffer::uninitialized);
    renderSynthFrames(note, instrument, sampleRate, style, buffer->channel(0), buffer->channel(1), frames,
                      modulation);
    return buffer;
}

} // namespace veltrane
