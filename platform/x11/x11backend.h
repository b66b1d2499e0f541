#pragma once

namespace zarvo::x11 {

// True when the application runs on an X server with a usable xcb connection.
bool available();

} // namespace zarvo::x11
