#include "OfflineRenderTestSupport.hpp"

#include <gtest/gtest.h>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

using Received = RecordingInstrument::Received;

constexpr std::uint8_t cc = 0xB0;

} // namespace

TEST(OfflineRenderHosted, EachTrackOfAHostedInstrumentGetsItsOwnUnitAndExactlyTheOrderedMIDI)
{
    // 120 bpm, 4 rows a beat: rows start at frames 0, 5513, 11025, 16538.
    Project project = smallSong(4, 2);
    Instrument synth = Instrument::withAudioUnit("Synth", AudioUnitReference{.name = "Synth"}, std::nullopt);
    synth.tune = 2;
    synth.volume = 0.5;
    project.instruments.push_back(synth); // index 4
    Pattern& pattern = project.patterns.front();
    pattern.setCell(0, 0, Cell{.note = NotePitch{60}, .instrument = 4, .volume = 0,
                               .locks = {{ParameterTarget::instrumentPan, -1}}});
    pattern.setCell(2, 1, Cell{.note = NotePitch{64}, .instrument = 4, .volume = 64,
                               .locks = {{ParameterTarget::instrumentPan, 1},
                                         {ParameterTarget::instrumentCutoff, 2000},
                                         {ParameterTarget::instrumentResonance, 5}}});
    // A macro at 0.5 moves track 1's volume by a quarter of its range: 0.5 becomes 0.75 (CC 95).
    ModulationSource macro{.kind = ModulationSourceKind::macro, .macroValue = 0.5};
    project.modulation->routes.push_back(ModulationRoute{
        .sourceID = macro.id, .target = ParameterTarget::instrumentVolume, .amount = 0.5, .track = 1, .instrument = 4});
    project.modulation->sources.push_back(macro);

    TemporaryFolder folder;
    auto units = std::make_shared<RecordingUnits>();
    const RenderedFile file = renderAndRead(project, folder, std::nullopt, units);
    ASSERT_EQ(units->instruments.size(), 2u) << "one unit per instrument and track";

    // Track 0: volume 0.5 → 64, pan -1 → 0, the default cutoff 18 kHz → 125 and resonance 0.7 → 17;
    // tune 2 moves note 60 to 62; a silent cell still plays at velocity 1.
    const std::vector<Received> track0{
        {0, {cc, 7, 64}}, {0, {cc, 10, 0}}, {0, {cc, 74, 125}}, {0, {cc, 71, 17}}, {0, {0x90, 62, 1}},
        {5513, {0x80, 62, 0}},
    };
    EXPECT_EQ(units->instruments[0]->received, track0);

    // Track 1: pan 1 → 127, cutoff 2 kHz → 85, resonance held to 5 → 127, velocity 127; the modulated
    // volume is sent again every 919 frames (24 times a beat at 120 bpm) while the note is held.
    std::vector<Received> track1{
        {11025, {cc, 7, 95}}, {11025, {cc, 10, 127}}, {11025, {cc, 74, 85}}, {11025, {cc, 71, 127}},
        {11025, {0x90, 66, 127}},
    };
    for (std::int64_t offset = 0; offset <= 5513; offset += 919) track1.push_back({11025 + offset, {cc, 7, 95}});
    track1.push_back({16538, {0x80, 66, 0}});
    EXPECT_EQ(units->instruments[1]->received, track1);

    // The stand-in plays while its notes are held, and that reaches the file.
    EXPECT_GT(file.rms(1000, 5000), 0.01);
    EXPECT_EQ(file.rms(6000, 11000), 0.0);
}

TEST(OfflineRenderHosted, AStemMakesOnlyTheUnitsOfItsTrackAndHonoursInsertBypass)
{
    Project project = smallSong(4, 2);
    project.instruments.push_back(Instrument::withAudioUnit("Synth", AudioUnitReference{.name = "Synth"}, std::nullopt));
    project.patterns.front().setCell(0, 0, note(60, 4));
    project.patterns.front().setCell(1, 1, note(62, 4));
    project.mixer[1].audioUnits = std::vector<AudioUnitSlot>{AudioUnitSlot{.reference = {.name = "Echo"}, .bypassed = true},
                                                             AudioUnitSlot{.reference = {.name = "Chorus"}}};

    TemporaryFolder folder;
    auto units = std::make_shared<RecordingUnits>();
    renderAndRead(project, folder, 1, units);
    ASSERT_EQ(units->instruments.size(), 1u);
    EXPECT_EQ(units->instruments[0]->received.front(), (Received{5513, {cc, 7, 108}}));
    // Inserts are made for every strip, whether heard or not, in chain order.
    ASSERT_EQ(units->effects.size(), 2u);
    EXPECT_TRUE(units->effects[0]->isBypassed());
    EXPECT_FALSE(units->effects[1]->isBypassed());
}
