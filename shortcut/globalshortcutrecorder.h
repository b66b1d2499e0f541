#pragma once

class QWidget;

namespace zarvo {

class ShortcutView;

// The object name of the settings window's row that takes the recorder of
// the global shortcut: a QWidget with a QHBoxLayout.
inline constexpr const char* kShortcutRecorderSlotName = "shortcutRecorderSlot";

// The object name of the label beside the recorder that says why the global
// shortcut does not work, or what the desktop bound it to; hidden when empty.
inline constexpr const char* kShortcutStatusName = "shortcutStatus";

// Puts a shortcut recorder bound to the global shortcut's user-defaults key
// into the row named kShortcutRecorderSlotName under SETTINGSWINDOW, and makes
// it the buddy of the row's label. What the user records there is stored at
// once, and the global hot key follows it. Returns the recorder; null, and
// nothing done, when there is no such row.
ShortcutView* addGlobalShortcutRecorder(QWidget* settingsWindow);

} // namespace zarvo
