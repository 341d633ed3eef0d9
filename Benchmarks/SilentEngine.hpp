#pragma once

// A live engine control that does nothing, so a benchmark of the model or the window measures their
// own work and never a sound device.

#include "Veltrane/Model/EngineControl.hpp"

#include <stdexcept>

namespace veltrane::benchmarks {

class SilentEngine final : public EngineControl {
public:
    void start() override {}
    void apply(const Project&) override {}
    void trigger(const Cell&, int, const std::vector<Instrument>&, double) override {}
    void stop() override {}
    void captureAudioUnitState(Project&) override {}
    double outputSampleRate() override { return 48000; }
    void setAudioUnitEffectBypass(const Uuid&, bool) override {}
    PluginInstance& instrumentEditorUnit(const Project&, int, int) override { throw std::runtime_error("no editors"); }
    PluginInstance& effectEditorUnit(const Project&, const Uuid&) override { throw std::runtime_error("no editors"); }
    std::vector<AudioUnitLoadFailure> prepareAudioUnits(const Project&, const PlaybackTimeline&) override { return {}; }
    std::uint64_t schedule(const PlaybackTimeline&, const Project&, bool, bool, int) override { return 0; }
    std::optional<std::int64_t> playingFrame() override { return std::nullopt; }
    void updateAutomatedBuses(const Project&, const PlaybackTimeline&, std::int64_t) override {}
    MeterState meters() override { return {}; }
    void setTransportRate(float) override {}
    void recoverAfterConfigurationChange() override {}
    std::vector<float> peaks(const Instrument&, int) override { return {}; }
    std::vector<double> transientSlices(const Instrument&, double) override { return {}; }
    double zeroCrossingPosition(const Instrument&, double position) override { return position; }
};

} // namespace veltrane::benchmarks
