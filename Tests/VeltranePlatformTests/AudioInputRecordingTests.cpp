#include "AudioFileTestSupport.hpp"

#include "VeltranePlatform/Audio/AudioInputRecording.hpp"
#include "VeltranePlatform/Files/AudioFile.hpp"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <chrono>
#include <thread>

namespace veltrane {
namespace {

using namespace std::chrono_literals;

AudioDeviceSettings nullInput(int channels, double sampleRate = 44100)
{
    AudioDeviceSettings settings;
    settings.backend = AudioBackend::null;
    settings.inputChannels = channels;
    settings.sampleRate = sampleRate;
    settings.bufferFrames = 256;
    return settings;
}

struct FileFacts {
    int format = 0;
    int channels = 0;
    int sampleRate = 0;
    sf_count_t frames = 0;
};

FileFacts factsOf(const std::filesystem::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    sf_close(file);
    return {info.format, info.channels, info.samplerate, info.frames};
}

// The null device delivers silence at real-time pace: a take of it is a CAF file of the input's own
// channel count and rate holding about as many frames as the take lasted.
TEST(AudioInputRecording, WritesTheInputFormatToACafFile)
{
    testing::TemporaryFolder folder;
    for (const auto& [channels, rate] : {std::pair{1, 44100.0}, std::pair{2, 48000.0}}) {
        const auto path = folder / ("take-" + std::to_string(channels) + ".caf");
        AudioInputRecording take;
        const AudioDeviceFormat input = take.open(nullInput(channels, rate));
        EXPECT_EQ(input.inputChannels, channels);
        EXPECT_EQ(input.outputChannels, 0);
        EXPECT_FALSE(std::filesystem::exists(path)) << "opening the input makes no file";
        take.start(path);
        EXPECT_TRUE(take.isRecording());
        std::this_thread::sleep_for(300ms);
        take.finish();
        EXPECT_FALSE(take.isRecording());
        take.finish(); // twice is fine

        const FileFacts facts = factsOf(path);
        EXPECT_EQ(facts.format, SF_FORMAT_CAF | SF_FORMAT_FLOAT);
        EXPECT_EQ(facts.channels, channels);
        EXPECT_EQ(facts.sampleRate, static_cast<int>(rate));
        // Whole blocks of the device's 256 frames, about 0.3 s of them.
        EXPECT_EQ(facts.frames % 256, 0);
        EXPECT_GT(facts.frames, rate * 0.15);
        EXPECT_LT(facts.frames, rate * 0.9);
        EXPECT_EQ(take.droppedFrames(), 0);
        const auto audio = AudioFile::read(path);
        ASSERT_EQ(audio.channels.size(), static_cast<std::size_t>(channels));
        for (float sample : audio.channels[0]) ASSERT_EQ(sample, 0.0f);
    }
}

TEST(AudioInputRecording, AFileThatCannotBeMadeLeavesTheInputStopped)
{
    testing::TemporaryFolder folder;
    AudioInputRecording take;
    take.open(nullInput(2));
    try {
        take.start(folder / "no-such-folder" / "take.caf");
        FAIL() << "the file cannot be made";
    } catch (const AudioFileError& error) {
        EXPECT_EQ(error.which(), AudioFileError::Case::writeFailed);
        EXPECT_NE(std::string(error.what()).find("take.caf"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(take.isRecording());
    // The same input can record once a file can be made.
    take.start(folder / "take.caf");
    std::this_thread::sleep_for(50ms);
    take.finish();
    EXPECT_EQ(factsOf(folder / "take.caf").channels, 2);
}

TEST(AudioInputRecording, StartingWithoutAnOpenInputFails)
{
    testing::TemporaryFolder folder;
    AudioInputRecording take;
    EXPECT_THROW(take.start(folder / "take.caf"), AudioDeviceError);
    EXPECT_FALSE(std::filesystem::exists(folder / "take.caf"));
}

} // namespace
} // namespace veltrane
