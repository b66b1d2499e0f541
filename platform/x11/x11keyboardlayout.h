#pragma once

#include "platform/keyboardlayout.h"

#include <memory>

namespace zarvo::x11 {

// The keyboard layout of the X server the application runs on: its keymap and
// active group, asked again at every call. Null without an X connection.
std::unique_ptr<KeyboardLayout> createKeyboardLayout();

} // namespace zarvo::x11
