#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace zarvo::x11 {

// True when the application runs on an X server with a usable xcb connection.
bool available();

// Hands the window WINDOW (a QWidget's winId()) the startup id STARTUPID
// that the desktop gave the command that asked for it (_NET_STARTUP_ID):
// the window manager then lets it take the focus when it is mapped next,
// as if the user had just started it. Does nothing without an X connection.
void setStartupId(quintptr window, const QByteArray& startupId);

} // namespace zarvo::x11
