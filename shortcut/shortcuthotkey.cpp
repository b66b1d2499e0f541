#include "shortcut/shortcuthotkey.h"

#include "platform/services.h"

#include <QPointer>

#include <map>

namespace zarvo {
namespace {

struct HotKeyState {
    // Owns every live hot key, keyed by monitor.
    std::map<QString, std::unique_ptr<ShortcutHotKey>> registry;
    HotKeyId idCounter = 0;
    // The service the dispatcher listens to; null while it does not.
    QPointer<HotKeyService> listened;
    bool listening = false;
    HotKeyPressFilter pressFilter;
};

HotKeyState& state()
{
    static HotKeyState* shared = new HotKeyState;
    return *shared;
}

} // namespace

HotKeyDispatcher& HotKeyDispatcher::shared()
{
    static HotKeyDispatcher* dispatcher = new HotKeyDispatcher;
    return *dispatcher;
}

bool HotKeyDispatcher::listen()
{
    HotKeyState& s = state();
    if (s.listening) {
        return true;
    }
    HotKeyService* service = services().hotKeys;
    if (!service) {
        return false;
    }
    connect(service, &HotKeyService::activated, this, &HotKeyDispatcher::dispatch);
    connect(service, &HotKeyService::registrationFailed, this, &HotKeyDispatcher::failLater);
    connect(service, &HotKeyService::triggerChanged, this, &HotKeyDispatcher::changeTrigger);
    s.listened = service;
    s.listening = true;
    return true;
}

void HotKeyDispatcher::stopListening()
{
    HotKeyState& s = state();
    if (s.listened) {
        disconnect(s.listened, nullptr, this, nullptr);
    }
    s.listened = nullptr;
    s.listening = false;
}

ShortcutHotKey* HotKeyDispatcher::find(HotKeyId id, QString* monitor) const
{
    for (const auto& [name, hotKey] : state().registry) {
        if (hotKey->hotKeyID() == id) {
            if (monitor) {
                *monitor = name;
            }
            return hotKey.get();
        }
    }
    return nullptr;
}

void HotKeyDispatcher::dispatch(HotKeyId id)
{
    const ShortcutHotKey* hotKey = find(id, nullptr);
    if (!hotKey) {
        return;
    }
    // Copies: the filter and the handler may remove this very hot key (and
    // change the registry) while they run.
    const Shortcut shortcut = hotKey->shortcut();
    const ShortcutHandler handler = hotKey->handler();
    const HotKeyPressFilter filter = state().pressFilter;
    if (filter && filter(shortcut)) {
        return;
    }
    if (handler) {
        handler();
    }
}

void HotKeyDispatcher::failLater(HotKeyId id, HotKeyFailure why)
{
    QString monitor;
    if (ShortcutHotKey* hotKey = find(id, &monitor)) {
        hotKey->laterFailure_ = why;
        Q_EMIT hotKeyChanged(monitor);
    }
}

void HotKeyDispatcher::changeTrigger(HotKeyId id, const QString& trigger)
{
    QString monitor;
    if (ShortcutHotKey* hotKey = find(id, &monitor)) {
        hotKey->desktopTrigger_ = trigger;
        Q_EMIT hotKeyChanged(monitor);
    }
}

ShortcutHotKey::ShortcutHotKey(Shortcut shortcut, ShortcutHandler handler)
    : handler_(std::move(handler)), shortcut_(shortcut)
{
}

std::unique_ptr<ShortcutHotKey> ShortcutHotKey::create(const std::optional<Shortcut>& shortcut,
                                                       ShortcutHandler handler,
                                                       HotKeyFailure* failure)
{
    if (!shortcut) {
        if (failure) {
            *failure = HotKeyFailure::invalid;
        }
        return nullptr;
    }
    std::unique_ptr<ShortcutHotKey> hotKey(new ShortcutHotKey(*shortcut, std::move(handler)));
    const HotKeyResult result = hotKey->registerHotKey();
    if (!result.ok()) {
        if (failure) {
            *failure = *result.failure;
        }
        return nullptr;
    }
    return hotKey;
}

HotKeyResult ShortcutHotKey::registerHotKey()
{
    if (!HotKeyDispatcher::shared().listen()) {
        return HotKeyResult::failed(HotKeyFailure::unsupported);
    }
    const HotKeyId id = ++state().idCounter;
    HotKeyService* service = services().hotKeys;
    if (!service) {
        return HotKeyResult::failed(HotKeyFailure::unsupported);
    }
    const HotKeyResult result =
        service->registerShortcut(id, shortcut_.keyCode(), shortcut_.modifierFlags());
    if (result.ok()) {
        hotKeyID_ = id;
        registered_ = true;
    }
    return result;
}

ShortcutHotKey::~ShortcutHotKey()
{
    uninstallExistingHotKey();
}

void ShortcutHotKey::uninstallExistingHotKey()
{
    if (!registered_) {
        return;
    }
    if (HotKeyService* service = services().hotKeys) {
        service->unregisterShortcut(hotKeyID_);
    }
    registered_ = false;
}

std::optional<QString> addGlobalHotkeyMonitorWithShortcut(const std::optional<Shortcut>& shortcut,
                                                          ShortcutHandler handler,
                                                          HotKeyFailure* failure)
{
    // A nil shortcut describes itself as "(null)", which no real shortcut
    // does; it never registers anyway.
    const QString monitor = shortcut ? shortcut->description() : QStringLiteral("(null)");
    HotKeyState& s = state();
    if (s.registry.count(monitor) != 0) {
        if (failure) {
            *failure = HotKeyFailure::taken;
        }
        return std::nullopt;
    }
    auto hotKey = ShortcutHotKey::create(shortcut, std::move(handler), failure);
    if (!hotKey) {
        return std::nullopt;
    }
    s.registry.emplace(monitor, std::move(hotKey));
    return monitor;
}

void removeGlobalHotkeyMonitor(const std::optional<QString>& monitor)
{
    if (!monitor) {
        return;
    }
    HotKeyState& s = state();
    const auto it = s.registry.find(*monitor);
    if (it != s.registry.end()) {
        // Taken out of the registry before it is destroyed, so that nothing
        // reached from its destruction finds it half-gone.
        std::unique_ptr<ShortcutHotKey> hotKey = std::move(it->second);
        s.registry.erase(it);
        hotKey.reset();
    }
    if (s.registry.empty()) {
        HotKeyDispatcher::shared().stopListening();
    }
}

const ShortcutHotKey* hotKeyForMonitor(const QString& monitor)
{
    const auto& registry = state().registry;
    const auto it = registry.find(monitor);
    return it == registry.end() ? nullptr : it->second.get();
}

bool isHotKeyEventHandlerInstalled()
{
    return state().listening;
}

void setHotKeyPressFilter(HotKeyPressFilter filter)
{
    state().pressFilter = std::move(filter);
}

void resetHotKeysForTesting()
{
    HotKeyState& s = state();
    s.registry.clear();
    HotKeyDispatcher::shared().stopListening();
    s.idCounter = 0;
}

} // namespace zarvo
