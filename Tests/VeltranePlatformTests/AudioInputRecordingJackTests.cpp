#include "AudioFileTestSupport.hpp"
#include "JackTestServer.hpp"
#include "JackToneClient.hpp"
#include "ToneAnalysis.hpp"

#include "VeltranePlatform/Audio/AudioInputRecording.hpp"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <thread>
#include <vector>

namespace veltrane {
namespace {

#if VELTRANE_HAVE_JACK

using namespace std::chrono_literals;

constexpr int serverRate = 48000;
constexpr int serverPeriod = 256;
constexpr double toneFrequency = 1000;
constexpr float toneAmplitude = 0.5f;

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

AudioDeviceSettings jackInput(const std::string& clientName)
{
    AudioDeviceSettings settings;
    settings.backend = AudioBackend::jack;
    settings.clientName = clientName;
    settings.sampleRate = serverRate;
    settings.bufferFrames = serverPeriod;
    return settings;
}

struct Recorded {
    int channels = 0;
    int sampleRate = 0;
    std::vector<float> interleaved;
    std::size_t frames() const { return channels > 0 ? interleaved.size() / static_cast<std::size_t>(channels) : 0; }
    float at(std::size_t frame, int channel) const { return interleaved[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)]; }
};

// Read back by libsndfile itself, not by our own reader.
Recorded readBack(const std::filesystem::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    Recorded recorded{info.channels, info.samplerate, std::vector<float>(static_cast<std::size_t>(info.frames * info.channels))};
    recorded.interleaved.resize(static_cast<std::size_t>(sf_readf_float(file, recorded.interleaved.data(), info.frames) * info.channels));
    sf_close(file);
    return recorded;
}

// The median amplitude at `frequency` over `count` frames of one channel from `first` on.
double amplitudeAt(const Recorded& recorded, int channel, std::size_t first, std::size_t count, double frequency)
{
    return testing::medianToneAmplitude(recorded.interleaved.data() + first * static_cast<std::size_t>(recorded.channels) + static_cast<std::size_t>(channel),
                                     count, static_cast<std::size_t>(recorded.channels), frequency, recorded.sampleRate);
}

#define START_JACK_SERVER(server)                                                 \
    std::string whyNot;                                                           \
    auto server = testing::JackTestServer::start(serverRate, serverPeriod, whyNot); \
    if (!server) GTEST_SKIP() << "needs a JACK server: " << whyNot

// A second of a tone that another JACK client plays into our input ends up in the file: on both
// channels, at the server's rate, at its frequency and level.
TEST(AudioInputRecordingJack, RecordsAToneFromAnotherClient)
{
    START_JACK_SERVER(server);
    testing::TemporaryFolder folder;
    const auto path = folder / "tone.caf";
    AudioInputRecording take;
    const AudioDeviceFormat input = take.open(jackInput("veltrane-recorder"));
    EXPECT_EQ(input.backend, AudioBackend::jack);
    EXPECT_EQ(input.inputChannels, 2);
    EXPECT_EQ(input.sampleRate, serverRate);
    take.start(path);

    testing::JackToneClient tone(toneFrequency, toneAmplitude);
    ASSERT_TRUE(tone.isOpen());
    ASSERT_EQ(tone.connectTo("veltrane-recorder"), 2);
    const long connectedAt = tone.playedFrames();
    ASSERT_TRUE(waitFor([&] { return tone.playedFrames() > connectedAt + serverRate * 5 / 4; }, 10000ms));
    take.finish();

    const Recorded recorded = readBack(path);
    ASSERT_EQ(recorded.channels, 2);
    EXPECT_EQ(recorded.sampleRate, serverRate);
    std::size_t first = 0;
    while (first < recorded.frames() && std::abs(recorded.at(first, 0)) < 0.05f) ++first;
    ASSERT_GE(recorded.frames(), first + serverRate) << "a whole second of the tone was recorded";
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_NEAR(amplitudeAt(recorded, channel, first, serverRate, toneFrequency), toneAmplitude, 0.02) << "channel " << channel;
        EXPECT_LT(amplitudeAt(recorded, channel, first, serverRate, 1.5 * toneFrequency), 0.01) << "channel " << channel;
    }
    EXPECT_EQ(take.droppedFrames(), 0);
}

// A server that goes away during a take ends the audio there: finishing neither hangs nor loses what
// was recorded before.
TEST(AudioInputRecordingJack, ServerShutdownDuringATakeKeepsWhatCameBefore)
{
    START_JACK_SERVER(server);
    testing::TemporaryFolder folder;
    const auto path = folder / "cut.caf";
    AudioInputRecording take;
    take.open(jackInput("veltrane-recorder-cut"));
    take.start(path);
    testing::JackToneClient tone(toneFrequency, toneAmplitude);
    ASSERT_TRUE(tone.isOpen());
    ASSERT_EQ(tone.connectTo("veltrane-recorder-cut"), 2);
    const long connectedAt = tone.playedFrames();
    ASSERT_TRUE(waitFor([&] { return tone.playedFrames() > connectedAt + serverRate / 2; }, 10000ms));
    server->stop();
    std::this_thread::sleep_for(200ms);

    const auto before = std::chrono::steady_clock::now();
    take.finish();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    const Recorded recorded = readBack(path);
    ASSERT_EQ(recorded.channels, 2);
    EXPECT_GE(recorded.frames(), static_cast<std::size_t>(serverRate / 2));
}

#endif

} // namespace
} // namespace veltrane
