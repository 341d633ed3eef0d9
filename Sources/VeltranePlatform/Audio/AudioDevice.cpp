#include "VeltranePlatform/Audio/AudioDevice.hpp"

#include "VeltranePlatform/Audio/AudioDeviceBackend.hpp"
#include "VeltranePlatform/Audio/AudioGraph.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

namespace veltrane {

namespace {

std::int64_t nowNanoseconds() noexcept
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A running device that has not asked for a block for this long is taken for lost (a card that hangs
// or a server that stopped calling us).
constexpr auto stallLimit = std::chrono::seconds(2);

} // namespace

std::string displayName(AudioBackend backend)
{
    switch (backend) {
    case AudioBackend::automatic: return "Automatic";
    case AudioBackend::jack: return "JACK";
    case AudioBackend::pulseAudio: return "PulseAudio";
    case AudioBackend::alsa: return "ALSA";
    case AudioBackend::null: return "No audio device";
    }
    return "Automatic";
}

namespace detail {

void AudioDeviceProcessor::prepare(double rate, int bufferFrames, double latency)
{
    sampleRate = rate;
    outputLatencySeconds = latency;
    monoFrames_ = std::max(bufferFrames, 256);
    mono_ = std::make_unique<float[]>(static_cast<std::size_t>(monoFrames_) * 2);
    stampSequence_.store(0, std::memory_order_relaxed);
    lastBlockNanoseconds.store(0, std::memory_order_relaxed);
}

void AudioDeviceProcessor::process(float* const* outputs, int outputCount, const float* const* inputs,
                                   int inputCount, int frames, bool underrun) noexcept
{
    const std::int64_t now = nowNanoseconds();
    lastBlockNanoseconds.store(now, std::memory_order_relaxed);
    if (underrun) underruns.fetch_add(1, std::memory_order_relaxed);
    if (inputHandler && inputCount > 0) inputHandler(inputs, inputCount, frames);
    if (outputCount <= 0) return;
    if (graph == nullptr) {
        for (int channel = 0; channel < outputCount; ++channel) std::memset(outputs[channel], 0, sizeof(float) * static_cast<std::size_t>(frames));
        return;
    }
    const std::uint64_t sequence = stampSequence_.load(std::memory_order_relaxed);
    stampSequence_.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    stampFrame_.store(graph->renderedFrames(), std::memory_order_relaxed);
    stampNanoseconds_.store(now, std::memory_order_relaxed);
    stampSequence_.store(sequence + 2, std::memory_order_release);

    if (outputCount >= 2) {
        graph->render(outputs[0], outputs[1], frames);
        for (int channel = 2; channel < outputCount; ++channel) std::memset(outputs[channel], 0, sizeof(float) * static_cast<std::size_t>(frames));
        return;
    }
    // A mono output gets the average of both sides.
    float* left = mono_.get();
    float* right = mono_.get() + monoFrames_;
    for (int done = 0; done < frames;) {
        const int count = std::min(frames - done, monoFrames_);
        graph->render(left, right, count);
        for (int i = 0; i < count; ++i) outputs[0][done + i] = 0.5f * (left[i] + right[i]);
        done += count;
    }
}

bool AudioDeviceProcessor::latestStamp(std::int64_t& frame, std::int64_t& nanoseconds) const noexcept
{
    for (;;) {
        const std::uint64_t before = stampSequence_.load(std::memory_order_acquire);
        if (before == 0) return false;
        if (before & 1) continue;
        frame = stampFrame_.load(std::memory_order_relaxed);
        nanoseconds = stampNanoseconds_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (stampSequence_.load(std::memory_order_relaxed) == before) return true;
    }
}

void retireLostBackend(std::unique_ptr<AudioDeviceBackend> backend)
{
    if (!backend) return;
    backend->silence();
    std::thread([lost = std::move(backend)]() mutable {
        lost->releaseAfterLoss();
        lost.reset();
    }).detach();
}

} // namespace detail

AudioDevice::AudioDevice(AudioGraph* graph)
    : graph_(graph), processor_(std::make_unique<detail::AudioDeviceProcessor>())
{
    processor_->graph = graph;
}

AudioDevice::~AudioDevice()
{
    close();
}

std::vector<AudioBackend> AudioDevice::availableBackends()
{
    std::vector<AudioBackend> backends = detail::rtAudioBackends();
    backends.push_back(AudioBackend::null);
    return backends;
}

std::vector<AudioDeviceInfo> AudioDevice::devices(AudioBackend backend)
{
    switch (backend) {
    case AudioBackend::null: {
        AudioDeviceInfo info;
        info.backend = AudioBackend::null;
        info.name = displayName(AudioBackend::null);
        info.outputChannels = 2;
        info.inputChannels = 2;
        info.isDefaultOutput = info.isDefaultInput = true;
        info.sampleRates = {44100, 48000, 88200, 96000};
        return {info};
    }
    case AudioBackend::automatic: {
        std::vector<AudioDeviceInfo> all;
        for (AudioBackend each : detail::rtAudioBackends()) {
            auto some = detail::rtAudioDevices(each);
            all.insert(all.end(), some.begin(), some.end());
        }
        return all;
    }
    default: return detail::rtAudioDevices(backend);
    }
}

void AudioDevice::setInputHandler(InputHandler handler)
{
    processor_->inputHandler = std::move(handler);
}

void AudioDevice::setConfigurationChangeHandler(std::function<void()> handler)
{
    onConfigurationChange_ = std::move(handler);
}

void AudioDevice::open(const AudioDeviceSettings& settings)
{
    close();
    std::vector<AudioBackend> candidates;
    if (settings.backend == AudioBackend::automatic) {
        candidates = detail::rtAudioBackends();
    } else {
        candidates = {settings.backend};
    }
    std::optional<AudioDeviceError> firstError;
    for (AudioBackend candidate : candidates) {
        try {
            auto backend = candidate == AudioBackend::null ? detail::makeNullBackend() : detail::makeRtAudioBackend(candidate);
            AudioDeviceFormat opened = backend->open(settings, *processor_);
            backend_ = std::move(backend);
            format_ = opened;
            break;
        } catch (const AudioDeviceError& error) {
            if (!firstError) firstError = error;
        }
    }
    if (!backend_) {
        if (firstError && settings.backend != AudioBackend::automatic) throw *firstError;
        throw AudioDeviceError(AudioDeviceError::Case::unavailable, "No audio device is available.");
    }
    settings_ = settings;
    if (graph_ != nullptr && format_.outputChannels > 0
        && (graph_->sampleRate() != format_.sampleRate || graph_->maximumFrames() < format_.bufferFrames)) {
        graph_->setFormat(format_.sampleRate, std::max(graph_->maximumFrames(), format_.bufferFrames));
    }
    processor_->prepare(format_.sampleRate, format_.bufferFrames, format_.outputLatencySeconds);
    lossReported_ = false;
    lossPending_ = false;
}

void AudioDevice::start()
{
    if (!backend_) throw AudioDeviceError(AudioDeviceError::Case::startFailed, "The audio device is not open.");
    if (running_) return;
    backend_->start();
    running_ = true;
    startedAt_ = std::chrono::steady_clock::now();
}

void AudioDevice::stop() noexcept
{
    if (backend_ && running_) {
        // A device that stopped calling (a server that died or hangs) is let go, never stopped from here.
        if (deviceLost() || !backend_->stillCalling()) {
            abandonLostStream();
            return;
        }
        backend_->stop();
    }
    running_ = false;
}

void AudioDevice::close() noexcept
{
    stop();
    if (backend_) {
        // A device that stopped calling (a server that died or hangs) is let go, never closed from here.
        if (backend_->stillCalling()) {
            backend_->close();
        } else {
            detail::retireLostBackend(std::move(backend_));
        }
    }
    backend_.reset();
    format_ = {};
}

void AudioDevice::abandonLostStream() noexcept
{
    // A lost stream is neither stopped nor closed from here: a device that went away may never answer.
    detail::retireLostBackend(std::move(backend_));
    format_ = {};
    running_ = false;
    lossPending_ = true;
}

void AudioDevice::reopen()
{
    if (!settings_) throw AudioDeviceError(AudioDeviceError::Case::unavailable, "No audio device was opened before.");
    const bool restart = running_ || lossReported_ || lossPending_;
    const AudioDeviceSettings settings = *settings_;
    open(settings);
    if (restart) start();
}

bool AudioDevice::isOpen() const noexcept
{
    return backend_ != nullptr;
}

bool AudioDevice::deviceLost() const noexcept
{
    if (!backend_ || !running_) return false;
    if (backend_->lost()) return true;
    const std::int64_t last = processor_->lastBlockNanoseconds.load(std::memory_order_relaxed);
    const auto reference = last == 0 ? startedAt_ : std::chrono::steady_clock::time_point(std::chrono::nanoseconds(last));
    return std::chrono::steady_clock::now() - reference > stallLimit;
}

void AudioDevice::pollEvents()
{
    if (lossReported_) return;
    if (deviceLost()) abandonLostStream();
    if (!lossPending_) return;
    lossPending_ = false;
    lossReported_ = true;
    if (onConfigurationChange_) onConfigurationChange_();
}

std::optional<std::chrono::steady_clock::time_point> AudioDevice::timeOfGraphFrame(std::int64_t frame) const noexcept
{
    std::int64_t stampFrame = 0;
    std::int64_t stampNanoseconds = 0;
    if (!processor_->latestStamp(stampFrame, stampNanoseconds)) return std::nullopt;
    const double seconds = static_cast<double>(frame - stampFrame) / processor_->sampleRate + processor_->outputLatencySeconds;
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(stampNanoseconds + static_cast<std::int64_t>(std::llround(seconds * 1e9))));
}

std::uint64_t AudioDevice::underrunCount() const noexcept
{
    return processor_->underruns.load(std::memory_order_relaxed);
}

} // namespace veltrane
