#pragma once

namespace veltrane {

/// The number of MIDI sources the system lists now; 0 when it has no MIDI service.
int midiSourceCount();

} // namespace veltrane
