#include "platform/x11/x11backend.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

namespace zarvo::x11 {

bool available()
{
    // WORKAROUND: under the offscreen platform the X11 native interface exists
    // but hands out a null connection, so test the connection itself.
    const auto* native =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return native && native->connection() != nullptr;
}

} // namespace zarvo::x11
