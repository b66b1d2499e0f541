#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace zarvo {

// What the desktop session is, as its environment says.
struct DesktopSession {
    // WAYLAND_DISPLAY is set, or XDG_SESSION_TYPE is "wayland".
    bool wayland = false;
    // DISPLAY is set: an X server (Xwayland in a Wayland session) is there.
    bool xDisplay = false;
    // QT_QPA_PLATFORM, as the user set it.
    QByteArray qtPlatform;
    // ZARVO_HOTKEY_BACKEND: "x11", "portal" or "none" forces that backend.
    QByteArray hotKeyBackend;

    static DesktopSession fromEnvironment();
};

// The Qt platform the desktop application asks for before its application
// object exists, or empty for Qt's own choice. In a Wayland session with an X
// display it runs on Xwayland ("xcb"): there the panel can place itself
// under the tray icon and keeps its look. A QT_QPA_PLATFORM the user set wins.
QByteArray qtPlatformForSession(const DesktopSession& session);

// Where the global shortcut's hot keys come from.
enum class HotKeyBackend {
    x11,    // key grabs on the X server
    portal, // the desktop portal's GlobalShortcuts
    none,   // no global hot keys ("zarvo toggle" bound in the desktop's settings)
};

// The backend for this session: the one ZARVO_HOTKEY_BACKEND names; else in
// a Wayland session the portal when PORTALOFFERS answers true (key grabs of
// an Xwayland client only fire while one of its windows has the focus), none
// otherwise; else x11 when ONX11 (the application runs on an X server), none
// otherwise. PORTALOFFERS is asked only when the answer depends on it.
// A value of ZARVO_HOTKEY_BACKEND that names no backend is ignored, with
// PROBLEM set to say so.
HotKeyBackend chooseHotKeyBackend(const DesktopSession& session, bool onX11,
                                  const std::function<bool()>& portalOffers,
                                  QString* problem = nullptr);

// The backend's name, as ZARVO_HOTKEY_BACKEND spells it.
QString hotKeyBackendName(HotKeyBackend backend);

} // namespace zarvo
