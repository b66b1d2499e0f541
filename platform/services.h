#pragma once

#include <functional>
#include <memory>

namespace zarvo {

class ScriptRunner;
class HotKeyService;
class KeyboardLayout;
class OpenPanel;
class UrlOpener;
class Notifier;
class StatusItem;

// The operating-system services the portable logic uses. main() chooses the
// backends once at start-up (X11 when there is an X server, the do-nothing or
// in-memory ones otherwise); tests install their own fakes. Nothing is owned
// here: whoever installs a service keeps it alive while it is installed.
struct Services {
    ScriptRunner* scriptRunner = nullptr;
    HotKeyService* hotKeys = nullptr;
    KeyboardLayout* keyboardLayout = nullptr;
    // Null: the desktop's file dialog (panel/fileopenpanel.h).
    OpenPanel* openPanel = nullptr;
    // Null: the desktop's default browser.
    UrlOpener* urlOpener = nullptr;
    // Null: failures the user must act on are only logged.
    Notifier* notifier = nullptr;
    // Makes the tray icon's status item; unset, or giving none: Qt's tray
    // icon (platform/traystatusitem.h).
    std::function<std::unique_ptr<StatusItem>()> createStatusItem;
};

Services& services();

} // namespace zarvo
