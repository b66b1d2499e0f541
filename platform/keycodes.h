#pragma once

#include <QtGlobal>

#include <optional>

namespace zarvo {

// Virtual key codes name a key by its position on the keyboard, whatever the
// layout: 0 is the key labelled A on a US keyboard, 40 the K key, 49 the space
// bar, 36 Return. Shortcuts keep them, in memory and in their archive; X11
// names the same physical keys by keycode (the kernel's evdev code plus 8).
// The one table between the two lives in keycodes.cpp.
namespace keycode {

// The X11 keycode of the key with this virtual key code, or nothing when
// there is no such key on an X server.
std::optional<quint32> x11KeycodeForVirtualKey(quint64 virtualKeyCode);

// The virtual key code of the key with this X11 keycode, or nothing when the
// key has no virtual key code.
std::optional<quint16> virtualKeyForX11Keycode(quint32 x11Keycode);

} // namespace keycode
} // namespace zarvo
