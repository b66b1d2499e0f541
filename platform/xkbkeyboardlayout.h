#pragma once

#include "platform/keyboardlayout.h"

#include <QString>
#include <QtGlobal>

#include <memory>

struct xkb_keymap;

namespace zarvo {

// The label of the key with this virtual key code in group LAYOUT of KEYMAP,
// at the shift level of no modifiers; a dead key gives its spacing character.
// Empty when the key has no character there or no X11 keycode at all.
QString xkbKeyLabel(xkb_keymap* keymap, quint32 layout, quint16 virtualKeyCode);

// The keysym name of the key with this virtual key code on a US keyboard, at
// the shift level of no modifiers: "k", "F5", "Return", "space", "comma".
// Desktops' shortcut settings name keys this way. Empty when the key has no
// keysym there, or xkbcommon has no US keymap.
QString usKeysymName(quint64 virtualKeyCode);

// The keymap xkbcommon builds from the environment's defaults (the
// XKB_DEFAULT_RULES, _MODEL, _LAYOUT, _VARIANT and _OPTIONS variables, else
// xkbcommon's own defaults), in its first group. Used where there is no X
// server to ask: the command line and the offscreen tests. The keymap is
// rebuilt whenever those variables change.
class EnvironmentKeyboardLayout final : public KeyboardLayout {
public:
    EnvironmentKeyboardLayout();
    ~EnvironmentKeyboardLayout() override;
    EnvironmentKeyboardLayout(const EnvironmentKeyboardLayout&) = delete;
    EnvironmentKeyboardLayout& operator=(const EnvironmentKeyboardLayout&) = delete;

    std::optional<QString> keyLabel(quint16 virtualKeyCode) override;

private:
    struct Keymap;
    std::unique_ptr<Keymap> keymap_;
};

// The process-wide environment layout, created on first use.
EnvironmentKeyboardLayout& environmentKeyboardLayout();

// The layout the shortcut texts use: the installed service when there is one
// (services().keyboardLayout), the environment layout otherwise.
KeyboardLayout& currentKeyboardLayout();

} // namespace zarvo
