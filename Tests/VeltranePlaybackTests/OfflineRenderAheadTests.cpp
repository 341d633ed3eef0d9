// The export's notes rendered ahead on worker threads and taken back in list order.

#include "VeltranePlayback/OfflineRender/NoteRenderAhead.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

using namespace veltrane;

namespace {

// A note of `frames` frames whose every sample is its index, so a buffer tells which note it is.
AudioBufferRef numbered(std::size_t index, std::int64_t frames = 64)
{
    auto buffer = std::make_shared<AudioBuffer>(frames, 44100);
    for (std::int64_t i = 0; i < frames; ++i) buffer->channel(0)[i] = buffer->channel(1)[i] = float(index);
    return buffer;
}

} // namespace

TEST(NoteRenderAhead, EveryNoteComesBackInOrderAtAnyNumberOfWorkers)
{
    for (const int workers : {0, 1, 3, 8}) {
        std::atomic<int> renders = 0;
        NoteRenderAhead ahead(500, [&](std::size_t index) -> AudioBufferRef {
            ++renders;
            return index % 7 == 3 ? nullptr : numbered(index);
        });
        ahead.start(workers);
        for (std::size_t i = 0; i < 500; ++i) {
            // Every other note is never asked for, as a note on a muted track.
            if (i % 2 == 1) continue;
            const AudioBufferRef buffer = ahead.take(i);
            if (i % 7 == 3) {
                EXPECT_EQ(buffer, nullptr);
            } else {
                ASSERT_NE(buffer, nullptr) << i;
                EXPECT_EQ(buffer->channel(1)[63], float(i)) << workers << " workers";
            }
        }
        // Without workers only the notes asked for are rendered.
        if (workers == 0) {
            EXPECT_EQ(renders, 250);
        }
    }
}

TEST(NoteRenderAhead, AFailedNoteThrowsWhenItsTurnComesAndTheNotesBeforeItArrive)
{
    for (const int workers : {0, 4}) {
        NoteRenderAhead ahead(100, [](std::size_t index) -> AudioBufferRef {
            if (index == 40 || index == 70) throw std::runtime_error("note " + std::to_string(index));
            return numbered(index);
        });
        ahead.start(workers);
        for (std::size_t i = 0; i < 40; ++i) ASSERT_NE(ahead.take(i), nullptr);
        try {
            ahead.take(40);
            ADD_FAILURE() << "note 40 did not throw";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), "note 40") << workers << " workers";
        }
        // Leaving with notes still rendered ahead and a failure waiting neither hangs nor leaks.
    }
}

TEST(NoteRenderAhead, WorkersStopTakingNotesOnceTheBufferedBytesReachTheBudget)
{
    // Each note holds 64 frames × 2 channels × 4 bytes = 512 bytes; the budget holds four.
    std::atomic<std::size_t> highest = 0;
    NoteRenderAhead ahead(
        1000,
        [&](std::size_t index) {
            std::size_t seen = highest.load();
            while (index > seen && !highest.compare_exchange_weak(seen, index)) {
            }
            return numbered(index);
        },
        4 * 512);
    ahead.start(4);
    ASSERT_NE(ahead.take(0), nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Four buffers wait, and each of four workers may have begun one note more before seeing the budget.
    EXPECT_LE(highest.load(), 9u);
    for (std::size_t i = 1; i < 1000; ++i) ASSERT_EQ(ahead.take(i)->channel(0)[0], float(i));
}
