#pragma once

#include "shortcut/shortcut.h"

#include <QString>

namespace zarvo {

// A shortcut written as the desktops' own settings write key combinations.
// The key is named by its keysym on a US keyboard (platform/xkbkeyboardlayout.h);
// each is empty when the key has no such name.

// The desktop portal's syntax: "CTRL+ALT+LOGO+k".
QString portalTrigger(quint64 keyCode, quint64 modifierFlags);
// GNOME's accelerator syntax (gsettings): "<Control><Alt><Super>k".
QString gnomeAccelerator(const Shortcut& shortcut);
// A sway or i3 configuration line running COMMAND:
// "bindsym Ctrl+Mod1+Mod4+k exec COMMAND".
QString swayBinding(const Shortcut& shortcut, const QString& command);
// A Hyprland configuration line running COMMAND:
// "bind = CTRL ALT SUPER, k, exec, COMMAND".
QString hyprlandBinding(const Shortcut& shortcut, const QString& command);

} // namespace zarvo
