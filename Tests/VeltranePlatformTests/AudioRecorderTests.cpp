#include "AudioFileTestSupport.hpp"
#include "JackTestServer.hpp"
#include "JackToneClient.hpp"
#include "ToneAnalysis.hpp"

#include "VeltranePlatform/Audio/AudioRecorder.hpp"
#include "VeltranePlatform/Audio/RecordingError.hpp"

#include <gtest/gtest.h>

#include <sndfile.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <regex>
#include <thread>
#include <vector>

namespace veltrane {
namespace {

using namespace std::chrono_literals;

// A private folder standing in for the application's data folder, removed afterwards.
class DataFolder {
public:
    std::filesystem::path path() const { return folder_ / "Veltrane"; }

private:
    testing::TemporaryFolder folder_;
};

AudioDeviceSettings nullInput(int channels = 2, double sampleRate = 48000)
{
    AudioDeviceSettings settings;
    settings.backend = AudioBackend::null;
    settings.inputChannels = channels;
    settings.sampleRate = sampleRate;
    return settings;
}

SF_INFO infoOf(const std::filesystem::path& path)
{
    SF_INFO info{};
    if (SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info)) sf_close(file);
    return info;
}

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::is_directory(folder)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path());
    return files;
}

// The name is "Recording-", a random identifier in its canonical upper-case form, and ".caf".
bool isRecordingName(const std::string& name)
{
    static const std::regex form("Recording-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\.caf");
    return std::regex_match(name, form);
}

TEST(AudioRecorder, EachTakeIsANewCafFileInTheSamplesFolder)
{
    DataFolder data;
    AudioRecorder recorder(data.path(), nullInput());
    EXPECT_FALSE(recorder.stop()) << "no take yet";
    EXPECT_FALSE(std::filesystem::exists(data.path())) << "nothing is made before a take";

    recorder.start();
    EXPECT_TRUE(recorder.isRecording());
    recorder.start(); // a second press while recording changes nothing
    std::this_thread::sleep_for(100ms);
    const auto first = recorder.stop();
    EXPECT_FALSE(recorder.isRecording());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->parent_path(), data.path() / "Samples");
    EXPECT_TRUE(isRecordingName(first->filename().string())) << *first;
    EXPECT_EQ(recorder.stop(), first) << "stopping again gives the same take";

    recorder.start();
    std::this_thread::sleep_for(100ms);
    const auto second = recorder.stop();
    ASSERT_TRUE(second);
    EXPECT_NE(*second, *first);
    EXPECT_TRUE(isRecordingName(second->filename().string())) << *second;
    EXPECT_EQ(filesIn(data.path() / "Samples").size(), 2u);
    for (const auto& take : {*first, *second}) {
        const SF_INFO info = infoOf(take);
        EXPECT_EQ(info.format, SF_FORMAT_CAF | SF_FORMAT_FLOAT);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.samplerate, 48000);
        EXPECT_GT(info.frames, 0);
    }
}

TEST(AudioRecorder, TheFileHasTheInputsChannelsAndRate)
{
    for (const auto& [channels, rate] : {std::pair{1, 44100.0}, std::pair{2, 96000.0}}) {
        DataFolder data;
        AudioRecorder recorder(data.path(), nullInput(channels, rate));
        recorder.start();
        std::this_thread::sleep_for(50ms);
        const auto take = recorder.stop();
        ASSERT_TRUE(take);
        const SF_INFO info = infoOf(*take);
        EXPECT_EQ(info.channels, channels);
        EXPECT_EQ(info.samplerate, static_cast<int>(rate));
    }
}

// A failed start leaves the recorder as it was: not recording, the previous take still its latest, and
// no new file anywhere.
TEST(AudioRecorder, AFolderThatCannotBeMadeFailsTheStart)
{
    DataFolder data;
    AudioRecorder recorder(data.path(), nullInput());
    recorder.start();
    const auto earlier = recorder.stop();
    ASSERT_TRUE(earlier);

    std::filesystem::rename(data.path() / "Samples", data.path() / "Kept");
    std::ofstream(data.path() / "Samples") << "a file where the folder belongs";
    EXPECT_THROW(recorder.start(), std::filesystem::filesystem_error);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorder.url(), std::optional(*earlier));
    EXPECT_EQ(recorder.stop(), std::optional(*earlier));
    EXPECT_EQ(filesIn(data.path()).size(), 2u);

    AudioRecorder nowhere("", nullInput());
    EXPECT_THROW(nowhere.start(), std::filesystem::filesystem_error) << "no data folder: no guessing one";
    EXPECT_FALSE(nowhere.url());
}

#if VELTRANE_HAVE_JACK

// Without a JACK server there is no input: the user is told so, and nothing runs or is made.
TEST(AudioRecorderJack, NoInputIsReportedAsUnavailable)
{
    ::setenv("JACK_DEFAULT_SERVER", ("veltrane-no-server-" + std::to_string(::getpid())).c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    DataFolder data;
    AudioDeviceSettings settings;
    settings.backend = AudioBackend::jack;
    AudioRecorder recorder(data.path(), settings);
    try {
        recorder.start();
        FAIL() << "recorded without an input";
    } catch (const RecordingError& error) {
        EXPECT_EQ(error.errorCase(), RecordingError::Case::unavailable);
        EXPECT_STREQ(error.what(), "No audio input is available.");
    }
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.stop());
    EXPECT_FALSE(std::filesystem::exists(data.path()));
}

// A second of a tone another JACK client plays into our input, found again in the take by libsndfile.
TEST(AudioRecorderJack, RecordsAToneFromAnotherClient)
{
    constexpr int rate = 48000;
    std::string whyNot;
    auto server = testing::JackTestServer::start(rate, 256, whyNot);
    if (!server) GTEST_SKIP() << "needs a JACK server: " << whyNot;
    DataFolder data;
    AudioDeviceSettings settings;
    settings.backend = AudioBackend::jack;
    settings.clientName = "veltrane-sampler";
    AudioRecorder recorder(data.path(), settings);
    recorder.start();
    testing::JackToneClient tone(440, 0.25f);
    ASSERT_TRUE(tone.isOpen());
    ASSERT_EQ(tone.connectTo("veltrane-sampler"), 2);
    const long connectedAt = tone.playedFrames();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (tone.playedFrames() < connectedAt + rate * 5 / 4 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
    const auto take = recorder.stop();
    ASSERT_TRUE(take);

    SF_INFO info{};
    SNDFILE* file = sf_open(take->c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, rate);
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * 2));
    interleaved.resize(static_cast<std::size_t>(sf_readf_float(file, interleaved.data(), info.frames) * 2));
    sf_close(file);
    std::vector<float> left;
    for (std::size_t i = 0; i < interleaved.size(); i += 2) left.push_back(interleaved[i]);
    std::size_t first = 0;
    while (first < left.size() && std::abs(left[first]) < 0.02f) ++first;
    ASSERT_GE(left.size(), first + rate) << "a whole second of the tone";
    EXPECT_NEAR(testing::medianToneAmplitude(left.data() + first, rate, 1, 440, rate), 0.25, 0.01);
    EXPECT_LT(testing::medianToneAmplitude(left.data() + first, rate, 1, 660, rate), 0.01);
}

#endif

} // namespace
} // namespace veltrane
