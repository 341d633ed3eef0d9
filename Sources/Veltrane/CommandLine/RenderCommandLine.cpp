#include "Veltrane/CommandLine/RenderCommandLine.hpp"

#include <exception>

namespace veltrane {

std::optional<RenderCommand> renderCommand(std::span<const std::string_view> arguments)
{
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const auto test = renderSmokeTest(arguments[index]);
        if (!test) continue;
        if (index + 1 == arguments.size()) return std::nullopt;
        return RenderCommand{*test, std::string(arguments[index + 1])};
    }
    return std::nullopt;
}

int runRenderCommand(const RenderCommand& command, OfflineRenderer& renderer, std::ostream& errors)
{
    std::string reason;
    try {
        renderer.render(renderSmokeProject(command.test), command.outputPath);
        return 0;
    } catch (const std::exception& error) {
        reason = error.what();
    } catch (...) {
        reason = "An unknown error occurred.";
    }
    // One line, whatever the message holds, so scripts can read it.
    for (char& c : reason) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    errors << "Veltrane render smoke failed: " << reason << '\n';
    errors.flush();
    return 1;
}

} // namespace veltrane
