#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using namespace veltrane;

TEST(AudioBuffer, BothFormsRefuseANegativeLengthOrARateThatIsNotPositive)
{
    EXPECT_THROW(AudioBuffer(-1, 44100), std::invalid_argument);
    EXPECT_THROW(AudioBuffer(-1, 44100, AudioBuffer::uninitialized), std::invalid_argument);
    EXPECT_THROW(AudioBuffer(16, 0), std::invalid_argument);
    EXPECT_THROW(AudioBuffer(16, -44100, AudioBuffer::uninitialized), std::invalid_argument);
    EXPECT_THROW(AudioBuffer(16, std::nan(""), AudioBuffer::uninitialized), std::invalid_argument);
}

TEST(AudioBuffer, ABufferForAWriterHoldsWhatIsWrittenInTwoSeparateChannels)
{
    const AudioBuffer zeroed(300, 48000);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(zeroed.channel(0)[i] + zeroed.channel(1)[i], 0.0f);

    AudioBuffer written(300, 48000, AudioBuffer::uninitialized);
    EXPECT_EQ(written.frameCapacity(), 300);
    EXPECT_EQ(written.frameLength(), 300);
    EXPECT_EQ(written.sampleRate(), 48000);
    for (int i = 0; i < 300; ++i) {
        written.channel(0)[i] = float(i);
        written.channel(1)[i] = -float(i);
    }
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(written.channel(0)[i], float(i));
        ASSERT_EQ(written.channel(1)[i], -float(i));
    }
    // An empty buffer still has a frame of storage behind each channel pointer.
    AudioBuffer empty(0, 44100, AudioBuffer::uninitialized);
    EXPECT_EQ(empty.frameLength(), 0);
    EXPECT_NE(empty.channel(0), nullptr);
}
