#pragma once

#include <QString>

namespace zarvo {

// The program a user starts this application with, for an autostart entry:
// `zarvo` beside this program when this is zarvo-desktop (which `zarvo` runs
// in its own place, app/main.cpp), else this program itself.
QString launcherProgram();

} // namespace zarvo
