#pragma once

namespace veltrane::detail {

/// Some plug-ins run toolkit code in their audio part: synthv1 and its kin make a Qt application object
/// when they start, whose default platform aborts the whole process when no display can be reached (a
/// render from the command line on a server, a test machine). A process that has no display and chose
/// no Qt platform gets Qt's display-less one, so such a plug-in starts and plays, and draws nothing.
/// Call before a plug-in library is loaded; it decides once for the process.
void chooseDisplayLessToolkitWithoutDisplay();

} // namespace veltrane::detail
