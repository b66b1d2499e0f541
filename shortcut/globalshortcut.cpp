#include "shortcut/globalshortcut.h"

#include "platform/defaultsstore.h"
#include "platform/diagnostics.h"
#include "platform/notifier.h"
#include "shortcut/shortcutuserdefaultshotkey.h"

#include <QObject>

namespace zarvo {
namespace {

constexpr quint64 kKKeyCode = 40;

// Whether this process has told the user about a dead global shortcut.
bool gNoticeGiven = false;
QMetaObject::Connection gNoticeWatch;

const ShortcutUserDefaultsHotKey* globalBinding()
{
    const auto& bindings = registeredUserDefaultsHotKeys();
    const auto it = bindings.find(globalShortcutDefaultsKey());
    return it == bindings.end() ? nullptr : it->second.get();
}

std::optional<Shortcut> storedGlobalShortcut()
{
    return Shortcut::shortcutWithData(
        DefaultsStore::standardUserDefaults().dataForKey(globalShortcutDefaultsKey()));
}

// Tells the user, once per process, when the global shortcut is dead.
void noticeFailure()
{
    const std::optional<HotKeyFailure> why = globalShortcutFailure();
    const std::optional<Shortcut> shortcut = storedGlobalShortcut();
    if (!why || !shortcut) {
        return;
    }
    const GlobalShortcutNotice notice = globalShortcutNotice(*why, *shortcut);
    logLine(notice.summary + QStringLiteral(": ") + notice.body);
    if (gNoticeGiven) {
        return;
    }
    gNoticeGiven = true;
    notifyUser(notice.summary, notice.body);
}

} // namespace

QString globalShortcutDefaultsKey()
{
    return QStringLiteral("ZarvoShortcut");
}

Shortcut defaultGlobalShortcut()
{
    return Shortcut::shortcutWithKeyCode(kKKeyCode, modifier::kControl | modifier::kOption |
                                                        modifier::kCommand);
}

void installGlobalShortcut(std::function<void()> toggle)
{
    const QString key = globalShortcutDefaultsKey();
    const std::optional<QByteArray> stored = DefaultsStore::standardUserDefaults().dataForKey(key);
    const bool keep = stored && (Shortcut::shortcutWithData(stored).has_value() ||
                                 Shortcut::isArchiveOfEmptyRoot(*stored));
    if (!keep) {
        setGlobalShortcut(defaultGlobalShortcut(), key);
    }
    registerGlobalShortcutWithUserDefaultsKey(key, std::move(toggle));
    QObject::disconnect(gNoticeWatch);
    gNoticeWatch = QObject::connect(&HotKeyDispatcher::shared(), &HotKeyDispatcher::bindingChanged,
                                    [](const QString& changed) {
                                        if (changed == globalShortcutDefaultsKey()) {
                                            noticeFailure();
                                        }
                                    });
    noticeFailure();
}

std::optional<HotKeyFailure> globalShortcutFailure()
{
    const ShortcutUserDefaultsHotKey* binding = globalBinding();
    return binding ? binding->failure() : std::nullopt;
}

QString globalShortcutStatusText()
{
    const ShortcutUserDefaultsHotKey* binding = globalBinding();
    if (!binding) {
        return QString();
    }
    switch (binding->failure().value_or(HotKeyFailure::refused)) {
    case HotKeyFailure::taken:
        return shortcutText("Taken by another program: record another combination.");
    case HotKeyFailure::unsupported:
        return shortcutText("This desktop gives Zarvo no global shortcut: bind "
                            "\"zarvo toggle\" to a key in its keyboard settings.");
    case HotKeyFailure::invalid:
        return shortcutText("Not usable as a global shortcut here: record another combination.");
    case HotKeyFailure::refused:
        if (binding->failure()) {
            return shortcutText("The desktop did not bind it: allow it in the desktop's "
                                "settings, or record another combination.");
        }
        break;
    }
    const QString trigger = binding->desktopTrigger();
    return trigger.isEmpty() ? QString() : shortcutText("The desktop binds it to %1.").arg(trigger);
}

GlobalShortcutNotice globalShortcutNotice(HotKeyFailure why, const Shortcut& shortcut)
{
    const QString name = shortcut.description();
    const QString summary = shortcutText("The global shortcut does not work");
    switch (why) {
    case HotKeyFailure::taken:
        return {summary, shortcutText("Another program holds %1. Record another combination "
                                      "in Zarvo's settings.")
                             .arg(name)};
    case HotKeyFailure::unsupported:
        return {summary,
                shortcutText("This desktop gives Zarvo no global shortcut, so %1 does "
                             "nothing. Run \"zarvo shortcut bind\", or bind \"zarvo toggle\" to "
                             "a key in the desktop's keyboard settings.")
                    .arg(name)};
    case HotKeyFailure::invalid:
        return {summary, shortcutText("%1 cannot be a global shortcut on this desktop. Record "
                                      "another combination in Zarvo's settings.")
                             .arg(name)};
    case HotKeyFailure::refused:
        break;
    }
    return {summary, shortcutText("The desktop did not bind %1. Allow it in the desktop's "
                                  "settings, or record another combination in Zarvo's settings.")
                         .arg(name)};
}

void resetGlobalShortcutNoticeForTesting()
{
    gNoticeGiven = false;
    QObject::disconnect(gNoticeWatch);
}

} // namespace zarvo
