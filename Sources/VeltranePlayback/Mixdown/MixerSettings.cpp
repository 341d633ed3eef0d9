#include "VeltranePlayback/Mixdown/MixerSettings.hpp"

#include <algorithm>

namespace veltrane {

namespace {

constexpr double stripDriveGainDecibels = 14;
constexpr double stripDriveMixPercent = 65;
constexpr double masterDriveGainDecibels = 18;
constexpr double masterDriveMixPercent = 75;

} // namespace

bool anySolo(const Project& project)
{
    return std::any_of(project.mixer.begin(), project.mixer.end(), [](const MixerTrack& track) { return track.solo; });
}

float stripVolume(const MixerTrack& track, bool anySolo, double volume)
{
    if (track.muted) return 0;
    if (anySolo && !track.solo) return 0;
    return static_cast<float>(volume);
}

float stripDrivePreGain(double drive) { return static_cast<float>(drive * stripDriveGainDecibels); }
float stripDriveWetDryMix(double drive) { return static_cast<float>(drive * stripDriveMixPercent); }

StripSettings stripSettings(const MixerTrack& track, bool anySolo)
{
    const double drive = track.drive.value_or(0);
    return StripSettings{
        .volume = stripVolume(track, anySolo, track.volume),
        .pan = static_cast<float>(track.pan),
        .cutoff = static_cast<float>(track.cutoff.value_or(neutralCutoff)),
        // A track's resonance goes to the filter as it is; the node holds it to what it can do.
        .bandwidth = static_cast<float>(track.resonance.value_or(neutralResonance)),
        .drivePreGain = stripDrivePreGain(drive),
        .driveWetDryMix = stripDriveWetDryMix(drive),
    };
}

float masterFilterBandwidth(double resonance)
{
    if (!(resonance < 5.0)) return 5.0f;
    return static_cast<float>(std::max(resonance, 0.05));
}

float masterDrivePreGain(double drive) { return static_cast<float>(drive * masterDriveGainDecibels); }
float masterDriveWetDryMix(double drive) { return static_cast<float>(drive * masterDriveMixPercent); }

CrusherSettings crusherSettings(double bitDepth)
{
    // 16 bits is the untouched signal: the crusher only joins the sound below that, and its sample-and-hold
    // copy only from 12 bits down.
    return CrusherSettings{
        .wetDryMix = bitDepth < 15.9 ? 100.0f : 0.0f,
        .rounding = static_cast<float>((16 - bitDepth) / 12 * 100),
        .decimationMix = bitDepth < 12 ? static_cast<float>((12 - bitDepth) * 0.125 * 35) : 0.0f,
    };
}

MasterSettings masterSettings(const MasterFX& master)
{
    return MasterSettings{
        .cutoff = static_cast<float>(master.cutoff),
        .bandwidth = masterFilterBandwidth(master.resonance),
        .drivePreGain = masterDrivePreGain(master.drive),
        .driveWetDryMix = masterDriveWetDryMix(master.drive),
        .crusher = crusherSettings(master.bitDepth.value_or(16)),
        .delayWetDryMix = static_cast<float>(master.delayMix * 100),
        .delayTime = master.delayTime,
        .delayFeedback = static_cast<float>(master.delayFeedback),
        .reverbWetDryMix = static_cast<float>(master.reverbMix * 100),
    };
}

} // namespace veltrane
