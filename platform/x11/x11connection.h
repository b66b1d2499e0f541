#pragma once

// Internal to the X11 backend, shared by its .cpp files (which alone include
// the xcb headers).

#include <cstdint>

struct xcb_connection_t;

namespace zarvo::x11 {

// The application's own connection (Qt's), or null when there is none, as
// under the offscreen platform.
xcb_connection_t* applicationConnection();

// The root window of screen SCREEN of CONNECTION; a negative SCREEN means the
// screen the DISPLAY variable names.
std::uint32_t rootWindow(xcb_connection_t* connection, int screen = -1);

} // namespace zarvo::x11
