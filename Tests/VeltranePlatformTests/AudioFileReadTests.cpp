#include "AudioFileTestSupport.hpp"

#include "VeltranePlatform/Files/AudioFile.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

struct Format {
    const char* name;
    const char* extension;
    int format;
    double tolerance; // the quantisation of the format
};

const Format kFormats[] = {
    {"WAV 16-bit", "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2.0 / 32768},
    {"WAV float", "wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0},
    {"AIFF 24-bit", "aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 2.0 / 8388608},
    {"CAF 16-bit", "caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, 2.0 / 32768},
    {"FLAC 16-bit", "flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2.0 / 32768},
};

AudioFileError::Case caseOfReading(const std::filesystem::path& path)
{
    try {
        AudioFile::read(path);
    } catch (const AudioFileError& error) {
        EXPECT_NE(std::string(error.what()), "");
        return error.which();
    }
    ADD_FAILURE() << path << " was read";
    return AudioFileError::Case::writeFailed;
}

AudioFileError::Case caseOfDecoding(const std::vector<std::uint8_t>& bytes)
{
    try {
        AudioFile::read(std::span<const std::uint8_t>(bytes));
    } catch (const AudioFileError& error) {
        return error.which();
    }
    ADD_FAILURE() << bytes.size() << " bytes were decoded";
    return AudioFileError::Case::writeFailed;
}

} // namespace

TEST(AudioFileRead, ReadsEveryFormatFromAFileAndFromMemory)
{
    TemporaryFolder folder;
    const auto signal = testSignal(3001, 48000);
    for (const auto& format : kFormats) {
        const auto path = folder / (std::string("signal.") + format.extension);
        writeWithLibsndfile(path, signal, format.format);

        const auto fromFile = AudioFile::read(path);
        const auto bytes = fileBytes(path);
        const auto fromMemory = AudioFile::read(std::span<const std::uint8_t>(bytes));
        for (const auto* read : {&fromFile, &fromMemory}) {
            ASSERT_EQ(read->channelCount(), 2) << format.name;
            ASSERT_EQ(read->frameCount(), 3001) << format.name;
            EXPECT_EQ(read->sampleRate, 48000) << format.name;
            EXPECT_LE(largestDifference(*read, signal), format.tolerance) << format.name;
        }
        EXPECT_EQ(fromFile, fromMemory) << format.name;
    }
}

TEST(AudioFileRead, ReadsMonoAndEmptyFiles)
{
    TemporaryFolder folder;
    writeWithLibsndfile(folder / "mono.wav", testSignal(500, 22050, 1), SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    const auto mono = AudioFile::read(folder / "mono.wav");
    EXPECT_EQ(mono.channelCount(), 1);
    EXPECT_EQ(mono, testSignal(500, 22050, 1));

    writeWithLibsndfile(folder / "empty.wav", testSignal(0), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const auto empty = AudioFile::read(folder / "empty.wav");
    EXPECT_EQ(empty.frameCount(), 0);
    EXPECT_EQ(empty.channelCount(), 2);
}

TEST(AudioFileRead, KeepsWhatPrecedesAnEndCutShort)
{
    TemporaryFolder folder;
    writeWithLibsndfile(folder / "whole.wav", testSignal(4000), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    auto bytes = fileBytes(folder / "whole.wav");
    bytes.resize(bytes.size() / 2);
    const auto partial = AudioFile::read(std::span<const std::uint8_t>(bytes));
    EXPECT_GT(partial.frameCount(), 1000);
    EXPECT_LT(partial.frameCount(), 4000);
    const auto whole = testSignal(4000);
    for (std::size_t i = 0; i < static_cast<std::size_t>(partial.frameCount()); ++i) {
        ASSERT_NEAR(partial.channels[0][i], whole.channels[0][i], 2.0 / 32768);
    }
}

TEST(AudioFileRead, ReportsWhyAPathCannotBeRead)
{
    TemporaryFolder folder;
    std::filesystem::create_directory(folder / "folder.wav");
    writeBytes(folder / "notes.wav", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
    writeBytes(folder / "empty.wav", {});
    ASSERT_EQ(::mkfifo((folder / "pipe.wav").c_str(), 0600), 0);
    std::filesystem::create_symlink(folder / "nowhere.wav", folder / "dangling.wav");

    struct Case { const char* name; AudioFileError::Case expected; };
    const Case cases[] = {
        {"missing.wav", AudioFileError::Case::notFound},
        {"dangling.wav", AudioFileError::Case::notFound},
        {"folder.wav", AudioFileError::Case::notAFile},
        {"pipe.wav", AudioFileError::Case::notAFile}, // opening it would wait for a writer for ever
        {"notes.wav", AudioFileError::Case::notAudio},
        {"empty.wav", AudioFileError::Case::notAudio},
    };
    for (const auto& c : cases) EXPECT_EQ(caseOfReading(folder / c.name), c.expected) << c.name;
    EXPECT_EQ(caseOfReading("/dev/zero"), AudioFileError::Case::notAFile);
}

TEST(AudioFileRead, ReportsAFileItMayNotRead)
{
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
    TemporaryFolder folder;
    writeWithLibsndfile(folder / "locked.wav", testSignal(100), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::filesystem::permissions(folder / "locked.wav", std::filesystem::perms::none);
    EXPECT_EQ(caseOfReading(folder / "locked.wav"), AudioFileError::Case::unreadable);
}

TEST(AudioFileRead, RejectsBytesThatAreNotAudio)
{
    TemporaryFolder folder;
    writeWithLibsndfile(folder / "real.wav", testSignal(100), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const auto real = fileBytes(folder / "real.wav");
    std::vector<std::uint8_t> random(4096);
    for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);

    const std::vector<std::vector<std::uint8_t>> cases{
        {},
        {'R', 'I', 'F', 'F'},
        std::vector<std::uint8_t>(real.begin(), real.begin() + 20), // a header cut short
        random,
    };
    for (const auto& bytes : cases) EXPECT_EQ(caseOfDecoding(bytes), AudioFileError::Case::notAudio) << bytes.size();
}

TEST(AudioFileRead, EveryKeptFuzzInputEndsInAudioOrAnAudioFileError)
{
    // Seeds and findings of the sample fuzzers, read from memory and from a path.
    const std::filesystem::path fixtures = std::string(VELTRANE_FIXTURES_DIR) + "/Fuzz/SampleFile";
    TemporaryFolder folder;
    int inputs = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        for (const auto& entry : std::filesystem::directory_iterator(fixtures / kind)) {
            SCOPED_TRACE(entry.path().filename().string());
            ++inputs;
            const auto bytes = fileBytes(entry.path());
            std::filesystem::copy_file(entry.path(), folder / "sample", std::filesystem::copy_options::overwrite_existing);
            for (const bool fromPath : {false, true}) {
                try {
                    const auto audio = fromPath ? AudioFile::read(folder / "sample") : AudioFile::read(bytes);
                    EXPECT_GE(audio.channelCount(), 1);
                    EXPECT_GT(audio.sampleRate, 0);
                } catch (const AudioFileError&) {
                }
            }
        }
    }
    EXPECT_GE(inputs, 10);
}

TEST(AudioFileRead, AFileThatDecodesToMoreThanTheLimitIsRefusedBeforeItsAudioIsRead)
{
    TemporaryFolder folder;
    // 16-bit mono: 600 MiB of file decode to 1.2 GiB of floats.
    writeSparseWAV(folder / "huge.wav", 600u << 20);
    try {
        AudioFile::read(folder / "huge.wav");
        ADD_FAILURE() << "a sample over the limit was read";
    } catch (const AudioFileError& error) {
        EXPECT_EQ(error.which(), AudioFileError::Case::tooLarge);
        EXPECT_EQ(std::string(error.what()), "The file \u201Chuge.wav\u201D is too large to load as a sample: it decodes "
                                             "to 1200 MB, more than the 1024 MB a sample may take.");
    }
    // Well below the limit the same kind of file reads.
    writeSparseWAV(folder / "small.wav", 4000);
    EXPECT_EQ(AudioFile::read(folder / "small.wav").frameCount(), 2000);
}
