#include "Veltrane/CommandLine/RenderCommandLine.hpp"
#include "Veltrane/Views/Window/Application.hpp"

#include <QApplication>

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

    QApplication application(argc, argv);
    veltrane::configureApplication(application);
    // The toolkit has taken its own options out of argv by now.
    QStringList rest;
    for (int i = 1; i < argc; ++i) rest << QString::fromLocal8Bit(argv[i]);
    return veltrane::runApplication(application, veltrane::parseApplicationOptions(rest));
}
