#pragma once

// The mda-lv2 plug-ins as a project refers to them: the codes the catalogue gives the mda JX10 instrument
// and the mda Delay effect, beside the plug-in host helpers (their URIs, the shared host, and the skip
// when the bundle is not installed). Tests that put these plug-ins into a project start from here.

#include "../VeltranePlatformTests/PluginHostTestSupport.hpp"

#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"
#include "VeltraneCore/Text/Fnv1a.hpp"

namespace veltrane::testing {

inline const AudioUnitReference jx10Reference{audioUnitInstrumentType, fnv1a32(jx10Uri), fnv1a32("drobilla.net"),
                                              "MDA JX10", "David Robillard"};
inline const AudioUnitReference delayReference{audioUnitEffectType, fnv1a32(delayUri), fnv1a32("drobilla.net"),
                                               "MDA Delay", "David Robillard"};

} // namespace veltrane::testing
