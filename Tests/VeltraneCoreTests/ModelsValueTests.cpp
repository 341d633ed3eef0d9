#include "VeltraneCore/Models/Cell.hpp"
#include "VeltraneCore/Models/Data.hpp"
#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/ModulationRack.hpp"
#include "VeltraneCore/Models/Uuid.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <unordered_set>

using namespace veltrane;

TEST(Cell, EmptyCellAndEffectFitting)
{
    const Cell empty;
    EXPECT_FALSE(empty.note || empty.instrument || empty.volume || empty.gate);
    EXPECT_EQ(empty.effects.size(), 2u);
    EXPECT_FALSE(empty.effects[0] || empty.effects[1]);
    EXPECT_TRUE(empty.locks.empty());
    EXPECT_TRUE(empty.isEmpty());

    const Effect a{EffectType::arpeggio, 0x37};
    const Effect b{EffectType::pan, 0x80};
    const Effect c{EffectType::chance, 0x40};
    const std::vector<std::optional<Effect>> none;
    const std::vector<std::optional<Effect>> one{a};
    const std::vector<std::optional<Effect>> three{a, b, c};
    EXPECT_EQ(Cell::fittedEffects(none), (EffectSlots{}));
    EXPECT_EQ(Cell::fittedEffects(one), (EffectSlots{a, std::nullopt}));
    EXPECT_EQ(Cell::fittedEffects(three), (EffectSlots{a, b}));

    const Cell locked{.locks = {{ParameterTarget::trackPan, -0.5}}};
    ASSERT_TRUE(locked.lock(ParameterTarget::trackPan));
    EXPECT_EQ(locked.lock(ParameterTarget::trackPan)->value, -0.5);
    EXPECT_FALSE(locked.lock(ParameterTarget::trackVolume));
    EXPECT_FALSE(locked.isEmpty());
}

TEST(StepNote, TellsPitchOffAndTieApart)
{
    EXPECT_EQ(pitchOf(NotePitch{64}), 64);
    EXPECT_FALSE(pitchOf(NoteOff{}));
    EXPECT_TRUE(isNoteOff(NoteOff{}));
    EXPECT_TRUE(isTie(NoteTie{}));
    EXPECT_NE(StepNote{NotePitch{64}}, StepNote{NotePitch{65}});
    EXPECT_NE(StepNote{NoteOff{}}, StepNote{NoteTie{}});
}

TEST(RawValues, RoundTripAndRejectOtherSpellings)
{
    const std::vector<std::string> effectCodes{"A", "R", "P", "D", "V", "T", "S", "H", "C"};
    for (std::size_t i = 0; i < allEffectTypes.size(); ++i) {
        EXPECT_EQ(toRawValue(allEffectTypes[i]), effectCodes[i]);
        EXPECT_EQ(fromRawValue<EffectType>(effectCodes[i]), allEffectTypes[i]);
    }
    EXPECT_EQ(fromRawValue<EffectType>("H"), EffectType::chord);
    EXPECT_FALSE(fromRawValue<EffectType>("h"));
    EXPECT_FALSE(fromRawValue<EffectType>("AR"));
    EXPECT_FALSE(fromRawValue<EffectType>(""));

    for (const auto waveform : allWaveforms) EXPECT_EQ(fromRawValue<Waveform>(toRawValue(waveform)), waveform);
    EXPECT_EQ(toRawValue(Waveform::triangle), "triangle");
    EXPECT_FALSE(fromRawValue<Waveform>("Sine"));
    EXPECT_FALSE(fromRawValue<Waveform>("random"));

    EXPECT_EQ(toRawValue(ModulationSourceKind::lfo), "LFO");
    EXPECT_EQ(toRawValue(ModulationSourceKind::envelope), "Envelope");
    EXPECT_EQ(toRawValue(ModulationSourceKind::macro), "Macro");
    for (const auto kind : allModulationSourceKinds) EXPECT_EQ(fromRawValue<ModulationSourceKind>(toRawValue(kind)), kind);
    EXPECT_FALSE(fromRawValue<ModulationSourceKind>("lfo"));

    for (const auto shape : allModulationWaveforms) EXPECT_EQ(fromRawValue<ModulationWaveform>(toRawValue(shape)), shape);
    EXPECT_EQ(fromRawValue<ModulationWaveform>("random"), ModulationWaveform::random);
    EXPECT_FALSE(fromRawValue<ModulationWaveform>("noise"));
}

TEST(Waveform, ParameterValuesRoundToTheNearestCase)
{
    const std::vector<std::pair<double, Waveform>> cases{
        {0, Waveform::sine},    {1, Waveform::triangle}, {2, Waveform::saw},
        {3, Waveform::square},  {1.5, Waveform::saw},    {2.5, Waveform::square},
        {1.49, Waveform::triangle}, {-0.5, Waveform::sine}, {-7, Waveform::sine},
        {9, Waveform::square},  {std::numeric_limits<double>::quiet_NaN(), Waveform::sine},
        {std::numeric_limits<double>::infinity(), Waveform::square},
        {-std::numeric_limits<double>::infinity(), Waveform::sine}, {1e300, Waveform::square},
    };
    for (const auto& [value, waveform] : cases) {
        SCOPED_TRACE(value);
        EXPECT_EQ(waveformFromParameter(value), waveform);
    }
    for (const auto waveform : allWaveforms) EXPECT_EQ(waveformFromParameter(parameterValue(waveform)), waveform);
    EXPECT_EQ(parameterValue(Waveform::saw), 2.0);
}

TEST(Instrument, NamedConstructorsSetSourceAndDefaultSound)
{
    const AudioUnitReference jx10{0x61756D75, 11, 22, "JX10", "mda"};
    const Data bytes(std::string_view("RIFF"));
    const std::vector<Instrument> made{
        Instrument::withWaveform("Saw", Waveform::saw),
        Instrument::withFM("Bell", FMSettings{}),
        Instrument::withBookmark("Loop", Data(std::string_view("veltrane-path:/a.wav")), "a.wav"),
        Instrument::withData("Kick", bytes, "kick.wav"),
        Instrument::withAudioUnit("Synth", jx10, std::nullopt),
    };
    std::set<Uuid> ids;
    for (const auto& instrument : made) {
        SCOPED_TRACE(instrument.name);
        ids.insert(instrument.id);
        EXPECT_EQ(instrument.volume, 0.85);
        EXPECT_EQ(instrument.pan, 0);
        EXPECT_EQ(instrument.tune, 0);
        EXPECT_EQ(instrument.attack, 0.002);
        EXPECT_EQ(instrument.decay, 0.08);
        EXPECT_EQ(instrument.sustain, 0.8);
        EXPECT_EQ(instrument.release, 0.08);
        EXPECT_EQ(instrument.cutoff, 18000);
        EXPECT_EQ(instrument.resonance, 0.7);
        EXPECT_FALSE(instrument.favorite);
        EXPECT_FALSE(instrument.tags);
    }
    EXPECT_EQ(ids.size(), made.size());

    EXPECT_EQ(made[0].synthWaveform(), Waveform::saw);
    EXPECT_FALSE(made[0].fm);
    EXPECT_FALSE(made[0].sampleEdit);

    EXPECT_EQ(made[1].source, InstrumentSource{SynthSource{Waveform::sine}});
    ASSERT_TRUE(made[1].fm);
    EXPECT_EQ(made[1].fm->amount, 0.3);
    EXPECT_EQ(made[1].fm->carrier, (FMOperator{.ratio = 1, .waveform = Waveform::sine, .fine = 0}));

    EXPECT_TRUE(std::holds_alternative<SampleSource>(made[2].source));
    EXPECT_EQ(made[2].synthWaveform(), Waveform::sine);
    ASSERT_TRUE(made[2].sampleEdit);
    EXPECT_EQ(made[2].sampleEdit->trimStart, 0);
    EXPECT_EQ(made[2].sampleEdit->trimEnd, 1);
    EXPECT_FALSE(made[2].sampleEdit->loopStart || made[2].sampleEdit->slicePoints || made[2].sampleEdit->loopCrossfade);

    EXPECT_EQ(made[3].source, InstrumentSource(EmbeddedSource{bytes, "kick.wav"}));
    EXPECT_EQ(made[3].sampleEdit, SampleEdit{});

    EXPECT_EQ(made[4].source, InstrumentSource(AudioUnitSource{jx10, std::nullopt}));
    EXPECT_FALSE(made[4].sampleEdit);

    const Instrument plain;
    EXPECT_FALSE(plain.cutoff || plain.resonance);
}

TEST(AudioUnitReference, IdentityIgnoresNamesButEqualityDoesNot)
{
    const AudioUnitReference a{1635085685, 4026531840u, 7, "Delay", "mda"};
    const AudioUnitReference b{1635085685, 4026531840u, 7, "Echo", "mda"};
    EXPECT_EQ(a.id(), "1635085685-4026531840-7");
    EXPECT_EQ(a.id(), b.id());
    EXPECT_NE(a, b);
    const std::unordered_set<AudioUnitReference> set{a, b};
    EXPECT_EQ(set.size(), 2u);

    const AudioUnitSlot slot{.reference = a};
    EXPECT_FALSE(slot.state);
    EXPECT_FALSE(slot.bypassed);
}

TEST(Uuid, CanonicalUpperCaseTextRoundTrips)
{
    const auto id = Uuid::random();
    const auto text = id.toString();
    ASSERT_EQ(text.size(), 36u);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(text[i], '-');
        } else {
            EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(text[i])) && !std::islower(static_cast<unsigned char>(text[i])));
        }
    }
    EXPECT_EQ(text[14], '4'); // random identifiers are version 4
    EXPECT_EQ(Uuid::fromString(text), id);

    const auto parsed = Uuid::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->toString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

    for (const char* bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
                            "E621E1F8-C36C-495A-93FC-0C247A3E6E5FF", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
                            "E621E1F8+C36C-495A-93FC-0C247A3E6E5F", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5}"}) {
        EXPECT_FALSE(Uuid::fromString(bad)) << bad;
    }
    EXPECT_TRUE(Uuid{}.isNil());
    EXPECT_EQ(Uuid{}.toString(), "00000000-0000-0000-0000-000000000000");
}

TEST(Uuid, RandomIdentifiersDoNotRepeat)
{
    std::unordered_set<Uuid> seen;
    for (int i = 0; i < 10000; ++i) seen.insert(Uuid::random());
    EXPECT_EQ(seen.size(), 10000u);
}

TEST(Data, SharesBytesAndComparesByContent)
{
    const Data a(std::vector<std::uint8_t>{1, 2, 3});
    const Data copy = a;
    EXPECT_TRUE(copy.sharesStorageWith(a));
    EXPECT_EQ(copy.data(), a.data());

    const std::uint8_t raw[] = {1, 2, 3};
    const Data separate(raw, 3);
    EXPECT_FALSE(separate.sharesStorageWith(a));
    EXPECT_EQ(separate, a);
    EXPECT_NE(Data(raw, 2), a);
    EXPECT_EQ(a.toVector(), (std::vector<std::uint8_t>{1, 2, 3}));

    EXPECT_EQ(Data(), Data(std::vector<std::uint8_t>{}));
    EXPECT_TRUE(Data().empty());
    EXPECT_EQ(Data().bytes().size(), 0u);
    EXPECT_FALSE(Data().sharesStorageWith(Data()));
    EXPECT_EQ(Data(std::string_view("veltrane-path:/x")).toString(), "veltrane-path:/x");
}
