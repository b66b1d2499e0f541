#include "shortcut/shortcuthotkey.h"

#include "platform/services.h"

#include <map>

namespace zarvo {
namespace {

struct HotKeyState {
    // Owns every live hot key, keyed by monitor.
    std::map<QString, std::unique_ptr<ShortcutHotKey>> registry;
    quint32 idCounter = 0;
    EventHandlerRef eventHandler = 0;
    // The service the event handler was installed with, to remove it there.
    HotKeyService* eventHandlerService = nullptr;
    HotKeyPressFilter pressFilter;
};

HotKeyState& state()
{
    static HotKeyState* shared = new HotKeyState;
    return *shared;
}

// Turns each hot-key-pressed event into a call of the matching handler.
int hotKeyEventHandler(const HotKeyEvent& event)
{
    if (event.eventClass() != hotkey::kEventClassKeyboard) {
        return hotkey::kNoErr;
    }
    EventHotKeyID hotKeyID;
    const int status = event.getHotKeyID(&hotKeyID);
    if (status != hotkey::kNoErr) {
        return status;
    }
    if (hotKeyID.signature != kHotKeySignature) {
        return hotkey::kNoErr;
    }
    for (const auto& [monitor, hotKey] : state().registry) {
        if (hotKey->carbonHotKeyID() != hotKeyID.id) {
            continue;
        }
        // Copies: the filter and the handler may remove this very hot key
        // (and change the registry) while they run.
        const Shortcut shortcut = hotKey->shortcut();
        const ShortcutHandler handler = hotKey->handler();
        const HotKeyPressFilter filter = state().pressFilter;
        if (filter && filter(shortcut)) {
            break;
        }
        if (handler) {
            handler();
        }
        break;
    }
    return hotkey::kNoErr;
}

void removeEventHandlerIfInstalled()
{
    HotKeyState& s = state();
    if (s.eventHandler == 0) {
        return;
    }
    // Only where it was installed, and only while that service is still the
    // installed one: at shutdown the service goes before the hot keys do.
    if (s.eventHandlerService && s.eventHandlerService == services().hotKeys) {
        s.eventHandlerService->removeEventHandler(s.eventHandler);
    }
    s.eventHandler = 0;
    s.eventHandlerService = nullptr;
}

} // namespace

ShortcutHotKey::ShortcutHotKey(Shortcut shortcut, ShortcutHandler handler)
    : handler_(std::move(handler)), shortcut_(shortcut)
{
}

std::unique_ptr<ShortcutHotKey> ShortcutHotKey::create(const std::optional<Shortcut>& shortcut,
                                                       ShortcutHandler handler)
{
    if (!shortcut) {
        return nullptr;
    }
    std::unique_ptr<ShortcutHotKey> hotKey(new ShortcutHotKey(*shortcut, std::move(handler)));
    if (!hotKey->registerHotKey()) {
        return nullptr;
    }
    return hotKey;
}

bool ShortcutHotKey::registerHotKey()
{
    HotKeyState& s = state();
    HotKeyService* service = services().hotKeys;
    if (s.eventHandler == 0) {
        if (!service) {
            return false;
        }
        EventHandlerRef ref = 0;
        const int status = service->installEventHandler(
            {hotkey::kEventClassKeyboard, hotkey::kEventHotKeyPressed}, hotKeyEventHandler, &ref);
        if (status != hotkey::kNoErr) {
            s.eventHandler = 0;
            return false;
        }
        s.eventHandler = ref;
        s.eventHandlerService = service;
    }
    const quint32 id = ++s.idCounter;
    if (!service) {
        return false;
    }
    EventHotKeyRef ref = 0;
    const int status =
        service->registerEventHotKey(shortcut_.carbonKeyCode(), shortcut_.carbonFlags(),
                                     {kHotKeySignature, id}, hotkey::kEventHotKeyExclusive, &ref);
    if (status != hotkey::kNoErr) {
        return false;
    }
    carbonHotKeyID_ = id;
    carbonHotKey_ = ref;
    return true;
}

ShortcutHotKey::~ShortcutHotKey()
{
    uninstallExistingHotKey();
}

void ShortcutHotKey::uninstallExistingHotKey()
{
    if (carbonHotKey_ == 0) {
        return;
    }
    if (HotKeyService* service = services().hotKeys) {
        service->unregisterEventHotKey(carbonHotKey_);
    }
    carbonHotKey_ = 0;
}

std::optional<QString> addGlobalHotkeyMonitorWithShortcut(const std::optional<Shortcut>& shortcut,
                                                          ShortcutHandler handler)
{
    // A nil shortcut describes itself as "(null)", which no real shortcut
    // does; it never registers anyway.
    const QString monitor = shortcut ? shortcut->description() : QStringLiteral("(null)");
    HotKeyState& s = state();
    if (s.registry.count(monitor) != 0) {
        return std::nullopt;
    }
    auto hotKey = ShortcutHotKey::create(shortcut, std::move(handler));
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
        removeEventHandlerIfInstalled();
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
    return state().eventHandler != 0;
}

void setHotKeyPressFilter(HotKeyPressFilter filter)
{
    state().pressFilter = std::move(filter);
}

void resetHotKeysForTesting()
{
    HotKeyState& s = state();
    s.registry.clear();
    removeEventHandlerIfInstalled();
    s.idCounter = 0;
}

} // namespace zarvo
