#include "platform/x11/x11connection.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>

namespace zarvo::x11 {

xcb_connection_t* applicationConnection()
{
    // WORKAROUND: under the offscreen platform the X11 native interface exists
    // but hands out a null connection, so the connection itself is tested.
    const auto* native =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return native ? native->connection() : nullptr;
}

std::uint32_t rootWindow(xcb_connection_t* connection, int screen)
{
    int screenNumber = screen;
    if (screenNumber < 0) {
        char* host = nullptr;
        int display = 0;
        if (xcb_parse_display(nullptr, &host, &display, &screenNumber) == 0) {
            screenNumber = 0;
        }
        std::free(host);
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    xcb_window_t root = screens.data ? screens.data->root : XCB_NONE;
    for (int i = 0; i < screenNumber && screens.rem > 1; ++i) {
        xcb_screen_next(&screens);
        root = screens.data->root;
    }
    return root;
}

} // namespace zarvo::x11
