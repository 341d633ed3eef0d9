#pragma once

// The command-line test renders: `veltrane --render-smoke out.wav` renders a built-in test project to
// out.wav and ends the process, with status 0, or 1 after one line on standard error.
//
// The arguments are visited in order, the program path first; the first one that is a render option
// decides. The argument after it is the output path (relative paths count from the working folder).
// An option given as the last argument is ignored and the application starts as usual.

#include "VeltranePlayback/OfflineRender/OfflineRenderer.hpp"
#include "VeltranePlayback/SmokeProjects/RenderSmokeProjects.hpp"

#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace veltrane {

struct RenderCommand {
    RenderSmokeTest test = RenderSmokeTest::synthesizer;
    std::string outputPath;
    friend bool operator==(const RenderCommand&, const RenderCommand&) = default;
};

/// The render the arguments ask for, or nothing when the application should start normally.
std::optional<RenderCommand> renderCommand(std::span<const std::string_view> arguments);

/// Renders the command's test project and returns the process's exit status: 0 when the file is
/// written, else 1 after writing "Veltrane render smoke failed: " and the reason as one line to `errors`.
int runRenderCommand(const RenderCommand& command, OfflineRenderer& renderer, std::ostream& errors);

} // namespace veltrane
