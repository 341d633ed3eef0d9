// The live graph at full size: 32 track strips (8 players, mixer, low-pass EQ, distortion each) into
// the master bus and the whole master chain (EQ, drive, bit-crusher, delay, reverb, time-pitch, peak
// limiter), rendered in 256-frame blocks on one core. Reported as times real time ("timesRealTime": seconds
// of audio rendered per second of CPU time). Goals: at least 200 with every player idle, 50 with 64
// buffers playing.

#include "VeltranePlatform/Audio/AudioBitCrusherNode.hpp"
#include "VeltranePlatform/Audio/AudioDelayNode.hpp"
#include "VeltranePlatform/Audio/AudioDistortionNode.hpp"
#include "VeltranePlatform/Audio/AudioEQNode.hpp"
#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioPeakLimiterNode.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"
#include "VeltranePlatform/Audio/AudioReverbNode.hpp"
#include "VeltranePlatform/Audio/AudioTimePitchNode.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace {

using namespace veltrane;

constexpr double sampleRate = 48000;
constexpr int blockFrames = 256;
constexpr int stripCount = 32;
constexpr int voicesPerStrip = 8;

// Built and set as the engine sets a new project: strips at volume 0.85 with their filters open and no
// drive, the master at cutoff 18 kHz, every send at 0 and the limiter at 1 ms attack and 80 ms decay.
struct LiveGraph {
    AudioGraph graph{sampleRate, AudioGraph::defaultMaximumFrames};
    std::shared_ptr<AudioMixerNode> masterBus = graph.attachNew<AudioMixerNode>();
    std::shared_ptr<AudioEQNode> filter = graph.attachNew<AudioEQNode>();
    std::shared_ptr<AudioDistortionNode> drive = graph.attachNew<AudioDistortionNode>();
    std::shared_ptr<AudioBitCrusherNode> crusher = graph.attachNew<AudioBitCrusherNode>();
    std::shared_ptr<AudioDelayNode> delay = graph.attachNew<AudioDelayNode>();
    std::shared_ptr<AudioReverbNode> reverb = graph.attachNew<AudioReverbNode>();
    std::shared_ptr<AudioTimePitchNode> timePitch = graph.attachNew<AudioTimePitchNode>();
    std::shared_ptr<AudioPeakLimiterNode> limiter = graph.attachNew<AudioPeakLimiterNode>();
    std::vector<std::shared_ptr<AudioMixerNode>> stripMixers;
    std::vector<std::shared_ptr<AudioEQNode>> stripFilters;
    std::vector<std::shared_ptr<AudioDistortionNode>> stripDrives;
    std::vector<std::shared_ptr<AudioPlayerNode>> voices;

    LiveGraph()
    {
        graph.connect(*masterBus, *filter);
        graph.connect(*filter, *drive);
        graph.connect(*drive, *crusher);
        graph.connect(*crusher, *delay);
        graph.connect(*delay, *reverb);
        graph.connect(*reverb, *timePitch);
        graph.connect(*timePitch, *limiter);
        graph.connect(*limiter, graph.mainMixer());
        masterBus->installLevelTap();
        graph.mainMixer().setOutputVolume(0.8f);
        filter->setFrequency(18000);
        filter->setBandwidth(0.7f);
        delay->setDelayTime(0.25);
        delay->setFeedback(35);
        limiter->setAttackTime(0.001f);
        limiter->setDecayTime(0.08f);
        for (int strip = 0; strip < stripCount; ++strip) {
            auto mixer = graph.attachNew<AudioMixerNode>();
            auto eq = graph.attachNew<AudioEQNode>();
            auto distortion = graph.attachNew<AudioDistortionNode>();
            graph.connect(*mixer, *eq);
            graph.connect(*eq, *distortion);
            graph.connect(*distortion, *masterBus);
            mixer->installLevelTap();
            mixer->setOutputVolume(0.85f);
            eq->setFrequency(20000);
            eq->setBandwidth(0.7f);
            for (int voice = 0; voice < voicesPerStrip; ++voice) {
                voices.push_back(graph.attachNew<AudioPlayerNode>());
                graph.connect(*voices.back(), *mixer);
                voices.back()->play();
            }
            stripMixers.push_back(mixer);
            stripFilters.push_back(eq);
            stripDrives.push_back(distortion);
        }
    }

    // The sends and drives a busy song uses.
    void turnEffectsOn()
    {
        drive->setPreGain(5.4f);
        drive->setWetDryMix(22.5f);
        crusher->setRounding(33);
        crusher->setWetDryMix(100);
        delay->setWetDryMix(30);
        reverb->setWetDryMix(25);
        filter->setFrequency(9000);
        for (int strip = 0; strip < stripCount; ++strip) {
            stripMixers[static_cast<std::size_t>(strip)]->setPan(strip % 2 ? -0.4f : 0.4f);
            stripFilters[static_cast<std::size_t>(strip)]->setFrequency(4000);
            stripDrives[static_cast<std::size_t>(strip)]->setPreGain(4.2f);
            stripDrives[static_cast<std::size_t>(strip)]->setWetDryMix(19.5f);
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
