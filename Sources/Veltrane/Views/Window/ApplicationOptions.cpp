#include "Veltrane/Views/Window/ApplicationOptions.hpp"

namespace veltrane {

ApplicationOptions parseApplicationOptions(const QStringList& arguments)
{
    ApplicationOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--screenshots")) {
            if (i + 1 < arguments.size()) options.screenshotFolder = arguments[++i];
        } else if (argument == QLatin1String("--")) {
            if (i + 1 < arguments.size() && !options.projectPath) options.projectPath = arguments[i + 1];
            break;
        } else if (argument.startsWith(QLatin1Char('-'))) {
            continue; // an option of the toolkit, or one this run does not take
        } else if (!options.projectPath) {
            options.projectPath = argument;
        }
    }
    return options;
}

} // namespace veltrane
