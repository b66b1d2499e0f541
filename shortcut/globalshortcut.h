#pragma once

#include "shortcut/shortcut.h"

#include <QString>

#include <functional>

namespace zarvo {

// The user-defaults key of the application's global shortcut.
QString globalShortcutDefaultsKey(); // "ZarvoShortcut"

// Control-Alt-Super-K: key code 40 with Control, Option and Command.
Shortcut defaultGlobalShortcut();

// Start-up of the global shortcut; the application delegate calls it once
// when launching has finished, with a TOGGLE that calls its togglePanel().
//
// Stores defaultGlobalShortcut() under globalShortcutDefaultsKey() only when
// nothing usable is stored there: a shortcut the user recorded is kept, and so
// is the archive of an empty root (the user deleted the shortcut on purpose);
// a missing key, a value that is not data, or data that is no archive gets the
// default. Then binds the key to a hot key calling TOGGLE, registered before
// this returns; from then on the hot key follows every change of the stored
// shortcut (the recorder, another process, a hand edit).
//
// Needs the hot key service installed first (services().hotKeys); without one
// the shortcut is stored but no hot key is registered.
void installGlobalShortcut(std::function<void()> toggle);

} // namespace zarvo
