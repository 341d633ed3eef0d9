#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "Veltrane/Model/EngineControl.hpp"

#include "Veltrane/Model/AudioUnitSlots.hpp"
#include "VeltranePlayback/Hosting/AudioEngineHosting.hpp"

#include <QTimer>

#include <stdexcept>

namespace veltrane {

namespace {

/// How often the engine is pumped: played buffers, loop cycles and due retriggers are handed back to
/// the main thread this often.
constexpr int pumpIntervalMilliseconds = 4;

} // namespace

AudioEngineControl::AudioEngineControl(std::unique_ptr<AudioEngine> engine)
    : engine_(std::move(engine)), pump_(std::make_unique<QTimer>())
{
    engine_->onAudioUnitStateChange = [this] {
        if (onAudioUnitStateChange) onAudioUnitStateChange();
    };
    engine_->onConfigurationChange = [this] {
        if (onConfigurationChange) onConfigurationChange();
    };
    pump_->setTimerType(Qt::PreciseTimer);
    pump_->setInterval(pumpIntervalMilliseconds);
    QObject::connect(pump_.get(), &QTimer::timeout, [this] { engine_->drainCompletions(); });
    pump_->start();
}

AudioEngineControl::~AudioEngineControl()
{
    pump_->stop();
    engine_->onAudioUnitStateChange = nullptr;
    engine_->onConfigurationChange = nullptr;
}

void AudioEngineControl::start() { engine_->start(); }
void AudioEngineControl::apply(const Project& project) { engine_->apply(project); }

void AudioEngineControl::trigger(const Cell& cell, int track, const std::vector<Instrument>& instruments,
                                 double duration)
{
    engine_->trigger(cell, track, instruments, duration);
}

void AudioEngineControl::stop() { engine_->stop(); }
void AudioEngineControl::captureAudioUnitState(Project& project) { engine_->captureAudioUnitState(project); }
double AudioEngineControl::outputSampleRate() { return engine_->outputSampleRate(); }
void AudioEngineControl::setAudioUnitEffectBypass(const Uuid& id, bool bypassed)
{
    engine_->setAudioUnitEffectBypass(id, bypassed);
}

namespace {

/// Why the unit of `reference` could not be made, from a preparation's failures; a general reason when
/// the preparation named none.
std::runtime_error editorFailure(const std::vector<AudioUnitLoadFailure>& failures, const AudioUnitReference& reference)
{
    for (const auto& failure : failures) {
        // What the system said (a missing library, a missing symbol) follows as a paragraph of its own.
        if (failure.reference == reference) {
            return std::runtime_error(failure.detail.empty() ? failure.reason : failure.reason + "\n\n" + failure.detail);
        }
    }
    return std::runtime_error("The Audio Unit \"" + reference.name + "\" could not be started.");
}

} // namespace

PluginInstance& AudioEngineControl::instrumentEditorUnit(const Project& project, int index, int track)
{
    const bool listed = index >= 0 && index < static_cast<int>(project.instruments.size());
    const auto* source =
        listed ? std::get_if<AudioUnitSource>(&project.instruments[static_cast<std::size_t>(index)].source) : nullptr;
    if (!source) throw std::runtime_error("The selected instrument is not an Audio Unit, so it has no editor.");
    if (track < 0 || track >= AudioEngine::trackCount) {
        throw std::runtime_error("The Audio Unit editor needs a track between 1 and 32.");
    }
    auto& hosting = engine_->audioUnitHosting();
    const AudioUnitInstrumentKey key{project.instruments[static_cast<std::size_t>(index)].id, track};
    if (auto* unit = hosting.audioUnitInstrument(key)) return unit->instance();

    // One note of the instrument on the track is all a preparation needs to make just that unit.
    PlaybackTimeline timeline;
    timeline.notes.push_back(TimelineNoteEvent{.track = track, .instrument = index});
    const auto failures = hosting.prepareAudioUnits(project, timeline);
    if (auto* unit = hosting.audioUnitInstrument(key)) return unit->instance();
    throw editorFailure(failures, source->reference);
}

PluginInstance& AudioEngineControl::effectEditorUnit(const Project& project, const Uuid& id)
{
    const auto* slot = findAudioUnitSlot(project, id);
    if (!slot) throw std::runtime_error("This Audio Unit effect is no longer in the project.");
    auto& hosting = engine_->audioUnitHosting();
    if (auto* unit = hosting.audioUnitEffect(id)) return unit->instance();
    // Makes the slot's unit with its bypass and wires it into its chain.
    const auto failures = hosting.prepareAudioUnits(project, PlaybackTimeline{});
    if (auto* unit = hosting.audioUnitEffect(id)) return unit->instance();
    throw editorFailure(failures, slot->reference);
}

std::vector<AudioUnitLoadFailure> AudioEngineControl::prepareAudioUnits(const Project& project,
                                                                        const PlaybackTimeline& timeline)
{
    return engine_->prepareAudioUnits(project, timeline);
}

std::uint64_t AudioEngineControl::schedule(const PlaybackTimeline& timeline, const Project& project, bool looping,
                                           bool metronome, int countInBeats)
{
    return engine_->schedule(timeline, project, looping, metronome, countInBeats);
}

std::optional<std::int64_t> AudioEngineControl::playingFrame() { return engine_->transport().playingFrame(); }

void AudioEngineControl::updateAutomatedBuses(const Project& project, const PlaybackTimeline& timeline,
                                              std::int64_t frame)
{
    engine_->updateAutomatedBuses(project, timeline, frame);
}

MeterState AudioEngineControl::meters()
{
    const auto levels = engine_->meters();
    MeterState state;
    state.tracks = levels.tracks;
    state.master = levels.master;
    return state;
}

void AudioEngineControl::setTransportRate(float rate) { engine_->transport().setRate(rate); }
void AudioEngineControl::recoverAfterConfigurationChange() { engine_->recoverAfterConfigurationChange(); }

std::vector<float> AudioEngineControl::peaks(const Instrument& instrument, int count)
{
    return engine_->peaks(instrument, count);
}

std::vector<double> AudioEngineControl::transientSlices(const Instrument& instrument, double sensitivity)
{
    return engine_->transientSlices(instrument, sensitivity);
}

double AudioEngineControl::zeroCrossingPosition(const Instrument& instrument, double position)
{
    return engine_->zeroCrossingPosition(instrument, position);
}

} // namespace veltrane
