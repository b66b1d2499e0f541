#pragma once

#include "platform/notifier.h"

#include <functional>
#include <memory>

namespace zarvo::dbus {

// Where a notification goes when no notification server answers on the
// session bus (no bus, no server, or the server refused it): the tray's own
// message balloon, say. May be empty.
using NotificationFallback = std::function<void(const QString& summary, const QString& body)>;

// Notifications through org.freedesktop.Notifications on the session bus.
// notify() returns at once; the answer, or the fall-back, comes later from
// the event loop.
std::unique_ptr<Notifier> createDesktopNotifier(NotificationFallback fallback);

} // namespace zarvo::dbus
