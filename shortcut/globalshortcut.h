#pragma once

#include "platform/hotkeyservice.h"
#include "shortcut/shortcut.h"

#include <QString>

#include <functional>
#include <optional>

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
//
// Never silent: the first time in this process that the stored shortcut gets
// no working hot key (at start-up, after a recording, or when the desktop
// takes it back), the user is told with a desktop notification
// (platform/notifier.h) what happened and what to do; the settings row says
// it for as long as it lasts (globalShortcutStatusText()).
void installGlobalShortcut(std::function<void()> toggle);

// Why the stored global shortcut has no working hot key; nothing when it has
// one, or when no shortcut is stored, or before installGlobalShortcut().
std::optional<HotKeyFailure> globalShortcutFailure();
// What the settings row shows beside the recorder: the reason the shortcut
// does not work, or the trigger the desktop bound it to where the desktop
// chooses it; empty when there is nothing to add to the recorder's value.
QString globalShortcutStatusText();
// The notification for a global shortcut SHORTCUT that failed for WHY: a
// summary and a body saying what to do.
struct GlobalShortcutNotice {
    QString summary;
    QString body;
};
GlobalShortcutNotice globalShortcutNotice(HotKeyFailure why, const Shortcut& shortcut);

// Tests only: the next failure notifies again, as in a new process.
void resetGlobalShortcutNoticeForTesting();

} // namespace zarvo
