#pragma once

// The render run of the application's entry. It starts as every run does, with the one application
// model made (the autosave read into its recovery slot, the plug-ins listed), then renders the test
// project on a worker while this thread keeps serving its events, and returns the process status.
// The model gets no update commands and no MIDI ports: a render run never reaches for the network or
// the machine's MIDI devices.

#include "Veltrane/CommandLine/RenderCommandLine.hpp"

#include <ostream>

namespace veltrane {

/// Needs the application object. Writes the one failure line to `errors` from this thread.
int runRenderInApplication(const RenderCommand& command, std::ostream& errors);

} // namespace veltrane
