#include "VeltraneCore/Models/Project.hpp"

namespace veltrane {

std::vector<Pattern> Project::newProjectPatterns() { return {Pattern("Pattern 1", 64, 8)}; }

std::vector<Instrument> Project::newProjectInstruments()
{
    return {
        Instrument::withWaveform("Sine", Waveform::sine),
        Instrument::withWaveform("Triangle", Waveform::triangle),
        Instrument::withWaveform("Saw", Waveform::saw),
        Instrument::withWaveform("Square", Waveform::square),
    };
}

SongArrangement Project::newProjectArrangement()
{
    return SongArrangement{
        .blocks = {SongBlock{.pattern = 0, .repeats = 1}},
        .markers = {},
        .loop = SongLoopRegion{.startBlock = 0, .endBlock = 0, .enabled = false},
    };
}

} // namespace veltrane
