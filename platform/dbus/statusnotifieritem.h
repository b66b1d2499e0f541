#pragma once

#include "platform/statusitem.h"

#include <memory>

namespace zarvo::dbus {

// Whether a StatusNotifierWatcher is on the session bus with a host that
// shows the items registered with it (the tray of KDE Plasma, of GNOME's
// AppIndicator extension, of XFCE, Cinnamon, waybar). Asks the bus at once.
bool statusNotifierHostPresent();

// The status item as a StatusNotifierItem of our own on the session bus: the
// object /StatusNotifierItem under the name org.kde.StatusNotifierItem-PID-1,
// registered with the watcher now and again whenever the watcher's name
// reappears. Its clicks carry the point the host sends (converted from the
// screen's device pixels), and its icon is served as pixmaps. ID is the
// item's Id; TITLE its Title.
std::unique_ptr<StatusItem> createStatusNotifierItem(const QString& id, const QString& title);

} // namespace zarvo::dbus
