#pragma once

#include "platform/hotkeyservice.h"
#include "shortcut/shortcut.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace zarvo {

// What a hot key calls, on the main thread, at each press.
using ShortcutHandler = std::function<void()>;

// One system-wide hot key, registered with the hot key service
// (services().hotKeys) for as long as it lives.
class ShortcutHotKey final {
public:
    // Registers SHORTCUT under the next id of the process's counter (advanced
    // even when the registration fails). Nothing when there is no shortcut,
    // no hot key service, or registration fails; then FAILURE, if given,
    // says why.
    static std::unique_ptr<ShortcutHotKey> create(const std::optional<Shortcut>& shortcut,
                                                  ShortcutHandler handler,
                                                  HotKeyFailure* failure = nullptr);
    ~ShortcutHotKey();
    ShortcutHotKey(const ShortcutHotKey&) = delete;
    ShortcutHotKey& operator=(const ShortcutHotKey&) = delete;

    const Shortcut& shortcut() const { return shortcut_; }
    const ShortcutHandler& handler() const { return handler_; }
    // The id it was registered under; 0 until then.
    HotKeyId hotKeyID() const { return hotKeyID_; }
    bool isRegistered() const { return registered_; }
    // Set when the desktop accepted the registration but then did not give
    // the hot key after all, or took it back.
    const std::optional<HotKeyFailure>& laterFailure() const { return laterFailure_; }
    // The desktop's text for the trigger it bound, where the desktop lets the
    // user choose it; empty otherwise.
    const QString& desktopTrigger() const { return desktopTrigger_; }

    // Unregisters the hot key if it is registered; the id stays.
    void uninstallExistingHotKey();

private:
    friend class HotKeyDispatcher;
    ShortcutHotKey(Shortcut shortcut, ShortcutHandler handler);
    HotKeyResult registerHotKey();

    HotKeyId hotKeyID_ = 0;
    ShortcutHandler handler_;
    Shortcut shortcut_;
    bool registered_ = false;
    std::optional<HotKeyFailure> laterFailure_;
    QString desktopTrigger_;
};

// The process's hot keys, keyed by monitor: the description of the shortcut.
// A monitor is opaque to callers; two shortcuts with the same description
// share one, so at most one hot key exists per description.

// Registers SHORTCUT as a hot key calling HANDLER. Its monitor, or nothing
// when a hot key with the same description exists (the existing one and its
// handler stay; FAILURE reads `taken`) or registration failed (FAILURE says
// why).
std::optional<QString> addGlobalHotkeyMonitorWithShortcut(const std::optional<Shortcut>& shortcut,
                                                          ShortcutHandler handler,
                                                          HotKeyFailure* failure = nullptr);
// Destroys the hot key of MONITOR, which unregisters it. When no hot key is
// left, the dispatcher lets go of the service too. Nothing does nothing.
void removeGlobalHotkeyMonitor(const std::optional<QString>& monitor);

// The live hot key registered under MONITOR, or null.
const ShortcutHotKey* hotKeyForMonitor(const QString& monitor);
// Whether the dispatcher listens to the service's activations: from the
// first registration attempt until the last hot key is removed.
bool isHotKeyEventHandlerInstalled();

// Maps the service's activations to the hot keys' handlers, and tells who
// shows the hot keys' state when the desktop changes it.
class HotKeyDispatcher final : public QObject {
    Q_OBJECT
public:
    static HotKeyDispatcher& shared();

Q_SIGNALS:
    // The desktop changed what became of MONITOR's hot key after it was
    // registered (laterFailure(), desktopTrigger()).
    void hotKeyChanged(const QString& monitor);
    // What the binding of USERDEFAULTSKEY has registered changed
    // (shortcut/shortcutuserdefaultshotkey.h).
    void bindingChanged(const QString& userDefaultsKey);

private:
    friend class ShortcutHotKey;
    friend void removeGlobalHotkeyMonitor(const std::optional<QString>& monitor);
    friend void resetHotKeysForTesting();
    HotKeyDispatcher() = default;
    bool listen();
    void stopListening();
    void dispatch(HotKeyId id);
    void failLater(HotKeyId id, HotKeyFailure why);
    void changeTrigger(HotKeyId id, const QString& trigger);
    ShortcutHotKey* find(HotKeyId id, QString* monitor) const;
};

// Asked first at every press of one of this process's hot keys, with the hot
// key's shortcut; answering true keeps the press from the hot key's handler.
// While a shortcut recorder records, it takes the presses this way, so that
// typing the combination of a live hot key records it instead of firing it.
// One filter per process; an empty one asks nothing.
using HotKeyPressFilter = std::function<bool(const Shortcut& shortcut)>;
void setHotKeyPressFilter(HotKeyPressFilter filter);

// Tests only: forgets every hot key (unregistering them), stops listening to
// the service and starts the id counter at 0 again, as in a new process.
void resetHotKeysForTesting();

} // namespace zarvo
