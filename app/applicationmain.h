#pragma once

namespace zarvo {

// Runs the desktop application (`zarvo` without a subcommand): the tray icon,
// the panel and the global shortcut, one per user session and display. A
// start while another runs hands over to it and returns 0. Returns the
// process's exit status.
int runApplication(int argc, char** argv);

} // namespace zarvo
