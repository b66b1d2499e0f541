#pragma once

#include "shortcut/shortcut.h"

#include <QString>

class QWidget;

namespace zarvo {

// Why a combination cannot be used, as the recorder shows it.
struct ShortcutError {
    QString domain;               // "NSCocoaErrorDomain"
    int code = 0;                 // always 0
    QString localizedDescription; // the message, translated
};

// The rules that decide whether a combination typed into the recorder may
// become the global shortcut, asked in this order.

// True for Ctrl+W and Ctrl+Q alone (the keys labelled W and Q on the
// current layout), the application's Close and Quit: the recorder lets them
// through so that closing and quitting keep working.
bool shouldBypass(const Shortcut& shortcut);

// Enough modifiers for a hot key: function keys need none; otherwise Control
// or Super, or Alt (with or without Shift) for Space and Escape, or for any
// key while allowsAnyHotkeyWithOptionModifier() is set.
bool isValid(const Shortcut& shortcut);
bool allowsAnyHotkeyWithOptionModifier();
void setAllowsAnyHotkeyWithOptionModifier(bool allows);

// True when another program holds the combination as a system-wide shortcut,
// or an item of the main menu (setMainMenu()) uses it; ERROR, when given, is
// set only then, to the reason.
bool isTakenError(const Shortcut& shortcut, ShortcutError* error = nullptr);

// True when an action of MENU (a QMenu or a QMenuBar), or of any submenu below
// it, has the key equivalent KEYEQUIVALENT with the modifiers FLAGS; ERROR,
// when given, is set only then, naming the action. A null MENU has none.
bool isKeyEquivalent(const QString& keyEquivalent, quint64 flags, const QWidget* menu,
                     ShortcutError* error = nullptr);

// The application's main menu that isTakenError() searches: a QMenu or a
// QMenuBar, set by the application shell; none until then. Not owned; it
// reads as none once the menu is destroyed.
void setMainMenu(QWidget* menu);
QWidget* mainMenu();

} // namespace zarvo
