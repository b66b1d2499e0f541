#pragma once

#include <QStringList>

#include <optional>

namespace zarvo {

// Runs `zarvo SUBCOMMAND ...` (ARGS without the program name). Returns the
// exit status, or nothing when ARGS name no subcommand and the desktop
// application should start instead. Needs no display.
std::optional<int> runCommandLine(const QStringList& args);

} // namespace zarvo
