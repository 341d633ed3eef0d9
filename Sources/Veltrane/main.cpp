#include "Veltrane/CommandLine/RenderRun.hpp"
#include "Veltrane/Views/Window/Application.hpp"

#include <QApplication>
#include <QCoreApplication>

#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    // A render run opens no window, so it needs no display: its application object is a plain one.
    const std::vector<std::string_view> arguments(argv, argv + argc);
    if (const auto command = veltrane::renderCommand(arguments)) {
        QCoreApplication application(argc, argv);
        veltrane::configureApplicationNames();
        return veltrane::runRenderInApplication(*command, std::cerr);
    }

    QApplication application(argc, argv);
    veltrane::configureApplication(application);
    // The toolkit has taken its own options out of argv by now.
    QStringList rest;
    for (int i = 1; i < argc; ++i) rest << QString::fromLocal8Bit(argv[i]);
    return veltrane::runApplication(application, veltrane::parseApplicationOptions(rest));
}
