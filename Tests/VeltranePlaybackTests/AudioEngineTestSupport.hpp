#pragma once

// Helpers for the engine tests: an engine whose graph the test renders itself, block by block, and small
// projects and buffers.

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace veltrane::testing {

inline constexpr double engineRate = 48000;
inline constexpr int engineBlock = 256;

/// The engine's test seam: its mixdown graph and what it keeps per strip, for tests that check wiring
/// and node settings. Everything else about an engine is observed through its public interface.
struct AudioEngineProbe {
    AudioEngine& engine;

    MixdownGraph& mixdown() { return engine.mixdown_; }
    AudioGraph& graph() { return engine.mixdown_.graph(); }
    MixdownMaster& master() { return engine.mixdown_.master(); }
    MixdownStrip& strip(int index) { return engine.mixdown_.strips().at(static_cast<std::size_t>(index)); }
    /// The root of the strip's last audition, where its next one glides from.
    std::optional<int> auditionRoot(int index) { return engine.auditionRoots_.at(static_cast<std::size_t>(index)); }
    const SampleStore& samples() { return engine.samples_; }
};

inline AudioEngineProbe probe(AudioEngine& engine) { return AudioEngineProbe{engine}; }

/// An engine without a device: the test renders its graph.
inline AudioEngine::Options manualEngine(double sampleRate = engineRate)
{
    return AudioEngine::Options{.device = std::nullopt, .sampleRate = sampleRate, .maximumFrames = engineBlock};
}

/// A stereo recording of what the engine's graph renders.
struct Capture {
    std::vector<float> left;
    std::vector<float> right;

    std::int64_t size() const { return static_cast<std::int64_t>(left.size()); }
    float peak(std::int64_t from, std::int64_t to) const
    {
        float peak = 0;
        for (std::int64_t i = std::max<std::int64_t>(from, 0); i < std::min(to, size()); ++i) {
            peak = std::max({peak, std::abs(left[static_cast<std::size_t>(i)]), std::abs(right[static_cast<std::size_t>(i)])});
        }
        return peak;
    }
    /// The first frame at or after `from` whose level exceeds `threshold`, or -1.
    std::int64_t onset(std::int64_t from, float threshold = 1e-4f) const
    {
        for (std::int64_t i = std::max<std::int64_t>(from, 0); i < size(); ++i) {
            if (std::abs(left[static_cast<std::size_t>(i)]) > threshold || std::abs(right[static_cast<std::size_t>(i)]) > threshold) return i;
        }
        return -1;
    }
};

/// Renders `frames` frames of the engine's graph in blocks, pumping the engine after every block as the
/// model's timer would, and appends them to `capture`. A capture starts where the graph stood when it
/// began: the master limiter's look-ahead, which a listener hears as latency, is rendered on top and
/// left out of its start, so frame i of a capture is the sound of graph frame start + i.
inline void renderEngine(AudioEngine& engine, std::int64_t frames, Capture& capture)
{
    AudioBuffer block(engineBlock, probe(engine).graph().sampleRate());
    std::int64_t skip = capture.size() == 0 ? probe(engine).mixdown().latencyFrames() : 0;
    frames += skip;
    for (std::int64_t done = 0; done < frames; done += engineBlock) {
        const std::int64_t count = std::min<std::int64_t>(engineBlock, frames - done);
        engine.renderManually(block, count);
        const std::int64_t skipped = std::min(skip, count);
        skip -= skipped;
        capture.left.insert(capture.left.end(), block.channel(0) + skipped, block.channel(0) + count);
        capture.right.insert(capture.right.end(), block.channel(1) + skipped, block.channel(1) + count);
        engine.drainCompletions();
    }
}

inline Capture renderEngine(AudioEngine& engine, std::int64_t frames)
{
    Capture capture;
    renderEngine(engine, frames, capture);
    return capture;
}

/// A buffer holding `value` on both channels.
inline AudioBufferRef constantBuffer(std::int64_t frames, float value, double sampleRate = engineRate)
{
    auto buffer = std::make_shared<AudioBuffer>(frames, sampleRate);
    std::fill(buffer->channel(0), buffer->channel(0) + frames, value);
    std::fill(buffer->channel(1), buffer->channel(1) + frames, value);
    return buffer;
}

/// A project whose mixer passes sound through unchanged at 48 kHz: unity volumes, filters at the Nyquist
/// frequency (where they pass everything), no drive, crusher, delay or reverb.
inline Project transparentProject()
{
    Project project;
    project.masterVolume = 1;
    project.masterFX = MasterFX{.cutoff = engineRate / 2};
    for (auto& track : project.mixer) {
        track.volume = 1;
        track.cutoff = engineRate / 2;
    }
    return project;
}

inline constexpr std::int64_t engineRow = 6000; // one row at 120 bpm and 4 rows per beat, at 48 kHz
inline constexpr std::int64_t engineLead = 2400; // the engine's start lead, 0.05 s at 48 kHz

/// A transparent project of one pattern, `rows` × `tracks`, at 120 bpm and 4 rows per beat, whose
/// instrument 0 is a square organ (instant attack, full sustain, 5 ms release, no filter of its own).
inline Project sequencerProject(int rows, int tracks)
{
    Project project = transparentProject();
    project.bpm = 120;
    project.rowsPerBeat = 4;
    project.swing = 0.0;
    project.patterns = {Pattern("P", rows, tracks)};
    project.order = {0};
    project.arrangement = SongArrangement{.blocks = {SongBlock{.pattern = 0, .repeats = 1}}};
    project.mixer.resize(static_cast<std::size_t>(tracks));
    for (auto& track : project.mixer) track = MixerTrack{.volume = 1, .cutoff = engineRate / 2};
    Instrument organ = Instrument::withWaveform("Organ", Waveform::square);
    organ.volume = 0.5;
    organ.attack = 0;
    organ.decay = 0;
    organ.sustain = 1;
    organ.release = 0;
    organ.cutoff = engineRate / 2;
    project.instruments = {organ};
    return project;
}

inline Cell noteCell(int pitch, int instrument = 0) { return Cell{.note = NotePitch{pitch}, .instrument = instrument}; }

} // namespace veltrane::testing
