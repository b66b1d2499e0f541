#include "app/desktopsession.h"

#include <QtGlobal>

namespace zarvo {

DesktopSession DesktopSession::fromEnvironment()
{
    DesktopSession session;
    session.wayland =
        !qgetenv("WAYLAND_DISPLAY").isEmpty() || qgetenv("XDG_SESSION_TYPE").toLower() == "wayland";
    session.xDisplay = !qgetenv("DISPLAY").isEmpty();
    session.qtPlatform = qgetenv("QT_QPA_PLATFORM");
    session.hotKeyBackend = qgetenv("ZARVO_HOTKEY_BACKEND");
    return session;
}

QByteArray qtPlatformForSession(const DesktopSession& session)
{
    if (!session.qtPlatform.isEmpty() || !session.wayland || !session.xDisplay) {
        return QByteArray();
    }
    return QByteArrayLiteral("xcb");
}

HotKeyBackend chooseHotKeyBackend(const DesktopSession& session, bool onX11,
                                  const std::function<bool()>& portalOffers, QString* problem)
{
    const QByteArray forced = session.hotKeyBackend.trimmed().toLower();
    for (const HotKeyBackend backend :
         {HotKeyBackend::x11, HotKeyBackend::portal, HotKeyBackend::none}) {
        if (forced == hotKeyBackendName(backend).toLatin1()) {
            return backend;
        }
    }
    if (!forced.isEmpty() && problem) {
        *problem = QStringLiteral("ZARVO_HOTKEY_BACKEND=%1 names no backend (x11, portal or "
                                  "none); choosing one for this session")
                       .arg(QString::fromLocal8Bit(session.hotKeyBackend));
    }
    if (session.wayland) {
        return portalOffers && portalOffers() ? HotKeyBackend::portal : HotKeyBackend::none;
    }
    return onX11 ? HotKeyBackend::x11 : HotKeyBackend::none;
}

QString hotKeyBackendName(HotKeyBackend backend)
{
    switch (backend) {
    case HotKeyBackend::x11:
        return QStringLiteral("x11");
    case HotKeyBackend::portal:
        return QStringLiteral("portal");
    case HotKeyBackend::none:
        break;
    }
    return QStringLiteral("none");
}

} // namespace zarvo
