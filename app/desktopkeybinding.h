#pragma once

#include "shortcut/shortcut.h"

#include <QString>
#include <QStringList>

namespace zarvo {

// A keybinding of the desktop's own that runs "zarvo toggle", for desktops
// that give applications no global hot keys.

// The GNOME custom keybinding `zarvo shortcut bind` writes (through
// gsettings) under this path.
inline constexpr const char* kGnomeKeybindingPath =
    "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/zarvo/";

// What became of a bind or an unbind: the lines to show the user, and
// whether GNOME's settings took it (false also where GNOME's settings are
// not installed; the lines then say so).
struct DesktopKeybindingResult {
    bool written = false;
    QStringList lines;
};

// Binds SHORTCUT to "PROGRAM toggle" (PROGRAM the path of `zarvo`) as a
// GNOME custom keybinding (added to the custom-keybindings list, which keeps
// the user's other entries), and gives the lines to add to the configuration
// of sway or i3 and of Hyprland.
DesktopKeybindingResult bindDesktopKeybinding(const Shortcut& shortcut, const QString& program);
// Removes what bindDesktopKeybinding() wrote for GNOME; other entries stay.
DesktopKeybindingResult unbindDesktopKeybinding();

} // namespace zarvo
