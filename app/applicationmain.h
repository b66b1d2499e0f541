#pragma once

#include <QString>

namespace zarvo {

// Runs the desktop application (`zarvo` without a subcommand): the tray icon,
// the panel and the global shortcut, one per user session and display. A
// start while another runs hands over to it and returns 0. Returns the
// process's exit status.
int runApplication(int argc, char** argv);

// The program a user starts this application with, for an autostart entry:
// `zarvo` beside this program when this is zarvo-desktop (which `zarvo` runs
// in its own place, app/main.cpp), else this program itself.
QString launcherProgram();

} // namespace zarvo
