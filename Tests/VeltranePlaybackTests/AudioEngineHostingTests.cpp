#include "MdaPluginReferences.hpp"
#include "AudioEngineTestSupport.hpp"

#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"
#include "VeltranePlayback/Hosting/AudioEngineHosting.hpp"
#include "VeltraneCore/Text/Fnv1a.hpp"
#include "VeltraneCore/FileFormat/ProjectFile.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

// Codes no installed plug-in has: a project made on a machine with plug-ins this one lacks.
const AudioUnitReference missingInstrument{audioUnitInstrumentType, 0x0BADC0DE, fnv1a32("example.org"),
                                           "Absent Synth", "Nobody"};
const AudioUnitReference missingEffect{audioUnitEffectType, 0x0BADF00D, fnv1a32("example.org"), "Absent Echo",
                                       "Nobody"};

Data bytes(const std::string& text) { return Data(std::vector<std::uint8_t>(text.begin(), text.end())); }

/// A transparent project of 4 tracks: instrument 0 a synth, 1 the JX10, 2 a plug-in this machine lacks; the
/// mda Delay on the master.
Project hostingProject()
{
    Project project = transparentProject();
    project.mixer.resize(4);
    for (auto& track : project.mixer) track = MixerTrack{.volume = 1, .cutoff = engineRate / 2};
    project.instruments = {Instrument::withWaveform("Organ", Waveform::square),
                           Instrument::withAudioUnit("Lead", jx10Reference, std::nullopt),
                           Instrument::withAudioUnit("Gone", missingInstrument, bytes("saved elsewhere"))};
    project.masterFX->audioUnits = std::vector<AudioUnitSlot>{AudioUnitSlot{.reference = delayReference}};
    return project;
}

/// The hosting project with the JX10 as its only plug-in: no missing instrument and no master insert.
Project jx10OnlyProject()
{
    Project project = hostingProject();
    project.instruments.pop_back();
    project.masterFX->audioUnits.reset();
    return project;
}

PlaybackTimeline timelineOf(std::vector<std::pair<int, int>> instrumentAndTrack)
{
    PlaybackTimeline timeline;
    timeline.sampleRate = engineRate;
    for (auto [instrument, track] : instrumentAndTrack) {
        timeline.notes.push_back(TimelineNoteEvent{.track = track, .note = 60, .instrument = instrument});
    }
    return timeline;
}

/// Queues a note-on at `offset` frames into the next block and renders `frames` frames.
Capture playNote(AudioEngine& engine, const Uuid& instrument, int track, std::int64_t offset, std::int64_t frames)
{
    const std::int64_t now = probe(engine).graph().renderedFrames();
    EXPECT_TRUE(engine.audioUnitHosting().queueAudioUnitMIDI(instrument, track, now + offset, {0x90, 60, 100}));
    return renderEngine(engine, frames);
}

} // namespace

TEST(AudioEngineHosting, PreparesAHostedInstrumentOnItsStripAndAMasterInsertThatSound)
{
    VELTRANE_REQUIRE_MDA();
    AudioEngine engine(manualEngine());
    Project project = hostingProject();
    project.instruments.pop_back();
    engine.apply(project);
    const Uuid lead = project.instruments[1].id;

    const auto failures = engine.prepareAudioUnits(project, timelineOf({{1, 2}, {1, 2}, {0, 0}}));
    EXPECT_TRUE(failures.empty());

    AudioUnitHosting& hosting = engine.audioUnitHosting();
    AudioPluginInstrumentNode* synth = hosting.audioUnitInstrument({lead, 2});
    ASSERT_NE(synth, nullptr);
    EXPECT_EQ(hosting.instrumentCount(), 1u) << "one unit per (instrument, track); a synth note makes none";
    EXPECT_TRUE(probe(engine).strip(2).connected);
    EXPECT_EQ(probe(engine).graph().destination(*synth), probe(engine).strip(2).mixer.get());

    AudioPluginEffectNode* delay = hosting.audioUnitEffect((*project.masterFX->audioUnits)[0].id);
    ASSERT_NE(delay, nullptr);
    EXPECT_EQ(probe(engine).graph().destination((*probe(engine).master().reverb)), delay);
    EXPECT_EQ(probe(engine).graph().destination(*delay), probe(engine).master().timePitch.get());

    // Nothing sounds until a note is queued; the note starts at its frame inside the block, not at the
    // block's start.
    EXPECT_EQ(renderEngine(engine, 4 * engineBlock).peak(0, 4 * engineBlock), 0.0f);
    constexpr std::int64_t offset = 100;
    const Capture played = playNote(engine, lead, 2, offset, 24000);
    EXPECT_EQ(played.peak(0, offset), 0.0f);
    EXPECT_GT(played.peak(offset, played.size()), 0.01f);

    // A second preparation of the same playback makes no new unit and keeps the wiring.
    EXPECT_TRUE(engine.prepareAudioUnits(project, timelineOf({{1, 2}})).empty());
    EXPECT_EQ(hosting.audioUnitInstrument({lead, 2}), synth);
    EXPECT_EQ(hosting.effectCount(), 1u);
    EXPECT_EQ(probe(engine).graph().destination((*probe(engine).master().reverb)), delay);
}

TEST(AudioEngineHosting, OneInstrumentOnTwoTracksRunsTwoUnitsAndStrayNotesMakeNone)
{
    VELTRANE_REQUIRE_MDA();
    AudioEngine engine(manualEngine());
    Project project = jx10OnlyProject();
    const Uuid lead = project.instruments[1].id;

    // Index 7 names no instrument, track 40 has no strip: neither may make a unit or fail.
    EXPECT_TRUE(engine.prepareAudioUnits(project, timelineOf({{1, 0}, {1, 3}, {7, 1}, {1, 40}})).empty());
    AudioUnitHosting& hosting = engine.audioUnitHosting();
    EXPECT_EQ(hosting.instrumentCount(), 2u);
    for (int track : {0, 3}) {
        AudioPluginInstrumentNode* unit = hosting.audioUnitInstrument({lead, track});
        ASSERT_NE(unit, nullptr) << "track " << track;
        EXPECT_EQ(probe(engine).graph().destination(*unit), probe(engine).strip(track).mixer.get()) << "track " << track;
    }
    EXPECT_NE(hosting.audioUnitInstrument({lead, 0}), hosting.audioUnitInstrument({lead, 3}));
    EXPECT_FALSE(probe(engine).strip(1).connected);
    EXPECT_FALSE(hosting.queueAudioUnitMIDI(lead, 1, 0, {0x90, 60, 100}));
    // Without master slots the master runs straight from the reverb to the time-pitch stage.
    EXPECT_EQ(probe(engine).graph().destination((*probe(engine).master().reverb)), probe(engine).master().timePitch.get());
}

TEST(AudioEngineHosting, AMissingPlugInIsReportedAndTheRestPlaysWithItsDataKept)
{
    VELTRANE_REQUIRE_MDA();
    AudioEngine engine(manualEngine());
    Project project = hostingProject();
    // Track 1 holds a slot this machine lacks before an installed one.
    AudioUnitSlot absent{.reference = missingEffect, .state = bytes("echo settings")};
    AudioUnitSlot present{.reference = delayReference};
    project.mixer[1].audioUnits = std::vector<AudioUnitSlot>{absent, present};
    engine.apply(project);
    const Project before = project;

    const auto failures = engine.prepareAudioUnits(project, timelineOf({{1, 2}, {2, 1}}));
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].reference, missingInstrument) << "instruments come first";
    EXPECT_EQ(failures[1].reference, missingEffect);
    for (const auto& failure : failures) {
        EXPECT_NE(failure.reason.find(failure.reference.name), std::string::npos) << failure.reason;
    }

    // The failed instrument's strip is wired anyway, its chain leaves the missing slot out.
    AudioUnitHosting& hosting = engine.audioUnitHosting();
    EXPECT_EQ(hosting.audioUnitInstrument({project.instruments[2].id, 1}), nullptr);
    AudioPluginEffectNode* trackDelay = hosting.audioUnitEffect(present.id);
    ASSERT_NE(trackDelay, nullptr);
    EXPECT_TRUE(probe(engine).strip(1).connected);
    EXPECT_EQ(probe(engine).graph().destination(*probe(engine).strip(1).drive), trackDelay);
    EXPECT_EQ(probe(engine).graph().destination(*trackDelay), probe(engine).master().bus.get());

    const Capture played = playNote(engine, project.instruments[1].id, 2, 0, 12000);
    EXPECT_GT(played.peak(0, played.size()), 0.01f) << "the installed instrument still plays";

    // Saving keeps what the project says about the missing plug-ins, byte for byte.
    engine.captureAudioUnitState(project);
    const Project saved = decodeProject(encodeProject(project));
    EXPECT_EQ(saved.instruments[2], before.instruments[2]);
    EXPECT_EQ((*saved.mixer[1].audioUnits)[0], absent);
}

TEST(AudioEngineHosting, CaptureWritesEachUnitsStateAndAFailedCaptureKeepsTheSavedOne)
{
    VELTRANE_REQUIRE_MDA();
    AudioEngine engine(manualEngine());
    Project project = hostingProject();
    project.instruments.pop_back();
    project.mixer[0].audioUnits = std::vector<AudioUnitSlot>{AudioUnitSlot{.reference = delayReference, .state = bytes("old")}};
    const Uuid lead = project.instruments[1].id;
    // An instrument that no note plays has no unit yet: its saved state must survive a capture.
    project.instruments.push_back(Instrument::withAudioUnit("Idle", jx10Reference, bytes("idle state")));
    ASSERT_TRUE(engine.prepareAudioUnits(project, timelineOf({{1, 2}})).empty());

    AudioUnitHosting& hosting = engine.audioUnitHosting();
    PluginInstance& synth = hosting.audioUnitInstrument({lead, 2})->instance();
    const auto index = synth.parameterIndex(synth.parameters().front().symbol);
    ASSERT_TRUE(index);
    const float changed = synth.parameters().front().minimum;
    synth.setParameterValue(*index, changed);
    const Uuid trackSlot = (*project.mixer[0].audioUnits)[0].id;

    // A failing capture first: every saved state stays as it was.
    hosting.stateReader = [](const PluginInstance&) { return std::optional<Data>{}; };
    Project failed = project;
    engine.captureAudioUnitState(failed);
    EXPECT_EQ(failed, project);

    hosting.stateReader = nullptr;
    engine.captureAudioUnitState(project);
    const auto& captured = std::get<AudioUnitSource>(project.instruments[1].source);
    EXPECT_EQ(captured.reference, jx10Reference);
    ASSERT_TRUE(captured.state);
    EXPECT_EQ(std::get<AudioUnitSource>(project.instruments[2].source).state, bytes("idle state"));
    ASSERT_TRUE((*project.mixer[0].audioUnits)[0].state);
    EXPECT_NE(*(*project.mixer[0].audioUnits)[0].state, bytes("old"));
    ASSERT_TRUE((*project.masterFX->audioUnits)[0].state);
    EXPECT_NE(hosting.audioUnitEffect(trackSlot), nullptr);

    // The captured state is the unit's: a fresh unit made from it has the changed setting.
    auto restored = AudioUnitCatalog::instantiate(jx10Reference, captured.state, engineRate, engineBlock, installedPlugins());
    EXPECT_FLOAT_EQ(restored->parameterValue(*index), changed);
}

TEST(AudioEngineHosting, ABypassedInsertPassesTheSignalThroughAndItsSwitchFollows)
{
    VELTRANE_REQUIRE_MDA();
    Project plain = jx10OnlyProject();
    Project inserted = plain;
    AudioUnitSlot slot{.reference = delayReference, .bypassed = true};
    inserted.mixer[0].audioUnits = std::vector<AudioUnitSlot>{slot};

    // A short burst through strip 0, then a long silence in which an echo would ring.
    const auto play = [](AudioEngine& engine) {
        probe(engine).strip(0).auditionVoices[0]->scheduleBuffer(constantBuffer(2000, 0.25f), std::nullopt);
        return renderEngine(engine, 48000);
    };

    AudioEngine reference(manualEngine());
    reference.apply(plain);
    probe(reference).mixdown().connectStrip(0);
    const Capture dry = play(reference);

    AudioEngine engine(manualEngine());
    engine.apply(inserted);
    probe(engine).mixdown().connectStrip(0);
    ASSERT_TRUE(engine.prepareAudioUnits(inserted, PlaybackTimeline{}).empty());
    AudioPluginEffectNode* unit = engine.audioUnitHosting().audioUnitEffect(slot.id);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(probe(engine).graph().destination(*probe(engine).strip(0).drive), unit) << "a bypassed slot stays in the chain";
    EXPECT_TRUE(unit->isBypassed());
    const Capture bypassed = play(engine);
    EXPECT_EQ(bypassed.left, dry.left);
    EXPECT_EQ(bypassed.right, dry.right);
    EXPECT_GT(dry.peak(0, 2000), 0.1f);
    EXPECT_EQ(dry.peak(4000, dry.size()), 0.0f);

    engine.setAudioUnitEffectBypass(slot.id, false);
    EXPECT_FALSE(unit->isBypassed());
    const Capture wet = play(engine);
    EXPECT_GT(wet.peak(4000, wet.size()), 0.01f) << "the delay's echo rings after the burst";
    engine.setAudioUnitEffectBypass(Uuid::random(), true); // a slot without a unit: nothing happens
}

TEST(AudioEngineHosting, ReportsParameterChangesFromThePump)
{
    VELTRANE_REQUIRE_MDA();
    AudioEngine engine(manualEngine());
    Project project = hostingProject();
    project.instruments.pop_back();
    int calls = 0;
    engine.onAudioUnitStateChange = [&] { ++calls; };
    ASSERT_TRUE(engine.prepareAudioUnits(project, timelineOf({{1, 2}})).empty());
    engine.drainCompletions();
    EXPECT_EQ(calls, 0) << "making a unit with its saved state is not a change";

    PluginInstance& delay = engine.audioUnitHosting().audioUnitEffect((*project.masterFX->audioUnits)[0].id)->instance();
    delay.setParameterValue(0, 0.1f);
    engine.drainCompletions();
    EXPECT_EQ(calls, 1);
    engine.drainCompletions();
    EXPECT_EQ(calls, 1) << "one report per change, not per pump";
}

TEST(AudioEngineHosting, StopSilencesHostedInstruments)
{
    VELTRANE_REQUIRE_MDA();
    AudioEngine engine(manualEngine());
    Project project = jx10OnlyProject();
    const Uuid lead = project.instruments[1].id;
    ASSERT_TRUE(engine.prepareAudioUnits(project, timelineOf({{1, 2}})).empty());

    // A held note, and a second one queued far ahead that the stop must cancel.
    AudioUnitHosting& hosting = engine.audioUnitHosting();
    ASSERT_GT(playNote(engine, lead, 2, 0, 4800).peak(2400, 4800), 0.01f);
    hosting.queueAudioUnitMIDI(lead, 2, probe(engine).graph().renderedFrames() + 48000, {0x90, 67, 100});
    hosting.stopAudioUnitInstruments();
    const Capture after = renderEngine(engine, 96000);
    EXPECT_LT(after.peak(48000, after.size()), 1e-4f);
}
