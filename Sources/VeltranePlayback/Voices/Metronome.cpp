#include "VeltranePlayback/Voices/Metronome.hpp"

#include "VeltranePlayback/Voices/LiveNoteRendering.hpp"
#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"

#include <algorithm>

namespace veltrane {

MetronomeClicks makeMetronomeClicks(double sampleRate)
{
    if (!(sampleRate > 0)) return {};
    // A square blip: no attack, a 10 ms fall to silence and a 5 ms release, so each click is a short tick
    // whatever the tempo.
    Instrument click = Instrument::withWaveform("Metronome", Waveform::square);
    click.attack = 0;
    click.decay = 0.01;
    click.sustain = 0;
    click.release = 0.005;
    const EffectParameters neutral;
    return MetronomeClicks{
        .regular = renderedSynth(88, Waveform::square, 0.03, click, 0.35, 0, neutral, std::nullopt, 0, 16, sampleRate),
        .accent = renderedSynth(96, Waveform::square, 0.035, click, 0.55, 0, neutral, std::nullopt, 0, 16, sampleRate),
    };
}

std::int64_t countInFrames(int beats, double bpm, double sampleRate)
{
    if (!(bpm > 0)) return 0;
    return framesForSeconds(static_cast<double>(std::max(beats, 0)) * 60 / bpm, sampleRate);
}

std::int64_t beatFrames(double bpm, double sampleRate)
{
    if (!(bpm > 0)) return 0;
    return framesForSeconds(60 / bpm, sampleRate);
}

} // namespace veltrane
