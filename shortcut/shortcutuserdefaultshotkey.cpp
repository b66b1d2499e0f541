#include "shortcut/shortcutuserdefaultshotkey.h"

#include "platform/defaultsstore.h"

namespace zarvo {
namespace {

UserDefaultsHotKeys& registry()
{
    static UserDefaultsHotKeys* shared = new UserDefaultsHotKeys;
    return *shared;
}

// Takes the entry out of the registry before destroying it, so that nothing
// reached from the destruction sees it half-gone.
void destroyEntry(const QString& userDefaultsKey)
{
    UserDefaultsHotKeys& bindings = registry();
    const auto it = bindings.find(userDefaultsKey);
    if (it == bindings.end()) {
        return;
    }
    std::unique_ptr<ShortcutUserDefaultsHotKey> binding = std::move(it->second);
    bindings.erase(it);
    binding.reset();
}

} // namespace

ShortcutUserDefaultsHotKey::ShortcutUserDefaultsHotKey(const QString& userDefaultsKey,
                                                       ShortcutHandler handler)
    : userDefaultsKey_(userDefaultsKey), handler_(std::move(handler))
{
    DefaultsStore& store = DefaultsStore::standardUserDefaults();
    store_ = &store;
    observation_ =
        store.observeKey(userDefaultsKey_, nullptr, [this] { userDefaultsValueDidChange(); });
    hotKeyObservation_ = QObject::connect(
        &HotKeyDispatcher::shared(), &HotKeyDispatcher::hotKeyChanged, [this](const QString& m) {
            if (monitor() == m) {
                Q_EMIT HotKeyDispatcher::shared().bindingChanged(userDefaultsKey_);
            }
        });
}

ShortcutUserDefaultsHotKey::~ShortcutUserDefaultsHotKey()
{
    QObject::disconnect(observation_);
    QObject::disconnect(hotKeyObservation_);
    removeGlobalHotkeyMonitor(monitor());
}

std::optional<QString> ShortcutUserDefaultsHotKey::monitor() const
{
    if (!monitor_) {
        return std::nullopt;
    }
    const ShortcutHotKey* hotKey = hotKeyForMonitor(*monitor_);
    if (!hotKey || hotKey->hotKeyID() != monitorHotKeyID_) {
        return std::nullopt;
    }
    return monitor_;
}

void ShortcutUserDefaultsHotKey::setMonitor(const std::optional<QString>& monitor)
{
    monitor_ = monitor;
    const ShortcutHotKey* hotKey = monitor ? hotKeyForMonitor(*monitor) : nullptr;
    monitorHotKeyID_ = hotKey ? hotKey->hotKeyID() : 0;
    if (!hotKey) {
        monitor_.reset();
    }
}

std::optional<HotKeyFailure> ShortcutUserDefaultsHotKey::failure() const
{
    if (const std::optional<QString> current = monitor()) {
        return hotKeyForMonitor(*current)->laterFailure();
    }
    return failure_;
}

QString ShortcutUserDefaultsHotKey::desktopTrigger() const
{
    const std::optional<QString> current = monitor();
    return current ? hotKeyForMonitor(*current)->desktopTrigger() : QString();
}

void ShortcutUserDefaultsHotKey::userDefaultsValueDidChange()
{
    removeGlobalHotkeyMonitor(monitor());
    setMonitor(std::nullopt);
    failure_.reset();
    installHotKeyFromUserDefaults();
    Q_EMIT HotKeyDispatcher::shared().bindingChanged(userDefaultsKey_);
}

void ShortcutUserDefaultsHotKey::installHotKeyFromUserDefaults()
{
    DefaultsStore* store = store_ ? store_.data() : &DefaultsStore::standardUserDefaults();
    const std::optional<Shortcut> shortcut =
        Shortcut::shortcutWithData(store->dataForKey(userDefaultsKey_));
    if (!shortcut) {
        return;
    }
    HotKeyFailure why = HotKeyFailure::unsupported;
    setMonitor(addGlobalHotkeyMonitorWithShortcut(shortcut, handler_, &why));
    failure_ = monitor_ ? std::nullopt : std::optional(why);
}

const UserDefaultsHotKeys& registeredUserDefaultsHotKeys()
{
    return registry();
}

void registerGlobalShortcutWithUserDefaultsKey(const QString& userDefaultsKey,
                                               ShortcutHandler handler)
{
    destroyEntry(userDefaultsKey);
    auto binding =
        std::make_unique<ShortcutUserDefaultsHotKey>(userDefaultsKey, std::move(handler));
    registry()[userDefaultsKey] = std::move(binding);
    // Its first registration was announced before it was in the registry.
    Q_EMIT HotKeyDispatcher::shared().bindingChanged(userDefaultsKey);
}

void unregisterGlobalShortcutWithUserDefaultsKey(const QString& userDefaultsKey)
{
    destroyEntry(userDefaultsKey);
    Q_EMIT HotKeyDispatcher::shared().bindingChanged(userDefaultsKey);
}

void setGlobalShortcut(const std::optional<Shortcut>& shortcut, const QString& userDefaultsKey)
{
    DefaultsStore& store = DefaultsStore::standardUserDefaults();
    if (shortcut) {
        store.setObject(shortcut->data(), userDefaultsKey);
    } else {
        store.removeObjectForKey(userDefaultsKey);
    }
}

void resetUserDefaultsHotKeysForTesting()
{
    while (!registry().empty()) {
        destroyEntry(registry().begin()->first);
    }
}

} // namespace zarvo
