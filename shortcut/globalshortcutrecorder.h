#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace zarvo {

class ShortcutView;

// The object name of the settings window's row that takes the recorder of
// the global shortcut: a QWidget with a QHBoxLayout.
inline constexpr const char* kShortcutRecorderSlotName = "shortcutRecorderSlot";

// The object name of the label beside the recorder that says why the global
// shortcut does not work, or what the desktop bound it to; hidden when empty.
inline constexpr const char* kShortcutStatusName = "shortcutStatus";

// The object name of the button beside the recorder that binds the shortcut
// in the desktop's own keyboard settings; shown while the desktop gives no
// global hot keys and a binder is set.
inline constexpr const char* kDesktopKeybindingButtonName = "bindInDesktopSettings";

// What the button does: writes the desktop's keybinding for the stored
// shortcut and answers what to tell the user. Empty: no button.
using DesktopKeybindingBinder = std::function<QString()>;
void setDesktopKeybindingBinder(DesktopKeybindingBinder binder);

// Puts a shortcut recorder bound to the global shortcut's user-defaults key
// into the row named kShortcutRecorderSlotName under SETTINGSWINDOW, and makes
// it the buddy of the row's label. What the user records there is stored at
// once, and the global hot key follows it. Returns the recorder; null, and
// nothing done, when there is no such row.
ShortcutView* addGlobalShortcutRecorder(QWidget* settingsWindow);

} // namespace zarvo
