#pragma once

#include "platform/hotkeyservice.h"

#include <QString>

#include <memory>

namespace zarvo::dbus {

// Whether the desktop portal on the session bus offers global shortcuts
// (org.freedesktop.portal.GlobalShortcuts). Asks the portal and waits a few
// seconds at most for its answer.
bool portalOffersGlobalShortcuts();

// Hot keys through the desktop portal's GlobalShortcuts interface: each
// registration becomes one shortcut of a portal session, bound with its
// combination as the preferred trigger and DESCRIPTION as what the desktop
// shows for it. The desktop decides (it may ask the user in a dialog, or let
// the user choose another trigger later); what it binds is reported through
// triggerChanged(), a refusal through registrationFailed(). Registering
// answers at once; the portal is asked from the event loop. Without the
// portal, or without its GlobalShortcuts, every registration is
// `unsupported`.
std::unique_ptr<HotKeyService> createPortalHotKeyService(const QString& description);

} // namespace zarvo::dbus
