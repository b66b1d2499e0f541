#pragma once

#include "platform/atomicfile.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace zarvo {

// Starting the application when the user logs in, through the desktop's
// autostart folder: $XDG_CONFIG_HOME/autostart/zarvo.desktop
// (~/.config/autostart when the variable is unset or not absolute).
QString autostartEntryPath();

// The desktop entry that starts EXECUTABLE, an absolute path, at login.
// Absent when the path cannot be written into an entry's Exec line (it is
// relative or holds a control character).
std::optional<QByteArray> autostartEntry(const QString& executable);

// Whether the entry is there.
bool startsAtLogin();

// Writes the entry for EXECUTABLE (atomically, making the folder if needed)
// or removes it. Removing an entry that is not there succeeds.
Status setStartAtLogin(bool enabled, const QString& executable);

} // namespace zarvo
