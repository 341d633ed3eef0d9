#pragma once

// How a project's mixer and master settings become node parameters. The engine writes these values when
// a project is applied, and bus automation writes the same formulas while a lane or route moves them, so
// a lane that holds the static value sounds exactly like no lane at all.
//
//     StripSettings strip = stripSettings(project.mixer[2], anySolo(project));
//     track.mixer->setOutputVolume(strip.volume);
//
// Pure: values in, values out.

#include "VeltraneCore/Models/MasterFX.hpp"
#include "VeltraneCore/Models/MixerTrack.hpp"
#include "VeltraneCore/Models/Project.hpp"

namespace veltrane {

/// A filter that no setting closes: a strip without a cutoff of its own, and any filter whose cutoff or
/// resonance a lane or route moves, before its first update. 20 kHz sits just under the export's
/// Nyquist frequency.
inline constexpr double neutralCutoff = 20000;
inline constexpr double neutralResonance = 0.7;

/// The node values of one track strip.
struct StripSettings {
    float volume = 0.85f;     // strip mixer output volume: 0 when muted or silenced by another's solo
    float pan = 0;            // strip mixer pan
    float cutoff = 20000;     // strip filter frequency, Hz
    float bandwidth = 0.7f;   // strip filter bandwidth
    float drivePreGain = 0;   // dB
    float driveWetDryMix = 0; // percent

    friend bool operator==(const StripSettings&, const StripSettings&) = default;
};

/// The bit-crusher's three values for a bit depth.
struct CrusherSettings {
    float wetDryMix = 0;     // 100 below 15.9 bits, else 0
    float rounding = 0;      // percent: 0 at 16 bits, 100 at 4
    float decimationMix = 0; // percent: 0 from 12 bits up, 35 at 4

    friend bool operator==(const CrusherSettings&, const CrusherSettings&) = default;
};

/// The node values of the master chain (before the limiter, which keeps its own settings).
struct MasterSettings {
    float cutoff = 18000;
    float bandwidth = 0.7f;
    float drivePreGain = 0;
    float driveWetDryMix = 0;
    CrusherSettings crusher;
    float delayWetDryMix = 0;
    double delayTime = 0.25; // seconds, kept in double precision
    float delayFeedback = 35;
    float reverbWetDryMix = 0;

    friend bool operator==(const MasterSettings&, const MasterSettings&) = default;
};

/// A strip without a mixer entry plays with `MixerTrack{}`.
StripSettings stripSettings(const MixerTrack& track, bool anySolo);
/// Whether any mixer entry (not only the first 32) is soloed.
bool anySolo(const Project& project);

/// Strip volume: mute wins over solo; while another strip is soloed, a strip that is not is silent.
float stripVolume(const MixerTrack& track, bool anySolo, double volume);
float stripDrivePreGain(double drive);
float stripDriveWetDryMix(double drive);

/// `MasterFX{}` for a project without master effects.
MasterSettings masterSettings(const MasterFX& master);
/// The master filter's bandwidth from its resonance, held to 0.05 ... 5.
float masterFilterBandwidth(double resonance);
float masterDrivePreGain(double drive);
float masterDriveWetDryMix(double drive);
/// A missing bit depth means 16 bits.
CrusherSettings crusherSettings(double bitDepth);

} // namespace veltrane
