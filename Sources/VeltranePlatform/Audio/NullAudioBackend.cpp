#include "VeltranePlatform/Audio/AudioDeviceBackend.hpp"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace veltrane::detail {

namespace {

// Stands in for a sound card: a thread that renders one buffer per buffer period, paced by the steady
// clock, and throws the output away. The input, when asked for, is silence.
class NullAudioBackend final : public AudioDeviceBackend {
public:
    ~NullAudioBackend() override { close(); }

    AudioDeviceFormat open(const AudioDeviceSettings& settings, AudioDeviceProcessor& processor) override
    {
        processor_ = &processor;
        format_.backend = AudioBackend::null;
        format_.outputDevice = settings.outputChannels > 0 ? displayName(AudioBackend::null) : "";
        format_.inputDevice = settings.inputChannels > 0 ? displayName(AudioBackend::null) : "";
        format_.outputChannels = std::clamp(settings.outputChannels, 0, 2);
        format_.inputChannels = std::clamp(settings.inputChannels, 0, AudioDeviceProcessor::maximumChannels);
        format_.sampleRate = settings.sampleRate >= 8000 && settings.sampleRate <= 384000 ? settings.sampleRate : 48000;
        format_.bufferFrames = std::clamp(settings.bufferFrames, 16, 8192);
        format_.outputLatencySeconds = format_.bufferFrames / format_.sampleRate;
        const auto frames = static_cast<std::size_t>(format_.bufferFrames);
        output_.assign(frames * 2, 0.0f);
        input_.assign(frames * static_cast<std::size_t>(std::max(format_.inputChannels, 1)), 0.0f);
        return format_;
    }

    void start() override
    {
        if (thread_.joinable()) return;
        stopRequested_.store(false);
        thread_ = std::thread([this] { run(); });
    }

    void stop() noexcept override
    {
        if (!thread_.joinable()) return;
        stopRequested_.store(true);
        thread_.join();
    }

    void close() noexcept override { stop(); }
    bool lost() const noexcept override { return false; }
    void silence() noexcept override { stop(); }
    void releaseAfterLoss() noexcept override { close(); }

private:
    void run() noexcept
    {
        const int frames = format_.bufferFrames;
        float* outputs[2] = {output_.data(), output_.data() + frames};
        const float* inputs[AudioDeviceProcessor::maximumChannels] = {};
        for (int channel = 0; channel < format_.inputChannels; ++channel) inputs[channel] = input_.data() + static_cast<std::size_t>(channel) * static_cast<std::size_t>(frames);
        const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(frames / format_.sampleRate));
        auto due = std::chrono::steady_clock::now();
        while (!stopRequested_.load(std::memory_order_relaxed)) {
            processor_->process(outputs, format_.outputChannels, inputs, format_.inputChannels, frames, false);
            due += period;
            const auto now = std::chrono::steady_clock::now();
            // After a long stall (a suspended machine, a debugger) start the pace afresh instead of
            // rendering the missed time in a burst.
            if (now - due > 8 * period) {
                processor_->underruns.fetch_add(1, std::memory_order_relaxed);
                due = now;
            }
            std::this_thread::sleep_until(due);
        }
    }

    AudioDeviceProcessor* processor_ = nullptr;
    AudioDeviceFormat format_;
    std::vector<float> output_;
    std::vector<float> input_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
};

} // namespace

std::unique_ptr<AudioDeviceBackend> makeNullBackend()
{
    return std::make_unique<NullAudioBackend>();
}

} // namespace veltrane::detail
