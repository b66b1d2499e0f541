#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace zarvo {

// The keyboard layout now in use, asked again at every call so that a change
// of layout shows at once.
class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;

    // The characters the key with this virtual key code (platform/keycodes.h)
    // is labelled with on the current layout: no modifiers, and a dead key
    // gives its spacing character instead of waiting for the next key. Empty
    // when the layout gives the key no character; nothing when there is no
    // current layout at all.
    virtual std::optional<QString> keyLabel(quint16 virtualKeyCode) = 0;
};

} // namespace zarvo
