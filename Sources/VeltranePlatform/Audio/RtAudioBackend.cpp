#include "VeltranePlatform/Audio/AudioDeviceBackend.hpp"
#include "VeltranePlatform/Audio/JackClientLifetime.hpp"
#include "VeltranePlatform/Audio/ThreadCancellation.hpp"

#include <sys/eventfd.h>
#include <unistd.h>
#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

namespace veltrane::detail {

namespace {

RtAudio::Api apiFor(AudioBackend backend)
{
    switch (backend) {
    case AudioBackend::jack: return RtAudio::UNIX_JACK;
    case AudioBackend::pulseAudio: return RtAudio::LINUX_PULSE;
    case AudioBackend::alsa: return RtAudio::LINUX_ALSA;
    default: return RtAudio::UNSPECIFIED;
    }
}

bool compiled(RtAudio::Api api)
{
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    return std::find(apis.begin(), apis.end(), api) != apis.end();
}

// RtAudio reports stream errors through a plain function without a user pointer. While one of our
// calls into RtAudio runs, the message is caught for that call's own exception; errors that arrive on
// the device thread are only noticed through the stream's state (see `lost`), so this function never
// allocates there.
thread_local std::string* caughtMessage = nullptr;

void catchError(RtAudioError::Type type, const std::string& message)
{
    if (caughtMessage != nullptr && type != RtAudioError::WARNING && type != RtAudioError::DEBUG_WARNING) *caughtMessage = message;
}

struct CatchErrors {
    std::string message;
    CatchErrors() { caughtMessage = &message; }
    ~CatchErrors() { caughtMessage = nullptr; }
    CatchErrors(const CatchErrors&) = delete;
    CatchErrors& operator=(const CatchErrors&) = delete;
};

class RtAudioBackend;

// JACK streams whose server went away and that are not yet closed. libjack keeps one set of server
// mappings for the whole process: a dead client closed after a new one opened reaches into the new
// server's and crashes; so a new stream waits for the dead ones to close first.
std::atomic<int> deadJackStreams{0};

void waitForDeadJackStreams()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (deadJackStreams.load() > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void jackServerWentAway(jack_status_t, const char*, void* backend);

struct DeviceChoice {
    unsigned int id = 0;
    RtAudio::DeviceInfo info;
};

std::optional<DeviceChoice> findDevice(RtAudio& audio, const std::string& name, bool output)
{
    const unsigned int count = audio.getDeviceCount();
    std::optional<DeviceChoice> fallback;
    for (unsigned int id = 0; id < count; ++id) {
        RtAudio::DeviceInfo info = audio.getDeviceInfo(id);
        if (!info.probed) continue;
        const unsigned int channels = output ? info.outputChannels : info.inputChannels;
        if (channels == 0) continue;
        if (!name.empty()) {
            if (info.name == name) return DeviceChoice{id, info};
            continue;
        }
        if (output ? info.isDefaultOutput : info.isDefaultInput) return DeviceChoice{id, info};
        if (!fallback) fallback = DeviceChoice{id, info};
    }
    return fallback;
}

unsigned int chooseRate(const RtAudio::DeviceInfo& info, double wanted)
{
    const auto rates = info.sampleRates;
    const auto asked = static_cast<unsigned int>(std::lround(wanted));
    if (rates.empty() || std::find(rates.begin(), rates.end(), asked) != rates.end()) return asked;
    if (info.preferredSampleRate != 0 && std::find(rates.begin(), rates.end(), info.preferredSampleRate) != rates.end()) return info.preferredSampleRate;
    // The closest rate the device offers.
    return *std::min_element(rates.begin(), rates.end(), [asked](unsigned int a, unsigned int b) {
        return std::abs(static_cast<long>(a) - static_cast<long>(asked)) < std::abs(static_cast<long>(b) - static_cast<long>(asked));
    });
}

class RtAudioBackend final : public AudioDeviceBackend {
public:
    explicit RtAudioBackend(AudioBackend backend) : backend_(backend) {}
    ~RtAudioBackend() override
    {
        close();
        // An open that failed before its stream was made still has its closer waiting.
        stopCloser();
        closeWake();
    }

    AudioDeviceFormat open(const AudioDeviceSettings& settings, AudioDeviceProcessor& processor) override
    {
        processor_ = &processor;
        const std::string name = displayName(backend_);
        if (jack()) {
            waitForDeadJackStreams();
            startCloser();
        }
        try {
            audio_ = std::make_unique<RtAudio>(apiFor(backend_));
            audio_->showWarnings(false);
        } catch (const RtAudioError& error) {
            throw AudioDeviceError(AudioDeviceError::Case::unavailable, name + " cannot be used: " + error.getMessage());
        }
        format_ = {};
        format_.backend = backend_;
        std::optional<DeviceChoice> output;
        std::optional<DeviceChoice> input;
        if (settings.outputChannels > 0) {
            output = findDevice(*audio_, settings.outputDevice, true);
            if (!output) throw AudioDeviceError(AudioDeviceError::Case::unavailable, "No audio output is available through " + name + ".");
            format_.outputDevice = output->info.name;
            format_.outputChannels = std::min<int>({settings.outputChannels, static_cast<int>(output->info.outputChannels), 2});
        }
        if (settings.inputChannels > 0) {
            input = findDevice(*audio_, settings.inputDevice, false);
            if (!input) throw AudioDeviceError(AudioDeviceError::Case::unavailable, "No audio input is available through " + name + ".");
            format_.inputDevice = input->info.name;
            format_.inputChannels = std::min<int>({settings.inputChannels, static_cast<int>(input->info.inputChannels), AudioDeviceProcessor::maximumChannels});
        }
        if (!output && !input) throw AudioDeviceError(AudioDeviceError::Case::unavailable, "The audio device was asked for no channels.");

        const unsigned int rate = chooseRate(output ? output->info : input->info, settings.sampleRate);
        RtAudio::StreamParameters outputParameters;
        RtAudio::StreamParameters inputParameters;
        if (output) {
            outputParameters.deviceId = output->id;
            outputParameters.nChannels = static_cast<unsigned int>(format_.outputChannels);
        }
        if (input) {
            inputParameters.deviceId = input->id;
            inputParameters.nChannels = static_cast<unsigned int>(format_.inputChannels);
        }
        RtAudio::StreamOptions options;
        options.flags = RTAUDIO_NONINTERLEAVED | RTAUDIO_SCHEDULE_REALTIME;
        options.streamName = settings.clientName.empty() ? "Veltrane" : settings.clientName;
        options.priority = 70;
        unsigned int bufferFrames = static_cast<unsigned int>(std::clamp(settings.bufferFrames, 16, 8192));
        CatchErrors caught;
        // RtAudio answers a JACK server that goes away by closing the client from a helper thread while
        // JACK's own thread is still inside RtAudio's notice, printing it. Closing cancels that thread at
        // whatever instruction it is on: inside the C++ runtime's output this ends the whole process. So
        // the notice RtAudio asks for is replaced by ours, which only marks the stream lost and wakes a
        // thread of the stream's own, waiting from the start, that closes it.
        if (jack()) replaceJackShutdownNotices(&jackServerWentAway, this);
        struct EndOpening {
            ~EndOpening() { replaceJackShutdownNotices(nullptr, nullptr); }
        } endOpening;
        try {
            audio_->openStream(output ? &outputParameters : nullptr, input ? &inputParameters : nullptr, RTAUDIO_FLOAT32,
                               rate, &bufferFrames, &RtAudioBackend::callback, this, &options, &catchError);
        } catch (const RtAudioError& error) {
            stopCloser();
            closeWake();
            throw AudioDeviceError(AudioDeviceError::Case::openFailed, "The audio device could not be opened: " + error.getMessage());
        }
        if (!audio_->isStreamOpen()) {
            stopCloser();
            closeWake();
            throw AudioDeviceError(AudioDeviceError::Case::openFailed, "The audio device could not be opened: " + caught.message);
        }
        format_.sampleRate = audio_->getStreamSampleRate();
        format_.bufferFrames = static_cast<int>(bufferFrames);
        format_.outputLatencySeconds = static_cast<double>(audio_->getStreamLatency()) / format_.sampleRate;
        return format_;
    }

    void start() override
    {
        silenced_.store(false);
        CatchErrors caught;
        std::lock_guard lock(streamMutex_);
        try {
            audio_->startStream();
        } catch (const RtAudioError& error) {
            throw AudioDeviceError(AudioDeviceError::Case::startFailed, "The audio device could not be started: " + error.getMessage());
        }
        if (!audio_->isStreamRunning()) {
            throw AudioDeviceError(AudioDeviceError::Case::startFailed, "The audio device could not be started: " + caught.message);
        }
        started_ = true;
    }

    void stop() noexcept override
    {
        if (!audio_ || !started_) return;
        started_ = false;
        silence();
        std::lock_guard lock(streamMutex_);
        if (serverGone_.load()) return;
        CatchErrors caught;
        try {
            // Abort, never stop: RtAudio's stop waits for the device to play out its last block, and under
            // JACK only the server's next callback ends that wait, which a server that shuts down or dies
            // at that moment never sends. The owner asks `stillCalling` first, so the server answered a
            // moment ago.
            if (audio_->isStreamRunning()) audio_->abortStream();
        } catch (const RtAudioError&) {
            // A stream that cannot be stopped has already stopped.
        }
    }

    void close() noexcept override
    {
        if (!audio_) return;
        if (lost()) {
            // Never stop or close a stream whose device went away from here: RtAudio waits for a
            // block that will not come. Let it go the way a lost stream goes.
            silence();
            releaseAfterLoss();
            return;
        }
        stop();
        closeStream();
    }

    bool stillCalling() noexcept override
    {
        if (!audio_ || !audio_->isStreamOpen() || serverGone_.load()) return false;
        // Only a running JACK stream is at risk: a server that stopped calling may be dying, and a stop
        // sent to it waits for an answer that never comes. A server that called us a moment ago is there
        // to take the stop.
        if (!jack() || !audio_->isStreamRunning()) return true;
        const std::uint64_t seen = callbacks_.load();
        const auto block = std::chrono::duration<double>(format_.bufferFrames / std::max(format_.sampleRate, 1.0));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1)
                              + std::chrono::duration_cast<std::chrono::steady_clock::duration>(4 * block);
        while (callbacks_.load() == seen) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    bool lost() const noexcept override
    {
        return audio_ && (serverGone_.load() || !audio_->isStreamOpen() || (started_ && !audio_->isStreamRunning()));
    }

    void silence() noexcept override
    {
        silenced_.store(true);
        while (inCallback_.load()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }

    void releaseAfterLoss() noexcept override
    {
        if (!audio_) return;
        // A stream that is still open belongs to a device that went away or stopped calling: closing it
        // may block this thread, never the owner's.
        closeStream();
    }

    // On JACK's thread, as its last step before it ends. Not noexcept, and nothing but an atomic step
    // and a system call, since JACK may cancel the thread at any instruction here.
    void serverWentAway()
    {
        if (serverGone_.exchange(true)) return;
        countedDead_.store(true);
        deadJackStreams.fetch_add(1);
        const std::uint64_t one = 1;
        (void)::write(wake_, &one, sizeof one);
    }

private:
    bool jack() const noexcept { return backend_ == AudioBackend::jack; }

    void closeStream() noexcept
    {
        stopCloser();
        closeRtAudioStream();
        // Only now that the client is closed can no notice of JACK's use the wake-up handle any more.
        closeWake();
        audio_.reset();
        serverGone_.store(false);
    }

    void closeRtAudioStream() noexcept
    {
        std::lock_guard lock(streamMutex_);
        CatchErrors caught;
        try {
            if (audio_->isStreamOpen()) audio_->closeStream();
        } catch (const RtAudioError&) {
        }
        if (countedDead_.exchange(false)) deadJackStreams.fetch_sub(1);
    }

    void startCloser()
    {
        wake_ = ::eventfd(0, EFD_CLOEXEC);
        if (wake_ < 0) throw AudioDeviceError(AudioDeviceError::Case::openFailed, "The audio device could not be opened: out of file handles.");
        closer_ = std::thread([this] {
            std::uint64_t value = 0;
            while (::read(wake_, &value, sizeof value) < 0 && errno == EINTR) {
            }
            // Woken either by the server going away or by the owner closing the stream itself.
            if (!serverGone_.load()) return;
            closeRtAudioStream();
        });
    }

    void stopCloser() noexcept
    {
        if (!closer_.joinable()) return;
        const std::uint64_t one = 1;
        (void)::write(wake_, &one, sizeof one);
        closer_.join();
    }

    void closeWake() noexcept
    {
        if (wake_ < 0) return;
        ::close(wake_);
        wake_ = -1;
    }

    // Not noexcept: a cancel of JACK's process thread must be able to unwind from here (see
    // ThreadCancellation.hpp).
    static int callback(void* outputBuffer, void* inputBuffer, unsigned int frames, double, RtAudioStreamStatus status,
                        void* user)
    {
        const int cancellation = holdThreadCancellation();
        render(outputBuffer, inputBuffer, frames, status, static_cast<RtAudioBackend*>(user));
        releaseThreadCancellation(cancellation);
        return 0;
    }

    static void render(void* outputBuffer, void* inputBuffer, unsigned int frames, RtAudioStreamStatus status,
                       RtAudioBackend* self) noexcept
    {
        const AudioDeviceFormat& format = self->format_;
        self->inCallback_.store(true);
        self->callbacks_.fetch_add(1, std::memory_order_relaxed);
        if (self->silenced_.load()) {
            if (outputBuffer != nullptr) std::memset(outputBuffer, 0, sizeof(float) * frames * static_cast<std::size_t>(format.outputChannels));
            self->inCallback_.store(false);
            return;
        }
        std::array<float*, 2> outputs{};
        std::array<const float*, AudioDeviceProcessor::maximumChannels> inputs{};
        auto* output = static_cast<float*>(outputBuffer);
        const auto* input = static_cast<const float*>(inputBuffer);
        const int outputCount = output != nullptr ? format.outputChannels : 0;
        const int inputCount = input != nullptr ? format.inputChannels : 0;
        for (int channel = 0; channel < outputCount; ++channel) outputs[static_cast<std::size_t>(channel)] = output + static_cast<std::size_t>(channel) * frames;
        for (int channel = 0; channel < inputCount; ++channel) inputs[static_cast<std::size_t>(channel)] = input + static_cast<std::size_t>(channel) * frames;
        self->processor_->process(outputs.data(), outputCount, inputs.data(), inputCount, static_cast<int>(frames),
                                  (status & RTAUDIO_OUTPUT_UNDERFLOW) != 0);
        self->inCallback_.store(false);
    }

    AudioBackend backend_;
    std::unique_ptr<RtAudio> audio_;
    AudioDeviceProcessor* processor_ = nullptr;
    AudioDeviceFormat format_;
    bool started_ = false;
    // Sequentially consistent pair: the callback marks itself busy before it looks at `silenced_`, and
    // `silence` sets `silenced_` before it waits for the busy mark to clear.
    std::atomic<bool> silenced_{false};
    std::atomic<bool> inCallback_{false};
    std::atomic<std::uint64_t> callbacks_{0};
    // Set by JACK's notice that the server went away; the closer thread then closes the stream.
    std::atomic<bool> serverGone_{false};
    std::atomic<bool> countedDead_{false};
    int wake_ = -1;
    std::thread closer_;
    // RtAudio's start, stop and close, from the owner and the closer.
    std::mutex streamMutex_;
};

// Not noexcept, like the audio callback: JACK may cancel its thread here.
void jackServerWentAway(jack_status_t, const char*, void* backend)
{
    static_cast<RtAudioBackend*>(backend)->serverWentAway();
}

} // namespace

std::unique_ptr<AudioDeviceBackend> makeRtAudioBackend(AudioBackend backend)
{
    const RtAudio::Api api = apiFor(backend);
    if (api == RtAudio::UNSPECIFIED || !compiled(api)) {
        throw AudioDeviceError(AudioDeviceError::Case::unavailable, displayName(backend) + " is not available in this build.");
    }
    return std::make_unique<RtAudioBackend>(backend);
}

std::vector<AudioBackend> rtAudioBackends()
{
    std::vector<AudioBackend> backends;
    for (AudioBackend backend : {AudioBackend::jack, AudioBackend::pulseAudio, AudioBackend::alsa}) {
        if (compiled(apiFor(backend))) backends.push_back(backend);
    }
    return backends;
}

std::vector<AudioDeviceInfo> rtAudioDevices(AudioBackend backend)
{
    std::vector<AudioDeviceInfo> devices;
    const RtAudio::Api api = apiFor(backend);
    if (api == RtAudio::UNSPECIFIED || !compiled(api)) return devices;
    try {
        RtAudio audio(api);
        audio.showWarnings(false);
        const unsigned int count = audio.getDeviceCount();
        for (unsigned int id = 0; id < count; ++id) {
            RtAudio::DeviceInfo info = audio.getDeviceInfo(id);
            if (!info.probed) continue;
            AudioDeviceInfo device;
            device.backend = backend;
            device.name = info.name;
            device.outputChannels = static_cast<int>(info.outputChannels);
            device.inputChannels = static_cast<int>(info.inputChannels);
            device.isDefaultOutput = info.isDefaultOutput;
            device.isDefaultInput = info.isDefaultInput;
            for (unsigned int rate : info.sampleRates) device.sampleRates.push_back(rate);
            devices.push_back(std::move(device));
        }
    } catch (const RtAudioError&) {
        // A backend that cannot even be asked has no devices to offer.
    }
    return devices;
}

} // namespace veltrane::detail
