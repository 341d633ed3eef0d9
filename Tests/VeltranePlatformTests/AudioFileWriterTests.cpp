#include "AudioFileTestSupport.hpp"

#include "VeltranePlatform/Files/AudioFile.hpp"
#include "VeltranePlatform/Files/AudioFileWriter.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

// Streams `signal` in uneven blocks, the way a render appends one block after another.
void appendInBlocks(AudioFileWriter& writer, const AudioFileBuffer& signal, std::int64_t blockFrames)
{
    for (std::int64_t start = 0; start < signal.frameCount(); start += blockFrames) {
        const float* channels[2] = {signal.channels[0].data() + start, signal.channels[1].data() + start};
        writer.append(channels, std::min(blockFrames, signal.frameCount() - start));
    }
}

} // namespace

TEST(AudioFileWriter, BlocksAppendedInTurnReadBackAsOneFileWithTheSameBytesEachTime)
{
    TemporaryFolder folder;
    const auto signal = testSignal(10000, 44100);
    for (const char* name : {"a.wav", "b.wav"}) {
        AudioFileWriter writer(folder / name, 44100, 2);
        appendInBlocks(writer, signal, 256 + 7); // crosses the writer's own chunk size unevenly
        EXPECT_EQ(writer.framesWritten(), 10000);
        writer.commit();
    }
    EXPECT_EQ(AudioFile::read(folder / "a.wav"), signal);
    EXPECT_EQ(fileBytes(folder / "a.wav"), fileBytes(folder / "b.wav"));
}

TEST(AudioFileWriter, AWriterDroppedWithoutCommitLeavesTheOldFileAndNoTemporaryFile)
{
    TemporaryFolder folder;
    const auto existing = folder / "mix.wav";
    writeBytes(existing, {1, 2, 3});
    {
        AudioFileWriter writer(existing, 44100, 2);
        appendInBlocks(writer, testSignal(5000), 256);
        EXPECT_EQ(namesIn(folder.path()).size(), 1u); // the temporary file has no name until the commit
    }
    EXPECT_EQ(fileBytes(existing), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"mix.wav"});
}

TEST(AudioFileWriter, AFolderThatCannotBeWrittenFailsBeforeAnyAudio)
{
    TemporaryFolder folder;
    try {
        AudioFileWriter writer(folder / "missing" / "mix.wav", 44100, 2);
        ADD_FAILURE() << "a writer was made in a missing folder";
    } catch (const FileWriteError& error) {
        EXPECT_EQ(error.which(), FileWriteError::Case::folderMissing);
        EXPECT_NE(std::string(error.what()).find("\u201Cmix.wav\u201D"), std::string::npos) << error.what();
    }
}
