#pragma once

// What the command line asks of a windowed run: a project to open at start, and, for the screenshot
// run of the build, a folder to save pictures of the window into before quitting.

#include <QString>
#include <QStringList>

#include <optional>

namespace veltrane {

struct ApplicationOptions {
    /// A project file to open at start (the first argument that is not an option).
    std::optional<QString> projectPath;
    /// Set by "--screenshots FOLDER": play the demo, save the window's pictures there and quit.
    std::optional<QString> screenshotFolder;
    friend bool operator==(const ApplicationOptions&, const ApplicationOptions&) = default;
};

/// Reads the arguments after the program name. Options the run does not know (the toolkit's own, such
/// as "-platform offscreen") are left alone.
ApplicationOptions parseApplicationOptions(const QStringList& arguments);

} // namespace veltrane
