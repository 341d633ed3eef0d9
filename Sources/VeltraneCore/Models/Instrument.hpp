#pragma once

// A sound the cells play by index. Its source is one of four choices (`InstrumentSource`):
//
//     SynthSource{Waveform::saw}
//     SampleSource{bookmark, filename}      a sample file by bookmark ("veltrane-path:" + absolute path)
//     EmbeddedSource{data, filename}        the sample file's bytes kept in the project
//     AudioUnitSource{reference, state}     a hosted plug-in instrument and its saved state
//
// Read one with std::get_if<SampleSource>(&instrument.source) or std::visit.
//
// The named constructors mirror how the application makes instruments; each draws a new identifier and
// sets the default sound (volume 0.85, pan 0, tune 0, attack 0.002, decay 0.08, sustain 0.8, release
// 0.08, cutoff 18000 and resonance 0.7 present). `Instrument{}` leaves cutoff and resonance absent.

#include "VeltraneCore/Models/AudioUnitReference.hpp"
#include "VeltraneCore/Models/Data.hpp"
#include "VeltraneCore/Models/FMSettings.hpp"
#include "VeltraneCore/Models/SampleEdit.hpp"
#include "VeltraneCore/Models/Uuid.hpp"
#include "VeltraneCore/Models/Waveform.hpp"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace veltrane {

struct SynthSource {
    Waveform waveform = Waveform::sine;
    friend bool operator==(const SynthSource&, const SynthSource&) = default;
};

struct SampleSource {
    Data bookmark;
    std::string filename;
    friend bool operator==(const SampleSource&, const SampleSource&) = default;
};

struct EmbeddedSource {
    Data data;
    std::string filename;
    friend bool operator==(const EmbeddedSource&, const EmbeddedSource&) = default;
};

struct AudioUnitSource {
    AudioUnitReference reference;
    std::optional<Data> state;
    friend bool operator==(const AudioUnitSource&, const AudioUnitSource&) = default;
};

using InstrumentSource = std::variant<SynthSource, SampleSource, EmbeddedSource, AudioUnitSource>;

struct Instrument {
    Uuid id = Uuid::random();
    std::string name;
    InstrumentSource source = SynthSource{};
    double volume = 0.85;  // 0 to 1
    double pan = 0;        // -1 (left) to 1 (right)
    double tune = 0;       // semitones, -48 to 48
    double attack = 0.002; // seconds, 0 to 2
    double decay = 0.08;   // seconds, 0 to 2
    double sustain = 0.8;  // level, 0 to 1
    double release = 0.08; // seconds, 0 to 2
    std::optional<double> cutoff;    // low-pass cutoff in Hz, 20 to 20000
    std::optional<double> resonance; // 0.05 to 5
    std::optional<FMSettings> fm;
    std::optional<SampleEdit> sampleEdit;
    std::optional<bool> favorite;
    std::optional<std::vector<std::string>> tags;

    static Instrument withWaveform(std::string name, Waveform waveform);
    /// A sine synth with the given FM settings.
    static Instrument withFM(std::string name, FMSettings fm);
    static Instrument withBookmark(std::string name, Data bookmark, std::string filename);
    static Instrument withData(std::string name, Data data, std::string filename);
    static Instrument withAudioUnit(std::string name, AudioUnitReference reference, std::optional<Data> state);

    /// The waveform of a synth source; `sine` for every other source.
    Waveform synthWaveform() const;

    friend bool operator==(const Instrument&, const Instrument&) = default;
};

} // namespace veltrane
