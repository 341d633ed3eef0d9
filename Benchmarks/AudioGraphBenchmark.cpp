// The live graph at full size (the engine's own `MixdownGraph`): 32 track strips (8 players, 3 audition
// players, mixer, low-pass EQ, distortion each) into the master bus and the whole master chain (EQ,
// drive, bit-crusher, delay, reverb, time-pitch, peak limiter), rendered in 256-frame blocks on one
// core. Reported as times real time ("timesRealTime": seconds of audio rendered per second of CPU
// time). Goals: at least 200 with every player idle, 50 with 64 buffers playing.

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

void BM_AllPlayersIdle(benchmark::State& state) { renderBlocks(state, 0, false); }
void BM_64BuffersPlaying(benchmark::State& state) { renderBlocks(state, 64, false); }
void BM_64BuffersPlayingWithEffects(benchmark::State& state) { renderBlocks(state, 64, true); }

BENCHMARK(BM_AllPlayersIdle);
BENCHMARK(BM_64BuffersPlaying);
BENCHMARK(BM_64BuffersPlayingWithEffects);

} // namespace
