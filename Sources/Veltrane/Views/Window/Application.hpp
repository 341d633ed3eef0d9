#pragma once

// The windowed run of the application: the one model, the main window, the update check at launch,
// a project given on the command line, or the build's screenshot run.

#include "Veltrane/Views/Window/ApplicationOptions.hpp"

class QApplication;

namespace veltrane {

/// Sets the application's names, which place its settings and data folder. Any application object.
void configureApplicationNames();

/// Sets the application's names, style and palette. Call once, right after the QApplication is made.
void configureApplication(QApplication& application);

/// Runs the window until it closes; returns the process status.
int runApplication(QApplication& application, const ApplicationOptions& options);

} // namespace veltrane
