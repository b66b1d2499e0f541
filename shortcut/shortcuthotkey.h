#pragma once

#include "platform/hotkeyservice.h"
#include "shortcut/shortcut.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace zarvo {

// What a hot key calls, on the main thread, at each press.
using ShortcutHandler = std::function<void()>;

// The signature of every hot key this application registers: "ZRVO".
inline constexpr quint32 kHotKeySignature = 0x5A52564F;

// One system-wide hot key, registered with the hot key service
// (services().hotKeys) for as long as it lives.
class ShortcutHotKey final {
public:
    // Registers SHORTCUT under the signature and the next id of the process's
    // counter (advanced even when the registration fails). Nothing when there
    // is no shortcut, no hot key service, or registration fails.
    static std::unique_ptr<ShortcutHotKey> create(const std::optional<Shortcut>& shortcut,
                                                  ShortcutHandler handler);
    ~ShortcutHotKey();
    ShortcutHotKey(const ShortcutHotKey&) = delete;
    ShortcutHotKey& operator=(const ShortcutHotKey&) = delete;

    const Shortcut& shortcut() const { return shortcut_; }
    const ShortcutHandler& handler() const { return handler_; }
    EventHotKeyRef carbonHotKey() const { return carbonHotKey_; }
    quint32 carbonHotKeyID() const { return carbonHotKeyID_; }

    // Unregisters the hot key if it is registered; the id stays.
    void uninstallExistingHotKey();

private:
    ShortcutHotKey(Shortcut shortcut, ShortcutHandler handler);
    bool registerHotKey();

    quint32 carbonHotKeyID_ = 0;
    ShortcutHandler handler_;
    Shortcut shortcut_;
    EventHotKeyRef carbonHotKey_ = 0;
};

// The process's hot keys, keyed by monitor: the description of the shortcut.
// A monitor is opaque to callers; two shortcuts with the same description
// share one, so at most one hot key exists per description.

// Registers SHORTCUT as a hot key calling HANDLER. Its monitor, or nothing
// when a hot key with the same description exists (the existing one and its
// handler stay) or registration failed.
std::optional<QString> addGlobalHotkeyMonitorWithShortcut(const std::optional<Shortcut>& shortcut,
                                                          ShortcutHandler handler);
// Destroys the hot key of MONITOR, which unregisters it. When no hot key is
// left, the hot key event handler is removed too. Nothing does nothing.
void removeGlobalHotkeyMonitor(const std::optional<QString>& monitor);

// The live hot key registered under MONITOR, or null.
const ShortcutHotKey* hotKeyForMonitor(const QString& monitor);
// Whether the one hot key event handler is installed with the service.
bool isHotKeyEventHandlerInstalled();

// Asked first at every press of one of this process's hot keys, with the hot
// key's shortcut; answering true keeps the press from the hot key's handler.
// While a shortcut recorder records, it takes the presses this way, so that
// typing the combination of a live hot key records it instead of firing it.
// One filter per process; an empty one asks nothing.
using HotKeyPressFilter = std::function<bool(const Shortcut& shortcut)>;
void setHotKeyPressFilter(HotKeyPressFilter filter);

// Tests only: forgets every hot key (unregistering them), removes the event
// handler and starts the id counter at 0 again, as in a new process.
void resetHotKeysForTesting();

} // namespace zarvo
