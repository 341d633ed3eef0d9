#include "Veltrane/CommandLine/RenderCommandLine.hpp"
#include "VeltraneVersion.hpp"

#include <cstdio>
#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    // A render run is decided before anything else starts: it opens no window and touches no audio
    // device, MIDI port, update check or autosave.
    const std::vector<std::string_view> arguments(argv, argv + argc);
    if (const auto command = veltrane::renderCommand(arguments)) {
        veltrane::OfflineRenderer renderer;
        return veltrane::runRenderCommand(*command, renderer, std::cerr);
    }
    std::printf("Veltrane %s\n", veltrane::kVeltraneVersion);
    return 0;
}
