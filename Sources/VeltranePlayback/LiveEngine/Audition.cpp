// Auditioned notes: a cell played at once as it is entered, outside the transport. Each hit is rendered
// afresh and played on the strip's audition players, which playback never uses, so an audition while a
// song plays neither cuts a playing note nor restarts a playback player; and the strip's pan stays as the
// mixer set it, since the note's own pan is already in its buffer.

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltranePlayback/Voices/LiveNoteRendering.hpp"
#include "VeltranePlayback/NotePlan/NoteChance.hpp"

#include <algorithm>
#include <cmath>
#include <random>
#include <variant>

namespace veltrane {

namespace {

using Clock = std::chrono::steady_clock;

// A gate of `seconds`, in whole frames (truncated) and at least one.
double gateSeconds(double seconds, double sampleRate)
{
    const double frames = seconds * sampleRate;
    return (frames >= 1 ? std::trunc(frames) : 1.0) / sampleRate;
}

// An audition has no place on a timeline: each hit rolls its chance at a position of its own.
std::int64_t randomPosition()
{
    static std::mt19937_64 generator{std::random_device{}()};
    return static_cast<std::int64_t>(generator());
}

} // namespace

std::shared_ptr<AudioBuffer> AudioEngine::renderAudition(int note, double gate, const Instrument& instrument,
                                                         double volume, double pan, const EffectParameters& effects,
                                                         std::optional<int> slideFromNote)
{
    const double sampleRate = graph_.sampleRate();
    if (const auto* synth = std::get_if<SynthSource>(&instrument.source)) {
        return renderedSynth(note, synth->waveform, gate, instrument, volume, pan, effects, slideFromNote, 0, 16, sampleRate);
    }
    if (std::holds_alternative<AudioUnitSource>(instrument.source)) return nullptr; // hosted units stay silent here
    const auto sample = samples_.sample(instrument.id);
    if (!sample) return nullptr;
    return renderedSample(*sample, note, gate, instrument, volume, pan, effects, slideFromNote, 0, 16, sampleRate);
}

void AudioEngine::playAudition(AudioPlayerNode& player, AudioBufferRef buffer)
{
    // Replaces whatever the player still sounds, on a player clock that keeps running.
    player.scheduleBuffer(std::move(buffer), std::nullopt, {}, AudioPlayerNode::Scheduling::interrupts);
}

void AudioEngine::trigger(const Cell& cell, int track, const std::vector<Instrument>& instruments, double duration)
{
    if (!cell.note) return;
    const auto root = pitchOf(*cell.note);
    if (!root) return;
    if (!cell.instrument || *cell.instrument < 0 || *cell.instrument >= static_cast<int>(instruments.size())) return;
    if (track < 0 || track >= trackCount) return;

    const Instrument& instrument = instruments[static_cast<std::size_t>(*cell.instrument)];
    const EffectParameters effects = interpret(cell.effects);
    if (!noteSurvivesChance(randomPosition(), track, effects.chance)) return;

    std::optional<int>& lastRoot = auditionRoots_[static_cast<std::size_t>(track)];
    const std::optional<int> slideFrom = lastRoot;
    std::vector<int> notes{*root};
    for (const int interval : effects.chord) notes.push_back(*root + interval);
    notes.resize(std::min<std::size_t>(notes.size(), auditionVoiceCount));

    const double volume = static_cast<double>(cell.volume.value_or(64)) / 64;
    const double pan = effects.pan.value_or(instrument.pan);
    const double gate = gateSeconds(duration, graph_.sampleRate());
    mixdown_.connectStrip(track);
    const MixdownStrip& strip = mixdown_.strips()[static_cast<std::size_t>(track)];
    for (std::size_t i = 0; i < notes.size(); ++i) {
        // Vibrato, tremolo and the glide from the strip's last audition belong to the root alone.
        const bool isRoot = i == 0;
        auto buffer = renderAudition(notes[i], gate, instrument, volume, pan, isRoot ? effects : EffectParameters{},
                                     isRoot ? slideFrom : std::nullopt);
        if (buffer) playAudition(*strip.auditionVoices[i], std::move(buffer));
    }
    lastRoot = *root;

    const int steps = effects.retriggers;
    for (int k = 1; k < steps; ++k) {
        const auto delay = std::chrono::duration<double>(duration * k / steps);
        retriggerSteps_.push_back(RetriggerStep{
            .due = Clock::now() + std::chrono::duration_cast<Clock::duration>(delay),
            .track = track,
            .duration = duration,
            .steps = steps,
            .note = *root,
            .instrument = instrument,
            .volume = volume,
            .pan = pan,
        });
    }
}

void AudioEngine::playDueRetriggers()
{
    if (retriggerSteps_.empty()) return;
    const auto now = Clock::now();
    std::vector<RetriggerStep> due;
    for (const RetriggerStep& step : retriggerSteps_) {
        if (step.due <= now) due.push_back(step);
    }
    std::erase_if(retriggerSteps_, [&](const RetriggerStep& step) { return step.due <= now; });
    std::stable_sort(due.begin(), due.end(), [](const RetriggerStep& a, const RetriggerStep& b) { return a.due < b.due; });
    for (const RetriggerStep& step : due) {
        // A step replaces what the strip's first audition player sounds, as a fresh hit of the root note
        // for one step's length; it belongs to its own audition even after a later one began.
        mixdown_.connectStrip(step.track);
        const MixdownStrip& strip = mixdown_.strips()[static_cast<std::size_t>(step.track)];
        const double gate = gateSeconds(step.duration / step.steps, graph_.sampleRate());
        auto buffer = renderAudition(step.note, gate, step.instrument, step.volume, step.pan, EffectParameters{}, std::nullopt);
        if (buffer) playAudition(*strip.auditionVoices[0], std::move(buffer));
    }
}

} // namespace veltrane
