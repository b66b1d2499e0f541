#include "platform/x11/x11backend.h"

#include "platform/x11/x11connection.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace zarvo::x11 {

bool available()
{
    // WORKAROUND: under the offscreen platform the X11 native interface exists
    // but hands out a null connection, so test the connection itself.
    const auto* native =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return native && native->connection() != nullptr;
}

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

void setStartupId(quintptr window, const QByteArray& startupId)
{
    xcb_connection_t* connection = applicationConnection();
    if (!connection || window == 0 || startupId.isEmpty()) {
        return;
    }
    const xcb_atom_t property = internAtom(connection, "_NET_STARTUP_ID");
    const xcb_atom_t utf8 = internAtom(connection, "UTF8_STRING");
    if (property == XCB_ATOM_NONE || utf8 == XCB_ATOM_NONE) {
        return;
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window), property, utf8, 8,
                        uint32_t(startupId.size()), startupId.constData());
    xcb_flush(connection);
}

} // namespace zarvo::x11
