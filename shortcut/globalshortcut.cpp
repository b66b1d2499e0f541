#include "shortcut/globalshortcut.h"

#include "platform/defaultsstore.h"
#include "shortcut/shortcutuserdefaultshotkey.h"

namespace zarvo {
namespace {

constexpr quint64 kKKeyCode = 40;

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
}

} // namespace zarvo
