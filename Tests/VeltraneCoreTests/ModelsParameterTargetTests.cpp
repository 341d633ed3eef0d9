#include "VeltraneCore/Models/ParameterTarget.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace veltrane;

namespace {

struct Row {
    ParameterTarget target;
    const char* rawValue;
    const char* label;
    double low;
    double high;
    double defaultValue;
    bool continuous;
};

using T = ParameterTarget;

// The whole table, written out once more so that a slip in either copy shows.
const Row table[] = {
    {T::instrumentVolume, "instrumentVolume", "Instrument Volume", 0, 1, 0.85, true},
    {T::instrumentPan, "instrumentPan", "Instrument Pan", -1, 1, 0, true},
    {T::instrumentTune, "instrumentTune", "Instrument Tune", -48, 48, 0, false},
    {T::instrumentCutoff, "instrumentCutoff", "Instrument Cutoff", 20, 20000, 18000, true},
    {T::instrumentResonance, "instrumentResonance", "Instrument Resonance", 0.05, 5, 0.7, true},
    {T::instrumentAttack, "instrumentAttack", "Instrument Attack", 0, 2, 0.002, false},
    {T::instrumentDecay, "instrumentDecay", "Instrument Decay", 0, 2, 0.08, false},
    {T::instrumentSustain, "instrumentSustain", "Instrument Sustain", 0, 1, 0.8, false},
    {T::instrumentRelease, "instrumentRelease", "Instrument Release", 0, 2, 0.08, false},
    {T::instrumentWaveform, "instrumentWaveform", "Instrument Waveform", 0, 3, 0, false},
    {T::instrumentFMAmount, "instrumentFMAmount", "Instrument FM Amount", 0, 1, 0.5, false},
    {T::instrumentFMCarrierRatio, "instrumentFMCarrierRatio", "FM Carrier Ratio", 0.25, 8, 1, false},
    {T::instrumentFMCarrierFine, "instrumentFMCarrierFine", "FM Carrier Fine", -100, 100, 0, false},
    {T::instrumentFMCarrierWaveform, "instrumentFMCarrierWaveform", "FM Carrier Waveform", 0, 3, 0, false},
    {T::instrumentFMModulatorRatio, "instrumentFMModulatorRatio", "FM Modulator Ratio", 0.25, 8, 1, false},
    {T::instrumentFMModulatorFine, "instrumentFMModulatorFine", "FM Modulator Fine", -100, 100, 0, false},
    {T::instrumentFMModulatorWaveform, "instrumentFMModulatorWaveform", "FM Modulator Waveform", 0, 3, 0, false},
    {T::trackVolume, "trackVolume", "Track Volume", 0, 1, 0.85, true},
    {T::trackPan, "trackPan", "Track Pan", -1, 1, 0, true},
    {T::trackCutoff, "trackCutoff", "Track Cutoff", 20, 20000, 20000, true},
    {T::trackResonance, "trackResonance", "Track Resonance", 0.05, 5, 0.7, true},
    {T::trackDrive, "trackDrive", "Track Drive", 0, 1, 0, true},
    {T::masterVolume, "masterVolume", "Master Volume", 0, 1, 0.8, true},
    {T::masterCutoff, "masterCutoff", "Master Cutoff", 20, 20000, 18000, true},
    {T::masterResonance, "masterResonance", "Master Resonance", 0.05, 5, 0.7, true},
    {T::masterDrive, "masterDrive", "Master Drive", 0, 1, 0, true},
    {T::masterDelay, "masterDelay", "Master Delay", 0, 1, 0, true},
    {T::masterDelayTime, "masterDelayTime", "Master Delay Time", 0.02, 1, 0.25, true},
    {T::masterDelayFeedback, "masterDelayFeedback", "Master Delay Feedback", 0, 85, 35, true},
    {T::masterReverb, "masterReverb", "Master Reverb", 0, 1, 0, true},
    {T::masterBitDepth, "masterBitDepth", "Master Bit Depth", 4, 16, 16, true},
};

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

} // namespace

TEST(ParameterTarget, TableOfLabelsRangesDefaultsAndRoundTrips)
{
    ASSERT_EQ(std::size(table), allParameterTargets.size());
    std::uint32_t continuousMask = 0;
    for (std::size_t i = 0; i < std::size(table); ++i) {
        const auto& row = table[i];
        SCOPED_TRACE(row.rawValue);
        EXPECT_EQ(allParameterTargets[i], row.target);
        EXPECT_EQ(toRawValue(row.target), row.rawValue);
        EXPECT_EQ(fromRawValue<ParameterTarget>(row.rawValue), row.target);
        EXPECT_EQ(label(row.target), row.label);
        EXPECT_EQ(range(row.target), (ParameterRange{row.low, row.high}));
        EXPECT_EQ(defaultValue(row.target), row.defaultValue);
        EXPECT_EQ(isContinuousModulation(row.target), row.continuous);
        if (row.continuous) continuousMask |= 1u << i;

        const bool noteStart = isInstrumentTarget(row.target) && !row.continuous;
        EXPECT_EQ(modulationLabel(row.target), noteStart ? std::string(row.label) + " \u00B7 Note Start" : row.label);

        EXPECT_EQ(normalized(row.target, row.low), 0);
        EXPECT_EQ(normalized(row.target, row.high), 1);
        EXPECT_EQ(normalized(row.target, row.low - 1000), 0);
        EXPECT_DOUBLE_EQ(normalized(row.target, row.high + 1000), 1);
        EXPECT_EQ(clamped(row.target, notANumber), row.low);
        EXPECT_EQ(valueAtNormalized(row.target, notANumber), row.low);
        // The ends are exact and every result lies in the range, so a value written back from a lane
        // is a valid lock.
        EXPECT_EQ(valueAtNormalized(row.target, 0), row.low);
        EXPECT_EQ(valueAtNormalized(row.target, 1), row.high);
        EXPECT_EQ(valueAtNormalized(row.target, normalized(row.target, row.high)), row.high);
        EXPECT_EQ(valueAtNormalized(row.target, 1.5), valueAtNormalized(row.target, 1));
        EXPECT_EQ(valueAtNormalized(row.target, -0.5), row.low);
        for (double m = 0; m <= 1; m += 1.0 / 64) EXPECT_TRUE(range(row.target).contains(valueAtNormalized(row.target, m)));
        for (const double fraction : {0.0, 0.1, 0.37, 0.5, 0.9, 1.0}) {
            const double value = row.low + fraction * (row.high - row.low);
            EXPECT_NEAR(valueAtNormalized(row.target, normalized(row.target, value)), value, 1e-9 * (row.high - row.low));
        }
        EXPECT_NEAR(valueAtNormalized(row.target, normalized(row.target, row.defaultValue)), row.defaultValue, 1e-9 * row.high);
    }
    EXPECT_EQ(continuousMask, 0x7FFE001Bu);
}

TEST(ParameterTarget, CutoffsUseALogarithmicScale)
{
    for (const auto target : {T::instrumentCutoff, T::trackCutoff, T::masterCutoff}) {
        SCOPED_TRACE(std::string(toRawValue(target)));
        EXPECT_TRUE(isCutoffTarget(target));
        EXPECT_EQ(normalized(target, 20), 0);
        EXPECT_NEAR(normalized(target, 200), 1.0 / 3.0, 1e-12);
        EXPECT_NEAR(normalized(target, 2000), 2.0 / 3.0, 1e-12);
        EXPECT_NEAR(normalized(target, 20000), 1, 1e-12);
        EXPECT_NEAR(normalized(target, 5), 0, 1e-15);
        EXPECT_NEAR(valueAtNormalized(target, 0.5), 632.455532, 1e-5);
        EXPECT_NEAR(valueAtNormalized(target, 0.25), 20 * std::pow(1000, 0.25), 1e-9);
    }
    // Other targets stay linear.
    EXPECT_EQ(valueAtNormalized(T::trackPan, 0.5), 0);
    EXPECT_EQ(valueAtNormalized(T::masterBitDepth, 0.5), 10);
    EXPECT_EQ(normalized(T::instrumentResonance, 2.525), 0.5);
}

TEST(ParameterTarget, ClampsAndRejectsUnknownRawValues)
{
    EXPECT_EQ(clamped(T::instrumentTune, 100), 48);
    EXPECT_EQ(clamped(T::instrumentFMCarrierFine, -1000), -100);
    EXPECT_EQ(clamped(T::trackDrive, 0.3), 0.3);
    EXPECT_EQ(clamped(T::masterBitDepth, -std::numeric_limits<double>::infinity()), 4);

    EXPECT_TRUE(range(T::masterBitDepth).contains(4));
    EXPECT_TRUE(range(T::masterBitDepth).contains(16));
    EXPECT_FALSE(range(T::masterBitDepth).contains(3));
    EXPECT_FALSE(range(T::masterBitDepth).contains(notANumber));

    EXPECT_FALSE(fromRawValue<ParameterTarget>("InstrumentVolume"));
    EXPECT_FALSE(fromRawValue<ParameterTarget>("trackvolume"));
    EXPECT_FALSE(fromRawValue<ParameterTarget>("Track Volume"));
    EXPECT_FALSE(fromRawValue<ParameterTarget>(""));

    int instrument = 0, track = 0, master = 0;
    for (const auto target : allParameterTargets) {
        instrument += isInstrumentTarget(target);
        track += isTrackTarget(target);
        master += isMasterTarget(target);
        EXPECT_TRUE(toRawValue(target).starts_with(isInstrumentTarget(target) ? "instrument"
                                                   : isTrackTarget(target)    ? "track"
                                                                              : "master"));
    }
    EXPECT_EQ(instrument, 17);
    EXPECT_EQ(track, 5);
    EXPECT_EQ(master, 9);
}
