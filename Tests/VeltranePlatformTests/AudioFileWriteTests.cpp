#include "AudioFileTestSupport.hpp"

#include "VeltranePlatform/Files/AtomicFileWriter.hpp"
#include "VeltranePlatform/Files/AudioFile.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

bool containsText(const std::vector<std::uint8_t>& bytes, std::string_view text)
{
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

} // namespace

TEST(AudioFileWrite, WritesFloatWAVWithoutAPeakChunkThatLibsndfileReadsBack)
{
    TemporaryFolder folder;
    const auto signal = testSignal(10000, 48000);
    AudioFile::writeFloatWAV(folder / "mix.wav", signal);

    SF_INFO info{};
    SNDFILE* file = sf_open((folder / "mix.wav").c_str(), SFM_READ, &info);
    ASSERT_TRUE(file) << sf_strerror(nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 48000);
    ASSERT_EQ(info.frames, 10000);
    std::vector<float> interleaved(20000);
    EXPECT_EQ(sf_readf_float(file, interleaved.data(), 10000), 10000);
    sf_close(file);
    for (std::size_t i = 0; i < 10000; ++i) {
        ASSERT_EQ(interleaved[2 * i], signal.channels[0][i]);
        ASSERT_EQ(interleaved[2 * i + 1], signal.channels[1][i]);
    }

    EXPECT_FALSE(containsText(fileBytes(folder / "mix.wav"), "PEAK"));
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"mix.wav"}); // no temporary left behind
}

TEST(AudioFileWrite, ReplacesAnExistingFileWholeAndKeepsItsPermissions)
{
    TemporaryFolder folder;
    const auto path = folder / "take.wav";
    writeBytes(path, std::vector<std::uint8_t>(100000, 7));
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    AudioFile::writeFloatWAV(path, testSignal(300, 44100, 1));
    EXPECT_EQ(AudioFile::read(path), testSignal(300, 44100, 1));
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"take.wav"});
}

TEST(AudioFileWrite, AFailedWriteLeavesNothingBehindAndTheOldFileUntouched)
{
    TemporaryFolder folder;
    const auto existing = folder / "keep.wav";
    writeBytes(existing, {1, 2, 3});

    struct Case { std::filesystem::path path; AudioFileBuffer buffer; FileWriteError::Case expected; };
    const Case cases[] = {
        {folder / "missing-folder" / "out.wav", testSignal(10), FileWriteError::Case::folderMissing},
        {existing, AudioFileBuffer{.sampleRate = 44100, .channels = {}}, FileWriteError::Case::writeFailed},
        {existing, testSignal(10, 0), FileWriteError::Case::writeFailed},
        {existing, testSignal(10, std::nan("")), FileWriteError::Case::writeFailed},
    };
    for (const auto& c : cases) {
        try {
            AudioFile::writeFloatWAV(c.path, c.buffer);
            ADD_FAILURE() << c.path << " was written";
        } catch (const FileWriteError& error) {
            EXPECT_EQ(error.which(), c.expected) << error.what();
        }
    }
    EXPECT_EQ(fileBytes(existing), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"keep.wav"});
}
