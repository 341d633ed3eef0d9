#pragma once

// The built-in test projects that the command line renders, each exercising one part of the export:
//
//     synthesizer   two synth tracks with vibrato, tremolo, slide and delay columns, master locks
//                   (delay, reverb, resonance) and an LFO on an instrument cutoff and the master delay
//     audio unit    the synthesizer test played partly by the mda JX10 instrument, with mda Delay as the
//                   only master insert
//     automation    one held note under a track-volume lane from 0.05 up to 1.0
//     sample        a looping sample and a sliced one, from a test sample made in memory
//
// They exist only in memory and are never saved.

#include "VeltraneCore/Models/Data.hpp"
#include "VeltraneCore/Models/Project.hpp"

#include <optional>
#include <string_view>

namespace veltrane {

enum class RenderSmokeTest { synthesizer, audioUnit, automation, sample };

/// The command-line option of each test: "--render-smoke", "--render-au-smoke",
/// "--render-automation-smoke", "--render-sample-smoke".
std::string_view renderSmokeOption(RenderSmokeTest test);
/// The test an argument names, compared exactly; nothing for any other argument.
std::optional<RenderSmokeTest> renderSmokeTest(std::string_view option);

Project renderSmokeProject(RenderSmokeTest test);

Project synthesizerSmokeProject();
Project audioUnitSmokeProject();
Project automationSmokeProject();
Project sampleSmokeProject();

/// A mono 16-bit 44,100 Hz WAV file of one second (88,244 bytes): half a second at 220 Hz, then half a
/// second at 330 Hz, each half starting with a 1/180-second rise and decaying; the sine runs on across
/// the change of pitch.
Data smokeSampleWAV();

} // namespace veltrane
