// The live graph at full size (the engine's own `MixdownGraph`): 32 track strips (8 players, 3 audition
// players, mixer, low-pass EQ, distortion each) into the master bus and the whole master chain (EQ,
// drive, bit-crusher, delay, reverb, time-pitch, peak limiter), rendered in 256-frame blocks on one
// core. Reported as times real time ("timesRealTime": seconds of audio rendered per second of CPU
// time). Goals: at least 200 with every player idle, 50 with 64 buffers playing.
//
// And the export's mixdown alone, every strip in one graph (the node work an export's threads share
// between them): 16 strips set as the dense benchmark song sets them, 82 voices sounding, each from a
// buffer of its own, the buffers together far larger than the processor's caches (as rendered notes
// are), in 256-frame blocks at 44,100 Hz.

#include "VeltranePlayback/Mixdown/MixdownGraph.hpp"
#include "VeltraneCore/Models/Project.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace {

using namespace veltrane;

constexpr double sampleRate = 48000;
constexpr int blockFrames = 256;
constexpr int stripCount = MixdownOptions::liveStripCount;
constexpr int voicesPerStrip = trackerVoiceCount;

// The live engine's graph with every strip joined, set as the engine sets a project of 32 default strips
// at master volume 0.8: strips at volume 0.85 with their filters open and no drive, the master at
// cutoff 18 kHz, every send at 0.
struct LiveGraph {
    MixdownGraph mixdown{MixdownOptions::live(sampleRate, AudioGraph::defaultMaximumFrames)};
    AudioGraph& graph = mixdown.graph();
    std::vector<std::shared_ptr<AudioPlayerNode>> voices;

    LiveGraph()
    {
        Project project;
        project.masterVolume = 0.8;
        project.mixer.resize(static_cast<std::size_t>(stripCount));
        mixdown.applySettings(project);
        for (int strip = 0; strip < stripCount; ++strip) {
            mixdown.connectStrip(strip);
            for (const auto& voice : mixdown.strips()[static_cast<std::size_t>(strip)].voices) {
                voices.push_back(voice);
                voice->play();
            }
        }
    }

    // The sends and drives a busy song uses.
    void turnEffectsOn()
    {
        MixdownMaster& master = mixdown.master();
        master.drive->setPreGain(5.4f);
        master.drive->setWetDryMix(22.5f);
        master.crusher->setRounding(33);
        master.crusher->setWetDryMix(100);
        master.delay->setWetDryMix(30);
        master.reverb->setWetDryMix(25);
        master.filter->setFrequency(9000);
        for (int index = 0; index < stripCount; ++index) {
            MixdownStrip& strip = mixdown.strips()[static_cast<std::size_t>(index)];
            strip.mixer->setPan(index % 2 ? -0.4f : 0.4f);
            strip.filter->setFrequency(4000);
            strip.drive->setPreGain(4.2f);
            strip.drive->setWetDryMix(19.5f);
        }
    }
};

// Keeps `count` buffers sounding: two voices of each strip play 10-second notes, queued again
// before they end.
class Notes {
public:
    Notes(LiveGraph& live, int count) : live_(live), count_(count) {}

    void keepPlaying()
    {
        if (count_ == 0 || live_.graph.renderedFrames() + 48000 < nextFrame_) return;
        for (int i = 0; i < count_; ++i) {
            const auto voice = static_cast<std::size_t>((i % stripCount) * voicesPerStrip + i / stripCount);
            live_.voices[voice]->scheduleBuffer(note_, nextFrame_);
        }
        nextFrame_ += note_->frameLength();
        live_.graph.drainCompletions();
    }

private:
    static std::shared_ptr<AudioBuffer> makeNote()
    {
        auto buffer = std::make_shared<AudioBuffer>(static_cast<std::int64_t>(10 * sampleRate), sampleRate);
        std::uint32_t state = 12345;
        for (int channel = 0; channel < 2; ++channel) {
            for (std::int64_t i = 0; i < buffer->frameLength(); ++i) {
                state = state * 1664525u + 1013904223u;
                buffer->channel(channel)[i] = 0.05f * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
            }
        }
        return buffer;
    }

    LiveGraph& live_;
    int count_;
    std::int64_t nextFrame_ = 0;
    AudioBufferRef note_ = makeNote();
};

void renderBlocks(benchmark::State& state, int playing, bool effects)
{
    LiveGraph live;
    if (effects) live.turnEffectsOn();
    Notes notes(live, playing);
    std::vector<float> left(blockFrames), right(blockFrames);
    for (auto _ : state) {
        notes.keepPlaying();
        live.graph.render(left.data(), right.data(), blockFrames);
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
    }
    live.graph.drainCompletions();
    state.counters["timesRealTime"] = benchmark::Counter(static_cast<double>(state.iterations()) * blockFrames / sampleRate,
                                                     benchmark::Counter::kIsRate);
}

// The export's graph with `voiceCount` voices sounding: each plays a 2-second buffer of its own again
// and again, voice by voice at other frames within the block.
struct ExportGraph {
    static constexpr int trackCount = 16;
    static constexpr int voiceCount = 82;
    static constexpr double rate = MixdownOptions::exportSampleRate;
    static constexpr int block = MixdownOptions::exportBlockFrames;
    static constexpr std::int64_t noteFrames = static_cast<std::int64_t>(2 * rate);

    MixdownGraph mixdown{MixdownOptions::exportRender(trackCount)};
    std::vector<AudioBufferRef> notes;
    std::int64_t queuedUntil = 0;

    ExportGraph()
    {
        Project project;
        project.mixer = std::vector<MixerTrack>(trackCount);
        for (int t = 0; t < trackCount; ++t) {
            project.mixer[static_cast<std::size_t>(t)].pan = (t % 5 - 2) * 0.3;
            if (t % 3 == 0) project.mixer[static_cast<std::size_t>(t)].cutoff = 6000 + 500 * t;
            if (t % 4 == 1) project.mixer[static_cast<std::size_t>(t)].drive = 0.2;
        }
        project.masterFX = MasterFX{.drive = 0.1, .delayMix = 0.2, .delayTime = 0.32, .delayFeedback = 40,
                                    .reverbMix = 0.15, .bitDepth = 16.0};
        mixdown.applySettings(project);
        for (int t = 0; t < trackCount; ++t) mixdown.connectStrip(t);
        std::uint32_t state = 12345;
        for (int v = 0; v < voiceCount; ++v) {
            auto buffer = std::make_shared<AudioBuffer>(noteFrames, rate);
            for (int channel = 0; channel < 2; ++channel) {
                for (std::int64_t i = 0; i < noteFrames; ++i) {
                    state = state * 1664525u + 1013904223u;
                    buffer->channel(channel)[i] = 0.02f * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
                }
            }
            notes.push_back(std::move(buffer));
        }
        for (auto& strip : mixdown.strips()) {
            for (auto& voice : strip.voices) voice->play(0);
        }
    }

    void keepPlaying()
    {
        AudioGraph& graph = mixdown.graph();
        if (graph.renderedFrames() + rate < queuedUntil) return;
        for (int v = 0; v < voiceCount; ++v) {
            MixdownStrip& strip = mixdown.strips()[static_cast<std::size_t>(v % trackCount)];
            const std::int64_t start = queuedUntil + v * 37;
            strip.voices[static_cast<std::size_t>(v / trackCount)]->scheduleBuffer(notes[static_cast<std::size_t>(v)], start);
        }
        queuedUntil += noteFrames;
        graph.drainCompletions();
    }
};

void BM_ExportGraph82Voices(benchmark::State& state)
{
    ExportGraph exportGraph;
    AudioBuffer out(ExportGraph::block, ExportGraph::rate);
    for (auto _ : state) {
        exportGraph.keepPlaying();
        exportGraph.mixdown.graph().manualRender(out, ExportGraph::block);
        benchmark::DoNotOptimize(out.channel(0));
    }
    exportGraph.mixdown.graph().drainCompletions();
    state.counters["timesRealTime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * ExportGraph::block / ExportGraph::rate, benchmark::Counter::kIsRate);
}

void BM_AllPlayersIdle(benchmark::State& state) { renderBlocks(state, 0, false); }
void BM_64BuffersPlaying(benchmark::State& state) { renderBlocks(state, 64, false); }
void BM_64BuffersPlayingWithEffects(benchmark::State& state) { renderBlocks(state, 64, true); }

BENCHMARK(BM_AllPlayersIdle);
BENCHMARK(BM_64BuffersPlaying);
BENCHMARK(BM_64BuffersPlayingWithEffects);
BENCHMARK(BM_ExportGraph82Voices);

} // namespace
