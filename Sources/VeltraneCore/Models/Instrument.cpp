#include "VeltraneCore/Models/Instrument.hpp"

namespace veltrane {

namespace {

Instrument withDefaultSound(std::string name, InstrumentSource source)
{
    Instrument instrument;
    instrument.name = std::move(name);
    instrument.source = std::move(source);
    instrument.cutoff = 18000;
    instrument.resonance = 0.7;
    return instrument;
}

} // namespace

Instrument Instrument::withWaveform(std::string name, Waveform waveform)
{
    return withDefaultSound(std::move(name), SynthSource{waveform});
}

Instrument Instrument::withFM(std::string name, FMSettings fm)
{
    auto instrument = withDefaultSound(std::move(name), SynthSource{Waveform::sine});
    instrument.fm = fm;
    return instrument;
}

Instrument Instrument::withBookmark(std::string name, Data bookmark, std::string filename)
{
    auto instrument = withDefaultSound(std::move(name), SampleSource{std::move(bookmark), std::move(filename)});
    instrument.sampleEdit = SampleEdit{};
    return instrument;
}

Instrument Instrument::withData(std::string name, Data data, std::string filename)
{
    auto instrument = withDefaultSound(std::move(name), EmbeddedSource{std::move(data), std::move(filename)});
    instrument.sampleEdit = SampleEdit{};
    return instrument;
}

Instrument Instrument::withAudioUnit(std::string name, AudioUnitReference reference, std::optional<Data> state)
{
    return withDefaultSound(std::move(name), AudioUnitSource{std::move(reference), std::move(state)});
}

Waveform Instrument::synthWaveform() const
{
    if (const auto* synth = std::get_if<SynthSource>(&source)) return synth->waveform;
    return Waveform::sine;
}

} // namespace veltrane
