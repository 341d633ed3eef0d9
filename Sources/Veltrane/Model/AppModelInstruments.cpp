// Instruments the user adds (a synth per waveform, the FM voice, factory presets) and the FM settings
// of the selected instrument.

#include "Veltrane/Model/AppModel.hpp"

#include <cmath>

namespace veltrane {

namespace {

/// "Sine", "Triangle", "Saw" or "Square".
std::string capitalizedName(Waveform waveform)
{
    std::string name(toRawValue(waveform));
    if (!name.empty()) name[0] = static_cast<char>(name[0] - 'a' + 'A'); // raw values are lower-case ASCII
    return name;
}

bool isLoadable(const FMSettings& fm)
{
    for (const double value : {fm.amount, fm.carrier.ratio, fm.carrier.fine, fm.modulator.ratio, fm.modulator.fine}) {
        if (!std::isfinite(value)) return false;
    }
    return true;
}

} // namespace

void AppModel::addSynth(Waveform waveform)
{
    mutate([waveform](Project& project) {
        project.instruments.push_back(Instrument::withWaveform(capitalizedName(waveform), waveform));
    });
    setSelectedInstrument(static_cast<int>(project_.instruments.size()) - 1);
}

void AppModel::addFM()
{
    mutate([](Project& project) {
        // Counts every instrument, not only FM ones, so names may repeat.
        project.instruments.push_back(
            Instrument::withFM("FM " + std::to_string(project.instruments.size() + 1), FMSettings{}));
    });
    setSelectedInstrument(static_cast<int>(project_.instruments.size()) - 1);
}

void AppModel::addPreset(InstrumentPreset preset)
{
    mutate([preset](Project& project) { project.instruments.push_back(instrument(preset)); });
    setSelectedInstrument(static_cast<int>(project_.instruments.size()) - 1);
}

void AppModel::updateFM(const std::function<void(FMSettings&)>& change)
{
    const int index = selectedInstrument_;
    if (index < 0 || index >= static_cast<int>(project_.instruments.size())) return;
    FMSettings fm = project_.instruments[static_cast<std::size_t>(index)].fm.value_or(FMSettings{});
    change(fm);
    // A project holding a value that is not a number cannot be opened again.
    if (!isLoadable(fm)) return;
    mutate([&](Project& project) { project.instruments[static_cast<std::size_t>(index)].fm = fm; });
}

} // namespace veltrane
