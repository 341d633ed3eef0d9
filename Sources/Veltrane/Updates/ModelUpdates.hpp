#pragma once

// The update commands beside the application model. The model decides when an update would cut work
// short, and shows the commands' state (the update found, an install running, a check the user asked
// for) to the window through its own properties.
//
//     UpdateCommands commands({.checker = checker, .installer = installer, .dialogs = dialogs,
//                              .settings = settings,
//                              .isBusy = [&model] { return updateWouldInterrupt(model); },
//                              .quitApplication = quit},
//                             applicationVersion(ApplicationBundle::running().path));
//     mirrorUpdateState(commands, model);
//     commands.checkForUpdate(); // at the window's start, never in a command-line render

namespace veltrane {

class AppModel;
class UpdateCommands;

/// Whether quitting for an update now would cut work short: playback or its preparation, an export, or a
/// sample or live recording.
bool updateWouldInterrupt(const AppModel& model);

/// Sets the model's update properties to the commands' now, and again whenever they change, for as long
/// as both exist.
void mirrorUpdateState(const UpdateCommands& commands, AppModel& model);

} // namespace veltrane
