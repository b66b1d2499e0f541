#pragma once

#include "shortcut/shortcut.h"
#include "shortcut/shortcuthotkey.h"

#include <QMetaObject>
#include <QPointer>
#include <QString>

#include <map>
#include <memory>
#include <optional>

namespace zarvo {

class DefaultsStore;

// Binds a hot key to a key of the user defaults (DefaultsStore): whatever
// shortcut is stored under the key is registered as a hot key calling the
// handler, and when the stored value changes the hot key follows it.
class ShortcutUserDefaultsHotKey final {
public:
    // Starts observing the key; the stored shortcut, if any, is registered
    // before the constructor returns.
    ShortcutUserDefaultsHotKey(const QString& userDefaultsKey, ShortcutHandler handler);
    // Stops observing and removes the hot key.
    ~ShortcutUserDefaultsHotKey();
    ShortcutUserDefaultsHotKey(const ShortcutUserDefaultsHotKey&) = delete;
    ShortcutUserDefaultsHotKey& operator=(const ShortcutUserDefaultsHotKey&) = delete;

    // The monitor of the hot key now registered for this binding; nothing
    // when there is none, also once that hot key has been removed elsewhere.
    std::optional<QString> monitor() const;
    void setMonitor(const std::optional<QString>& monitor);
    // The handler the next registration uses; a registered hot key keeps the
    // one it was made with.
    const ShortcutHandler& handler() const { return handler_; }
    void setHandler(ShortcutHandler handler) { handler_ = std::move(handler); }
    const QString& userDefaultsKey() const { return userDefaultsKey_; }

    // Why the stored shortcut has no working hot key: registration failed,
    // or the desktop took the hot key back. Nothing when it works, and when
    // nothing usable is stored.
    std::optional<HotKeyFailure> failure() const;
    // The desktop's text for the trigger of this binding's hot key, where
    // the desktop lets the user choose it; empty otherwise.
    QString desktopTrigger() const;

    // Registers the shortcut stored under the key; leaves the monitor alone
    // when nothing usable is stored.
    void installHotKeyFromUserDefaults();
    // The stored value changed: the old hot key goes, the new one comes.
    void userDefaultsValueDidChange();

private:
    QString userDefaultsKey_;
    ShortcutHandler handler_;
    std::optional<QString> monitor_;
    // The id of the hot key MONITOR named when it was set: a later hot key
    // with the same description is not this binding's.
    HotKeyId monitorHotKeyID_ = 0;
    // Why the last registration gave no monitor.
    std::optional<HotKeyFailure> failure_;
    QPointer<DefaultsStore> store_;
    QMetaObject::Connection observation_;
    QMetaObject::Connection hotKeyObservation_;
};

using UserDefaultsHotKeys = std::map<QString, std::unique_ptr<ShortcutUserDefaultsHotKey>>;

// The process's bindings, by user-defaults key. Each change of what a binding
// has registered is announced by HotKeyDispatcher::bindingChanged().
const UserDefaultsHotKeys& registeredUserDefaultsHotKeys();
// Binds KEY to a hot key calling HANDLER. A binding already there for KEY is
// destroyed first (its hot key removed), then the new one is made, so the new
// binding's hot key is the one that stays.
void registerGlobalShortcutWithUserDefaultsKey(const QString& userDefaultsKey,
                                               ShortcutHandler handler);
// Destroys the binding of KEY, removing its hot key; the stored value stays.
void unregisterGlobalShortcutWithUserDefaultsKey(const QString& userDefaultsKey);
// Stores SHORTCUT's archive under KEY, or removes KEY for no shortcut. The
// bound hot key follows through the store's change notification.
void setGlobalShortcut(const std::optional<Shortcut>& shortcut, const QString& userDefaultsKey);

// Tests only: destroys every binding.
void resetUserDefaultsHotKeysForTesting();

} // namespace zarvo
