#include "VeltranePlayback/Hosting/AudioEngineHosting.hpp"

#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"
#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"

#include <exception>
#include <unordered_set>
#include <variant>

namespace veltrane {

namespace {

/// Every effect slot of the project in the one order the hosting walks them: each mixer track's slots in
/// list order, track by track, then the master's.
std::vector<const AudioUnitSlot*> slotSequence(const Project& project)
{
    std::vector<const AudioUnitSlot*> slots;
    for (const MixerTrack& track : project.mixer) {
        if (!track.audioUnits) continue;
        for (const AudioUnitSlot& slot : *track.audioUnits) slots.push_back(&slot);
    }
    if (project.masterFX && project.masterFX->audioUnits) {
        for (const AudioUnitSlot& slot : *project.masterFX->audioUnits) slots.push_back(&slot);
    }
    return slots;
}

void captureSlots(std::optional<std::vector<AudioUnitSlot>>& slots,
                  const std::function<std::optional<Data>(const AudioUnitSlot&)>& capture)
{
    if (!slots) return;
    for (AudioUnitSlot& slot : *slots) {
        if (auto state = capture(slot)) slot.state = std::move(*state);
    }
}

} // namespace

AudioUnitHosting::AudioUnitHosting(AudioEngine& engine, const PluginHost* plugins)
    : engine_(engine), plugins_(plugins)
{
}

AudioUnitHosting::~AudioUnitHosting() = default;

std::unique_ptr<PluginInstance> AudioUnitHosting::instantiate(const AudioUnitReference& reference,
                                                              const std::optional<Data>& state)
{
    // The installed list is loaded on first use only: a project without hosted units never pays for it.
    const PluginHost& host = plugins_ != nullptr ? *plugins_ : AudioUnitCatalog::installedPlugins();
    const AudioGraph& graph = engine_.mixdown_.graph();
    return AudioUnitCatalog::instantiate(reference, state, graph.sampleRate(), graph.maximumFrames(), host);
}

std::vector<AudioUnitLoadFailure> AudioUnitHosting::prepareAudioUnits(const Project& project,
                                                                      const PlaybackTimeline& timeline)
{
    std::vector<AudioUnitLoadFailure> failures;
    const auto fail = [&](const AudioUnitReference& reference, std::exception_ptr error) {
        std::string reason = "The plug-in could not be started.";
        std::string detail;
        try {
            std::rethrow_exception(error);
        } catch (const PluginError& e) {
            reason = e.what();
            detail = e.detail();
        } catch (const std::exception& e) {
            reason = e.what();
        } catch (...) {
        }
        failures.push_back(AudioUnitLoadFailure{reference, std::move(reason), std::move(detail)});
    };

    // Instruments: one unit per distinct (instrument, track) that a note of the timeline plays.
    std::vector<AudioUnitInstrumentKey> keys;
    std::unordered_set<AudioUnitInstrumentKey> seen;
    for (const TimelineNoteEvent& note : timeline.notes) {
        if (note.instrument < 0 || note.instrument >= static_cast<int>(project.instruments.size())) continue;
        const Instrument& instrument = project.instruments[static_cast<std::size_t>(note.instrument)];
        if (!std::holds_alternative<AudioUnitSource>(instrument.source)) continue;
        // A track beyond the strips has nowhere to sound: it gets no unit rather than a dangling one.
        if (note.track < 0 || note.track >= AudioEngine::trackCount) continue;
        AudioUnitInstrumentKey key{instrument.id, note.track};
        if (seen.insert(key).second) keys.push_back(key);
    }
    for (const AudioUnitInstrumentKey& key : keys) {
        if (audioUnitInstruments_.contains(key)) continue;
        const Instrument* instrument = nullptr;
        for (const Instrument& candidate : project.instruments) {
            if (candidate.id == key.instrumentID) {
                instrument = &candidate;
                break;
            }
        }
        const auto* source = instrument != nullptr ? std::get_if<AudioUnitSource>(&instrument->source) : nullptr;
        if (source == nullptr) continue;
        engine_.mixdown_.connectStrip(key.track);
        try {
            auto node = std::make_shared<AudioPluginInstrumentNode>(instantiate(source->reference, source->state));
            engine_.mixdown_.attachInstrument(key.track, node);
            observeAudioUnit(node->instance());
            if (playbackStartGraphFrame_) node->startPlaybackClock(*playbackStartGraphFrame_);
            audioUnitInstruments_.emplace(key, std::move(node));
        } catch (...) {
            fail(source->reference, std::current_exception());
        }
    }

    // Effects: every slot of the project, whether or not its track plays.
    const auto slots = slotSequence(project);
    for (const AudioUnitSlot* slot : slots) {
        if (audioUnitEffects_.contains(slot->id)) continue;
        try {
            auto node = std::make_shared<AudioPluginEffectNode>(instantiate(slot->reference, slot->state));
            engine_.mixdown_.graph().attach(node);
            observeAudioUnit(node->instance());
            audioUnitEffects_.emplace(slot->id, std::move(node));
        } catch (...) {
            fail(slot->reference, std::current_exception());
        }
    }
    for (const AudioUnitSlot* slot : slots) setAudioUnitEffectBypass(slot->id, slot->bypassed);
    // Plug-ins with a tempo input follow the song's.
    for (auto& [key, unit] : audioUnitInstruments_) unit->instance().setTempo(project.bpm);
    for (auto& [id, unit] : audioUnitEffects_) unit->instance().setTempo(project.bpm);

    rebuildAudioUnitEffectRouting(project);
    return failures;
}

void AudioUnitHosting::rebuildAudioUnitEffectRouting(const Project& project)
{
    MixdownGraph& mixdown = engine_.mixdown_;
    for (auto& [id, unit] : audioUnitEffects_) {
        mixdown.graph().disconnectInputs(*unit);
        mixdown.graph().disconnectOutput(*unit);
    }

    // A damaged or hand-made file can name one slot id twice; a unit has one place in the graph, so only
    // its first slot gets it (wiring it again would pull it out of the chain it already sits in).
    std::unordered_set<const AudioNode*> placed;
    const auto chain = [&](const std::optional<std::vector<AudioUnitSlot>>& slots) {
        std::vector<std::shared_ptr<AudioEffectNode>> units;
        if (slots) {
            for (const AudioUnitSlot& slot : *slots) {
                const auto found = audioUnitEffects_.find(slot.id);
                if (found == audioUnitEffects_.end() || !placed.insert(found->second.get()).second) continue;
                units.push_back(found->second);
            }
        }
        return units;
    };

    for (int i = 0; i < AudioEngine::trackCount; ++i) {
        if (!mixdown.strips()[static_cast<std::size_t>(i)].connected) continue;
        static const std::optional<std::vector<AudioUnitSlot>> none;
        const auto& slots = i < static_cast<int>(project.mixer.size()) ? project.mixer[static_cast<std::size_t>(i)].audioUnits : none;
        mixdown.setStripInserts(i, chain(slots));
    }

    static const std::optional<std::vector<AudioUnitSlot>> noMasterSlots;
    mixdown.setMasterInserts(chain(project.masterFX ? project.masterFX->audioUnits : noMasterSlots));
}

std::optional<Data> AudioUnitHosting::readState(const PluginInstance& unit) const
{
    return stateReader ? stateReader(unit) : AudioUnitCatalog::stateData(unit);
}

void AudioUnitHosting::captureAudioUnitState(Project& project) const
{
    for (Instrument& instrument : project.instruments) {
        auto* source = std::get_if<AudioUnitSource>(&instrument.source);
        if (source == nullptr) continue;
        // One instrument on several tracks runs several units; the lowest track's speaks for all of them.
        AudioPluginInstrumentNode* chosen = nullptr;
        int chosenTrack = 0;
        for (const auto& [key, unit] : audioUnitInstruments_) {
            if (key.instrumentID != instrument.id) continue;
            if (chosen == nullptr || key.track < chosenTrack) {
                chosen = unit.get();
                chosenTrack = key.track;
            }
        }
        if (chosen == nullptr) continue;
        // A state that cannot be read must not wipe the one the project holds.
        if (auto state = readState(chosen->instance())) source->state = std::move(*state);
    }

    const auto capture = [&](const AudioUnitSlot& slot) -> std::optional<Data> {
        AudioPluginEffectNode* unit = audioUnitEffect(slot.id);
        if (unit == nullptr) return std::nullopt;
        return readState(unit->instance());
    };
    for (MixerTrack& track : project.mixer) captureSlots(track.audioUnits, capture);
    if (project.masterFX) captureSlots(project.masterFX->audioUnits, capture);
}

void AudioUnitHosting::setAudioUnitEffectBypass(const Uuid& id, bool bypassed)
{
    if (AudioPluginEffectNode* unit = audioUnitEffect(id)) unit->setBypassed(bypassed);
}

AudioPluginInstrumentNode* AudioUnitHosting::audioUnitInstrument(const AudioUnitInstrumentKey& key) const noexcept
{
    const auto found = audioUnitInstruments_.find(key);
    return found == audioUnitInstruments_.end() ? nullptr : found->second.get();
}

AudioPluginEffectNode* AudioUnitHosting::audioUnitEffect(const Uuid& id) const noexcept
{
    const auto found = audioUnitEffects_.find(id);
    return found == audioUnitEffects_.end() ? nullptr : found->second.get();
}

bool AudioUnitHosting::queueAudioUnitMIDI(const Uuid& instrumentID, int track, std::int64_t frame,
                                          std::array<std::uint8_t, 3> bytes)
{
    AudioPluginInstrumentNode* unit = audioUnitInstrument({instrumentID, track});
    if (unit == nullptr) return false;
    unit->scheduleMIDI(frame, bytes);
    return true;
}

void AudioUnitHosting::startAudioUnitPlayback(std::int64_t atGraphFrame)
{
    playbackStartGraphFrame_ = atGraphFrame;
    for (auto& [key, unit] : audioUnitInstruments_) unit->startPlaybackClock(atGraphFrame);
}

bool AudioUnitHosting::queueAudioUnitPlaybackMIDI(const Uuid& instrumentID, int track, std::int64_t frame,
                                                  std::array<std::uint8_t, 3> bytes)
{
    AudioPluginInstrumentNode* unit = audioUnitInstrument({instrumentID, track});
    if (unit == nullptr) return false;
    unit->schedulePlaybackMIDI(frame, bytes);
    return true;
}

void AudioUnitHosting::stopAudioUnitInstruments()
{
    playbackStartGraphFrame_.reset();
    for (auto& [key, unit] : audioUnitInstruments_) {
        unit->clearMIDI();
        // A frame long past plays at the start of the next block.
        unit->scheduleMIDI(0, {0xB0, allNotesOffController, 0});
    }
}

void AudioUnitHosting::observeAudioUnit(const PluginInstance& unit)
{
    for (const Observed& observed : audioUnitObservers_) {
        if (observed.unit == &unit) return;
    }
    // Counting from now: restoring the saved state while the unit was made is not a change by the user.
    audioUnitObservers_.push_back(Observed{&unit, unit.parameterChangeCount()});
}

void AudioUnitHosting::pollParameterChanges(const std::function<void()>& onChange)
{
    bool changed = false;
    for (Observed& observed : audioUnitObservers_) {
        const std::uint64_t count = observed.unit->parameterChangeCount();
        if (count != observed.seenChangeCount) {
            observed.seenChangeCount = count;
            changed = true;
        }
    }
    if (changed && onChange) onChange();
}

// The engine's hosting operations.

AudioUnitHosting& AudioEngine::audioUnitHosting()
{
    if (!hosting_) hosting_ = std::make_unique<AudioUnitHosting>(*this);
    return *hosting_;
}

std::vector<AudioUnitLoadFailure> AudioEngine::prepareAudioUnits(const Project& project, const PlaybackTimeline& timeline)
{
    return audioUnitHosting().prepareAudioUnits(project, timeline);
}

void AudioEngine::captureAudioUnitState(Project& project)
{
    if (hosting_) hosting_->captureAudioUnitState(project);
}

void AudioEngine::setAudioUnitEffectBypass(const Uuid& id, bool bypassed)
{
    if (hosting_) hosting_->setAudioUnitEffectBypass(id, bypassed);
}

} // namespace veltrane
