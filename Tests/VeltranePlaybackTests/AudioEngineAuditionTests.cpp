#include "AudioEngineTestSupport.hpp"

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltranePlayback/Voices/LiveNoteRendering.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace veltrane {
namespace {

using testing::engineRate;
using testing::noteCell;

Cell withEffect(Cell cell, EffectType type, std::uint8_t value, int slot = 0)
{
    cell.effects[static_cast<std::size_t>(slot)] = Effect{.type = type, .value = value};
    return cell;
}

/// The largest difference between `capture` from `from` on and the sum of `buffers`.
double differenceFromSum(const testing::Capture& capture, std::int64_t from, const std::vector<std::shared_ptr<AudioBuffer>>& buffers)
{
    double largest = 0;
    for (std::int64_t i = from; i < capture.size(); ++i) {
        double left = 0;
        double right = 0;
        for (const auto& buffer : buffers) {
            if (i - from < buffer->frameLength()) {
                left += buffer->channel(0)[i - from];
                right += buffer->channel(1)[i - from];
            }
        }
        largest = std::max({largest, std::abs(left - capture.left[static_cast<std::size_t>(i)]),
                            std::abs(right - capture.right[static_cast<std::size_t>(i)])});
    }
    return largest;
}

struct AudioEngineAudition : ::testing::Test {
    AudioEngine engine{testing::manualEngine()};
    Project project = testing::sequencerProject(4, 2);
    const Instrument& organ() const { return project.instruments[0]; }

    void SetUp() override
    {
        engine.start();
        engine.apply(project);
    }
};

TEST_F(AudioEngineAudition, CellsThatCannotSoundStaySilentAndLeaveTheLastNote)
{
    struct Case {
        const char* name;
        Cell cell;
        int track;
    };
    const Case cases[] = {
        {"no instrument", Cell{.note = NotePitch{60}}, 0},
        {"note-off", Cell{.note = NoteOff{}, .instrument = 0}, 0},
        {"tie", Cell{.note = NoteTie{}, .instrument = 0}, 0},
        {"instrument out of range", noteCell(60, 3), 0},
        {"strip out of range", noteCell(60), 32},
        {"chance that never plays", withEffect(noteCell(60), EffectType::chance, 0), 1},
    };
    for (const auto& c : cases) {
        engine.trigger(c.cell, c.track, project.instruments, 0.35);
        EXPECT_EQ(testing::renderEngine(engine, 4096).peak(0, 4096), 0.0f) << c.name;
        if (c.track < AudioEngine::trackCount) {
            EXPECT_FALSE(testing::probe(engine).auditionRoot(c.track)) << c.name;
        }
    }
}

TEST_F(AudioEngineAudition, AChordSoundsItsThreeNotesAtOnceWithTheVibratoOnTheRootAlone)
{
    const Cell cell = withEffect(withEffect(noteCell(60), EffectType::chord, 0x47), EffectType::vibrato, 0x54, 1);
    Cell quiet = cell;
    quiet.volume = 32;
    engine.trigger(quiet, 1, project.instruments, 0.1);
    const auto capture = testing::renderEngine(engine, 9600);

    const EffectParameters effects = interpret(cell.effects);
    const auto render = [&](int note, const EffectParameters& e) {
        return renderedSynth(note, Waveform::square, 0.1, organ(), 0.5, 0, e, std::nullopt, 0, 16, engineRate);
    };
    EXPECT_LT(differenceFromSum(capture, 0, {render(60, effects), render(64, {}), render(67, {})}), 1e-6);
    EXPECT_EQ(testing::probe(engine).auditionRoot(1), 60);
}

TEST_F(AudioEngineAudition, TheNextAuditionOnAStripGlidesFromTheLastOne)
{
    engine.trigger(noteCell(48), 0, project.instruments, 0.1);
    testing::renderEngine(engine, 256);
    engine.trigger(noteCell(60), 0, project.instruments, 0.1);
    const auto capture = testing::renderEngine(engine, 9600);
    const auto glide = renderedSynth(60, Waveform::square, 0.1, organ(), 1, 0, {}, 48, 0, 16, engineRate);
    EXPECT_LT(differenceFromSum(capture, 0, {glide}), 1e-6);
}

TEST_F(AudioEngineAudition, RetriggerStepsReplaceTheRootAtEqualFractionsOfTheDuration)
{
    engine.trigger(withEffect(noteCell(60), EffectType::retrigger, 2), 0, project.instruments, 0.2);
    testing::renderEngine(engine, 512);
    std::this_thread::sleep_for(std::chrono::milliseconds(120)); // the step is due after 0.1 s
    engine.drainCompletions();
    const auto capture = testing::renderEngine(engine, 9600);
    // The step is a fresh hit of the root with a gate of one step, and nothing of the first hit remains.
    const auto step = renderedSynth(60, Waveform::square, 0.1, organ(), 1, 0, {}, std::nullopt, 0, 16, engineRate);
    EXPECT_LT(differenceFromSum(capture, 0, {step}), 1e-6);
}

TEST_F(AudioEngineAudition, StopEndsAuditionedNotesAndTheirRetriggersAsItEndsPlayback)
{
    // A chord of three notes held for a second, retriggered four times; stopped while it sounds.
    engine.trigger(withEffect(withEffect(noteCell(60), EffectType::retrigger, 4), EffectType::chord, 0x47, 1), 1,
                   project.instruments, 1.0);
    const auto before = testing::renderEngine(engine, 4800);
    ASSERT_GT(before.peak(0, before.size()), 0.05f);
    engine.stop();
    // Past the time of every retrigger step: a step left pending would strike the note again.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    engine.drainCompletions();
    const auto after = testing::renderEngine(engine, 48000);
    EXPECT_EQ(after.peak(0, after.size()), 0.0f);
}

TEST_F(AudioEngineAudition, AuditionWhilePlayingLeavesPlaybackAndTheStripPanAlone)
{
    project.mixer[0].pan = -0.5;
    for (int row = 0; row < 4; ++row) project.patterns[0].setCell(row, 0, noteCell(48 + row));
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, engineRate, true);
    const std::int64_t length = testing::engineLead + 3 * timeline.totalFrames;

    AudioEngine reference(testing::manualEngine());
    reference.schedule(timeline, project, true, false, 0);
    const auto alone = testing::renderEngine(reference, length);

    engine.schedule(timeline, project, true, false, 0);
    testing::Capture withAudition;
    testing::renderEngine(engine, testing::engineLead + 3 * testing::engineRow / 2, withAudition);
    // A note entered on the playing track, panned hard right, while its strip sounds a note of its own.
    engine.trigger(withEffect(noteCell(72), EffectType::pan, 0xFF), 0, project.instruments, 0.05);
    EXPECT_EQ(testing::probe(engine).strip(0).mixer->pan(), -0.5f);
    testing::renderEngine(engine, length - withAudition.size(), withAudition);

    // Apart from the audition's own 0.05 s (and its 5 ms release), the playback sounds as if nothing
    // had been auditioned: no note cut, no player restarted, the strip still panned left.
    const std::int64_t auditionStart = testing::engineLead + 3 * testing::engineRow / 2;
    const std::int64_t auditionEnd = auditionStart + 256 + static_cast<std::int64_t>(0.055 * engineRate) + 1;
    double outside = 0;
    double inside = 0;
    for (std::int64_t i = 0; i < length; ++i) {
        const double difference = std::abs(alone.left[static_cast<std::size_t>(i)] - withAudition.left[static_cast<std::size_t>(i)]) +
                                  std::abs(alone.right[static_cast<std::size_t>(i)] - withAudition.right[static_cast<std::size_t>(i)]);
        (i >= auditionStart && i < auditionEnd ? inside : outside) += difference;
    }
    EXPECT_EQ(outside, 0.0);
    EXPECT_GT(inside, 1.0);
}

} // namespace
} // namespace veltrane
