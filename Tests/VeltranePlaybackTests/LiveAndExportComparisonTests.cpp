// Live playback and the export render the same notes through the same voices and the same mixdown
// settings: a project pulled through the live engine's graph by hand (no device) and rendered by the
// offline renderer must agree sample for sample, except where they differ by design, which is named
// and checked here.

#include "AudioEngineTestSupport.hpp"
#include "OfflineRenderTestSupport.hpp"

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltranePlayback/SmokeProjects/RenderSmokeProjects.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

constexpr double exportRate = 44100;
// The export ends a synth note by fading it over its tail; live playback releases it from the level at
// the gate. With the organ's instant release both are silent within this many frames of the gate.
constexpr std::int64_t releaseTailFrames = 221;

// Synth notes on four tracks, one under parameter locks, a sample note, a track-volume lane on track 0,
// an LFO routed to an instrument cutoff and a track pan; tracks 0 and 1 soloed, track 2 silenced by
// their solo, track 3 soloed but muted (mute wins).
Project comparedProject()
{
    Project project = sequencerProject(8, 4);
    Pattern& pattern = project.patterns.front();
    // Track 0's note carries the lane's first point; row 6 its last.
    pattern.setCell(0, 0, Cell{.note = NotePitch{60}, .instrument = 0, .locks = {{ParameterTarget::trackVolume, 0.4}}});
    pattern.setCell(6, 0, Cell{.locks = {{ParameterTarget::trackVolume, 1.0}}});
    Cell locked = noteCell(67);
    locked.locks = {{ParameterTarget::instrumentCutoff, 2000}, {ParameterTarget::instrumentVolume, 0.3}};
    pattern.setCell(2, 1, locked);
    pattern.setCell(4, 0, noteCell(64));
    pattern.setCell(1, 2, noteCell(72));
    pattern.setCell(3, 3, noteCell(48));
    // An LFO on track 1's instrument cutoff (rendered into the note) and on track 1's pan (a bus).
    ModulationSource lfo{.name = "LFO", .kind = ModulationSourceKind::lfo, .waveform = ModulationWaveform::triangle,
                         .rateBeats = 0.5};
    ModulationRack rack;
    rack.routes.push_back(ModulationRoute{
        .sourceID = lfo.id, .target = ParameterTarget::instrumentCutoff, .amount = 0.3, .track = 1, .instrument = 0});
    rack.routes.push_back(ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::trackPan, .amount = 0.5, .track = 1});
    rack.sources.push_back(std::move(lfo));
    project.modulation = std::move(rack);
    // A sample note on track 1, from a sample embedded in the project.
    project.instruments.push_back(Instrument::withData("Sample", smokeSampleWAV(), "smoke.wav"));
    pattern.setCell(5, 1, noteCell(62, 1));
    project.mixer[0].solo = true;
    project.mixer[1].solo = true;
    project.mixer[3].solo = true;
    project.mixer[3].muted = true;
    return project;
}

} // namespace

TEST(LiveAndExport, TheSameProjectSoundsTheSameSampleForSampleButForHowASynthNoteEnds)
{
    const Project project = comparedProject();
    TemporaryFolder folder;
    const RenderedFile exported = renderAndRead(project, folder);
    ASSERT_EQ(exported.sampleRate, exportRate);

    AudioEngine engine(manualEngine(exportRate));
    const PlaybackTimeline timeline = playbackTimeline(project, SongScope{}, 0, 0, exportRate, false);
    engine.schedule(timeline, project, false, false, 0);
    // By design, live players start a moment after `schedule` returns; the export starts at frame 0.
    const std::int64_t lead = framesForSeconds(AudioEngine::startLeadSeconds, exportRate);
    // The export updates bus automation before each block of 256 frames; live, the transport does it on
    // every tick of its position loop. Ticking the live engine at the export's block starts gives both
    // the same bus values.
    // The master limiter's look-ahead: a capture renders that much more at its start and leaves it out
    // (the export compensates it the same way), so the graph runs that far ahead of the capture, and
    // the ticks must fall on the graph's frames.
    const std::int64_t latency = probe(engine).mixdown().latencyFrames();
    Capture live;
    renderEngine(engine, lead - latency, live);
    for (std::int64_t frame = 0; frame < exported.frames; frame += OfflineMixdownGraph::blockFrames) {
        engine.updateAutomatedBuses(project, timeline, frame);
        renderEngine(engine, OfflineMixdownGraph::blockFrames, live);
    }
    renderEngine(engine, latency, live);
    EXPECT_EQ(live.peak(0, lead), 0.0f) << "nothing sounds before the start lead";

    // The ends of the audible synth notes (tracks 0 and 1), where the two differ by design.
    std::vector<std::int64_t> noteEnds;
    for (const auto& note : timeline.notes) {
        if (note.track <= 1 && note.instrument == 0) noteEnds.push_back(note.startFrame + note.durationFrames);
    }
    ASSERT_EQ(noteEnds.size(), 3u);
    const auto inReleaseTail = [&](std::int64_t frame) {
        return std::any_of(noteEnds.begin(), noteEnds.end(),
                           [&](std::int64_t end) { return frame >= end && frame < end + releaseTailFrames; });
    };

    std::int64_t differing = 0;
    std::int64_t compared = 0;
    for (std::int64_t i = 0; i < exported.frames; ++i) {
        const float liveLeft = live.left[std::size_t(i + lead)];
        const float liveRight = live.right[std::size_t(i + lead)];
        const float exportLeft = exported.left[std::size_t(i)];
        const float exportRight = exported.right[std::size_t(i)];
        if (inReleaseTail(i)) {
            // Both end the note within the tail and neither is louder than the note was.
            EXPECT_LE(std::abs(liveLeft - exportLeft), 0.5f) << "frame " << i;
            if (liveLeft != exportLeft || liveRight != exportRight) ++differing;
            continue;
        }
        ++compared;
        if (liveLeft != exportLeft || liveRight != exportRight) {
            ADD_FAILURE() << "live and export differ at frame " << i << ": " << liveLeft << " / " << exportLeft;
            break;
        }
    }
    EXPECT_EQ(compared, exported.frames - 3 * releaseTailFrames);
    EXPECT_GT(differing, 0) << "the release styles differ by design; if they agree now, this test should say so";
    // The notes sound (a silent comparison proves nothing) and the silenced tracks stay silent: track 2's
    // note at row 1 and track 3's at row 3 would sound in frames where only the soloed notes play.
    EXPECT_GT(exported.rms(0, 5000), 0.01);
    EXPECT_GT(exported.rms(11025, 16000), 0.01);
    EXPECT_GT(exported.rms(28000, 32000), 0.01) << "the sample note";
    for (std::int64_t frame : {5800, 17000}) EXPECT_EQ(live.peak(lead + frame, lead + frame + 4000), 0.0f) << frame;
}
