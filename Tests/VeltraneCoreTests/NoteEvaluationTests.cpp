#include "VeltraneCore/Modulation/ModulationRouting.hpp"
#include "VeltraneCore/Modulation/NoteEvaluation.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace veltrane;

namespace {

// 120 bpm, four rows a beat: a row is 0.125 s, 6,000 frames at 48 kHz.
constexpr double kRate = 48000;
constexpr std::int64_t kRow = 6000;

Project projectOf(int rows, std::vector<ModulationSource> sources = {}, std::vector<ModulationRoute> routes = {})
{
    Project project;
    project.bpm = 120;
    project.rowsPerBeat = 4;
    project.patterns = {Pattern("Pattern 1", rows, 4)};
    project.modulation = ModulationRack{std::move(sources), std::move(routes)};
    return project;
}

void put(Project& project, int row, int track, Cell cell) { project.patterns[0].setCell(row, track, std::move(cell)); }

Cell lockCell(int instrument, std::vector<ParameterLock> locks)
{
    return Cell{.instrument = instrument, .locks = std::move(locks)};
}

Cell noteCell(int instrument, std::vector<ParameterLock> locks = {})
{
    return Cell{.note = NotePitch{60}, .instrument = instrument, .locks = std::move(locks)};
}

PlaybackTimeline timelineOf(const Project& project)
{
    return playbackTimeline(project, PatternScope{0}, 0, 0, kRate, false);
}

ModulationSource macro(double value)
{
    return {.name = "Macro", .kind = ModulationSourceKind::macro, .macroValue = value};
}

ModulationRoute route(const ModulationSource& source, ParameterTarget target, double amount,
                      std::optional<int> track = std::nullopt, std::optional<int> instrument = std::nullopt)
{
    return {.sourceID = source.id, .target = target, .amount = amount, .track = track, .instrument = instrument};
}

Instrument modulated(const Instrument& instrument, const Project& project, int index = 1, int track = 0,
                     std::int64_t frame = 0)
{
    return instrumentWithModulation(instrument, index, track, frame, frame, kRow, project, kRate);
}

} // namespace

TEST(NoteEvaluation, ANoteTakesItsLockThenTheLanesAtItsStartThenTheRoutes)
{
    const auto full = macro(1);
    auto project = projectOf(16, {full},
                             {route(full, ParameterTarget::instrumentCutoff, 0.1),
                              route(full, ParameterTarget::instrumentVolume, 0.2, 0, 1),
                              route(full, ParameterTarget::instrumentResonance, 0.5, 1)}); // another track
    put(project, 0, 0, lockCell(1, {{ParameterTarget::instrumentCutoff, 1000}, {ParameterTarget::instrumentResonance, 1}}));
    put(project, 4, 0, noteCell(1, {{ParameterTarget::instrumentVolume, 0.3}}));
    put(project, 8, 0, lockCell(1, {{ParameterTarget::instrumentCutoff, 4000}, {ParameterTarget::instrumentResonance, 3}}));
    const auto timeline = timelineOf(project);
    const std::int64_t noteStart = 4 * kRow;

    // 1. The note's own lock, written in by the caller.
    Instrument locked = project.instruments[1];
    locked.volume = 0.3;
    // 2. The lanes at the note's start: halfway between the row 0 and row 8 locks, cutoff on its
    //    logarithmic scale.
    const Instrument automated = instrumentWithAutomation(locked, 1, 0, noteStart, timeline);
    EXPECT_NEAR(*automated.cutoff, 2000, 1e-6);
    EXPECT_NEAR(*automated.resonance, 2, 1e-9);
    EXPECT_NEAR(automated.volume, 0.3, 1e-12);
    // 3. The routes on top of the automated values.
    const Instrument result =
        instrumentWithModulation(automated, 1, 0, noteStart, noteStart, 2 * kRow, project, kRate);
    EXPECT_NEAR(*result.cutoff, 2000 * std::pow(1000, 0.1), 1e-6);
    EXPECT_NEAR(result.volume, 0.5, 1e-12);
    EXPECT_NEAR(*result.resonance, 2, 1e-9);
    EXPECT_EQ(result.id, project.instruments[1].id);
    EXPECT_EQ(result.source, project.instruments[1].source);
}

TEST(NoteEvaluation, LanesBelongToOneInstrumentOnOneTrack)
{
    auto project = projectOf(16);
    put(project, 0, 0, lockCell(1, {{ParameterTarget::instrumentTune, 12}}));
    const auto timeline = timelineOf(project);
    const auto& instrument = project.instruments[1];

    EXPECT_EQ(instrumentWithAutomation(instrument, 1, 0, kRow, timeline).tune, 12);
    EXPECT_EQ(instrumentWithAutomation(instrument, 1, 2, kRow, timeline).tune, 0);
    EXPECT_EQ(instrumentWithAutomation(project.instruments[2], 2, 0, kRow, timeline).tune, 0);
    // A lock event without an instrument automates no instrument.
    auto anonymous = projectOf(16);
    put(anonymous, 0, 0, Cell{.locks = {{ParameterTarget::instrumentTune, 12}}});
    EXPECT_EQ(instrumentWithAutomation(instrument, 1, 0, kRow, timelineOf(anonymous)).tune, 0);
}

TEST(NoteEvaluation, CutoffAndResonanceStayAbsentUntilModulationFillsThem)
{
    auto project = projectOf(16);
    project.modulation.reset();
    Instrument bare = project.instruments[0];
    bare.cutoff.reset();
    bare.resonance.reset();

    const auto automated = instrumentWithAutomation(bare, 0, 0, 0, timelineOf(project));
    EXPECT_EQ(automated, bare);
    const auto result = modulated(automated, project, 0);
    EXPECT_EQ(result.cutoff, 18000);
    EXPECT_EQ(result.resonance, 0.7);

    // A lane on the cutoff starts from the default 18000 where the field is absent.
    put(project, 8, 0, lockCell(0, {{ParameterTarget::instrumentCutoff, 20000}}));
    EXPECT_NEAR(*instrumentWithAutomation(bare, 0, 0, 4 * kRow, timelineOf(project)).cutoff, std::sqrt(18000.0 * 20000), 1e-6);
    EXPECT_FALSE(instrumentWithAutomation(bare, 0, 0, 4 * kRow, timelineOf(project)).resonance);
}

TEST(NoteEvaluation, OnlyParametersThatARouteReachesAreHeldToTheirRange)
{
    Instrument wild = Instrument::withFM("FM", FMSettings{.amount = 3, .carrier = {.ratio = 20, .fine = -500}});
    wild.attack = 3;
    wild.release = 10; // a file may hold up to 30 s; a route reaches only 0 to 2 s
    wild.tune = -90;
    auto withoutRack = projectOf(16);
    withoutRack.modulation.reset();
    // Without a rack, with an empty rack, and with routes elsewhere alone, nothing is held.
    const auto idle = macro(0);
    for (const auto& project :
         {withoutRack, projectOf(16),
          projectOf(16, {idle},
                    {route(idle, ParameterTarget::instrumentRelease, 0.5, 1),                 // another track
                     route(idle, ParameterTarget::instrumentAttack, 0.5, std::nullopt, 2),    // another instrument
                     route(idle, ParameterTarget::trackVolume, 0.5)})}) {                      // a bus
        const auto untouched = modulated(wild, project);
        EXPECT_EQ(untouched.attack, 3);
        EXPECT_EQ(untouched.release, 10);
        EXPECT_EQ(untouched.tune, -90);
        EXPECT_EQ(untouched.fm, wild.fm);
        EXPECT_EQ(untouched.cutoff, 18000);
    }

    // A route that reaches a parameter moves it within its range, even when its signal is 0.
    const auto held = modulated(wild, projectOf(16, {idle},
                                                {route(idle, ParameterTarget::instrumentAttack, 0.5),
                                                 route(idle, ParameterTarget::instrumentRelease, 0.5, 0, 1),
                                                 route(idle, ParameterTarget::instrumentTune, 0.5),
                                                 route(idle, ParameterTarget::instrumentFMAmount, 0.5),
                                                 route(idle, ParameterTarget::instrumentFMCarrierRatio, 0.5),
                                                 route(idle, ParameterTarget::instrumentFMCarrierFine, 0.5)}));
    EXPECT_EQ(held.attack, 2);
    EXPECT_EQ(held.release, 2);
    EXPECT_EQ(held.tune, -48);
    EXPECT_EQ(held.fm->amount, 1);
    EXPECT_EQ(held.fm->carrier.ratio, 8);
    EXPECT_EQ(held.fm->carrier.fine, -100);
    EXPECT_EQ(held.decay, wild.decay);
}

TEST(NoteEvaluation, WaveformsRoundToTheNearestShapeAndOnlySynthsHaveOne)
{
    auto project = projectOf(16);
    put(project, 4, 0, noteCell(0, {{ParameterTarget::instrumentWaveform, 2.6}}));
    const auto timeline = timelineOf(project);
    const auto synth = Instrument::withWaveform("Synth", Waveform::sine);
    EXPECT_EQ(instrumentWithAutomation(synth, 0, 0, 4 * kRow, timeline).source, InstrumentSource(SynthSource{Waveform::square}));

    auto sampler = Instrument::withBookmark("Sampler", Data(std::string_view("veltrane-path:/a.wav")), "a.wav");
    EXPECT_EQ(instrumentWithAutomation(sampler, 0, 0, 4 * kRow, timeline).source, sampler.source);

    // A full route lifts a sine (position 0) to a square (3); FM waveforms follow the same rule.
    const auto full = macro(1);
    const auto routed = projectOf(16, {full}, {route(full, ParameterTarget::instrumentWaveform, 1),
                                               route(full, ParameterTarget::instrumentFMModulatorWaveform, 0.4)});
    EXPECT_EQ(modulated(synth, routed).source, InstrumentSource(SynthSource{Waveform::square}));
    EXPECT_EQ(modulated(sampler, routed).source, sampler.source);
    const auto fm = modulated(Instrument::withFM("FM", FMSettings{}), routed);
    EXPECT_EQ(fm.fm->modulator.waveform, Waveform::triangle); // 0.4 × 3 = 1.2
}

TEST(NoteEvaluation, FMParametersNeedFMSettings)
{
    auto project = projectOf(16);
    put(project, 0, 0, lockCell(0, {{ParameterTarget::instrumentFMAmount, 0.9}}));
    const auto full = macro(1);
    project.modulation->sources = {full};
    project.modulation->routes = {route(full, ParameterTarget::instrumentFMCarrierRatio, 0.5)};
    const auto plain = Instrument::withWaveform("Synth", Waveform::saw);
    EXPECT_FALSE(instrumentWithAutomation(plain, 0, 0, 0, timelineOf(project)).fm);
    EXPECT_FALSE(modulated(plain, project, 0).fm);

    // The same lane and route act on an instrument with FM settings, whatever its source.
    auto sampler = Instrument::withData("Sampler", Data(std::string_view("RIFF")), "a.wav");
    sampler.fm = FMSettings{};
    EXPECT_EQ(instrumentWithAutomation(sampler, 0, 0, 0, timelineOf(project)).fm->amount, 0.9);
    EXPECT_NEAR(modulated(sampler, project, 0).fm->carrier.ratio, 1 + 0.5 * 7.75, 1e-12);
}

TEST(BusParameterValue, LanesAndLFOsRestartEveryLoopCycle)
{
    ModulationSource saw{.kind = ModulationSourceKind::lfo, .waveform = ModulationWaveform::saw, .rateBeats = 1};
    auto project = projectOf(16, {saw}, {route(saw, ParameterTarget::trackPan, 0.5, 1)});
    put(project, 0, 1, Cell{.locks = {{ParameterTarget::trackVolume, 0.2}}});
    put(project, 1, 1, Cell{.locks = {{ParameterTarget::trackVolume, 0.8}}});
    const auto timeline = timelineOf(project);
    ASSERT_EQ(timeline.totalFrames, 96000);
    const AutomationEvaluator evaluator(timeline);

    for (const AutomationEvaluator* lanes : {&evaluator, static_cast<const AutomationEvaluator*>(nullptr)}) {
        // Frame 100,000 is frame 4,000 of the second cycle: two thirds of the way from 0.2 to 0.8.
        EXPECT_NEAR(busParameterValue(ParameterTarget::trackVolume, 0.85, 100000, 1, project, timeline, lanes), 0.6, 1e-12);
        EXPECT_NEAR(busParameterValue(ParameterTarget::trackVolume, 0.85, 4000, 1, project, timeline, lanes), 0.6, 1e-12);
        EXPECT_EQ(busParameterValue(ParameterTarget::trackVolume, 0.85, 4000, 2, project, timeline, lanes), 0.85);
        // The saw is at 1/6 of its cycle: -2/3, half of which moves the pan from the centre.
        EXPECT_NEAR(busParameterValue(ParameterTarget::trackPan, 0, 100000, 1, project, timeline, lanes), -2.0 / 3, 1e-12);
    }

    PlaybackTimeline empty{.sampleRate = kRate};
    // Without a pass to wrap around, every frame is frame 0, where the saw starts at -1.
    EXPECT_NEAR(busParameterValue(ParameterTarget::trackPan, 0, 100000, 1, project, empty, nullptr), -1, 1e-12);
}

TEST(BusParameterValue, InstrumentRoutesNeverReachABusNorTrackRoutesTheMaster)
{
    const auto full = macro(1);
    const auto project = projectOf(16, {full}, {route(full, ParameterTarget::masterDrive, 0.5, 0),
                                                route(full, ParameterTarget::trackDrive, 0.5, std::nullopt, 3)});
    const auto timeline = timelineOf(project);
    EXPECT_EQ(busParameterValue(ParameterTarget::masterDrive, 0.1, 0, std::nullopt, project, timeline, nullptr), 0.1);
    EXPECT_EQ(busParameterValue(ParameterTarget::trackDrive, 0.1, 0, 0, project, timeline, nullptr), 0.1);
    EXPECT_TRUE(hasModulation(ParameterTarget::trackDrive, 0, project));
}

TEST(BusParameterValue, EnvelopesRunFromTheLastNoteOnTheTrackOrFromTheFrameItself)
{
    const ModulationSource env{.kind = ModulationSourceKind::envelope, .attack = 0.1, .decay = 0, .sustain = 1, .release = 0.24};
    auto project = projectOf(16, {env}, {route(env, ParameterTarget::trackDrive, 1)});
    put(project, 8, 0, noteCell(0));
    const auto timeline = timelineOf(project);
    const auto drive = [&](std::int64_t frame, std::optional<std::int64_t> start = std::nullopt,
                           std::optional<std::int64_t> length = std::nullopt) {
        return busParameterValue(ParameterTarget::trackDrive, 0, frame, 0, project, timeline, nullptr, start, length);
    };
    // Before the track's first note the envelope starts at the frame itself: 0 in its attack.
    EXPECT_EQ(drive(4 * kRow), 0);
    // Half-way through the attack of the note at row 8.
    EXPECT_NEAR(drive(8 * kRow + 2400), 0.5, 1e-12);
    // A given start with no length has a one-frame gate: at 0.12 s the release is half over.
    EXPECT_NEAR(drive(5760, 0), 0.5, 1e-3);
    // With a length the gate holds the sustain.
    EXPECT_NEAR(drive(2 * kRow + 9600, 2 * kRow, 4 * kRow), 1, 1e-12);
}
