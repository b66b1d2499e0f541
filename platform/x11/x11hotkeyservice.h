#pragma once

#include "platform/hotkeyservice.h"

#include <QByteArray>

#include <memory>

namespace zarvo::x11 {

// Hot keys as key grabs on the root window of the application's own X
// connection. A registration grabs the combination once for every state of
// Caps Lock, Num Lock and Scroll Lock, and fails as `taken` when another X
// client holds any of those grabs. Presses reach the handlers
// on the main thread through Qt's event loop (a native event filter on the
// xcb connection), once per press: auto-repeat does not press again.
// Null without an X connection.
std::unique_ptr<HotKeyService> createHotKeyService();

// The same on a connection of its own to DISPLAY (":N"), which the server sees
// as another X client; it grabs but delivers no presses. Null when the display
// cannot be opened. For tests that need another program holding a grab.
std::unique_ptr<HotKeyService> createHotKeyServiceOnDisplay(const QByteArray& display);

} // namespace zarvo::x11
