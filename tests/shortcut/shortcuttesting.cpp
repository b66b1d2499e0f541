#include "shortcuttesting.h"

#include "platform/services.h"
#include "shortcut/globalshortcut.h"
#include "shortcut/shortcuthotkey.h"
#include "shortcut/shortcutuserdefaultshotkey.h"

#include <QApplication>
#include <QDeadlineTimer>

namespace zarvo::test {

void ensureShortcutApplication()
{
    if (qApp) {
        return;
    }
    static int argc = 1;
    static char name[] = "zarvo-shortcut-tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: at exit it would outlive Qt's own statics that its
    // input devices still refer to.
    static QApplication* application = new QApplication(argc, argv);
    Q_UNUSED(application);
    QApplication::setQuitOnLastWindowClosed(false);
}

ScopedEnvironment::~ScopedEnvironment()
{
    for (const auto& [name, value] : saved_) {
        if (value) {
            qputenv(name.constData(), *value);
        } else {
            qunsetenv(name.constData());
        }
    }
}

void ScopedEnvironment::remember(const char* name)
{
    if (saved_.count(name) == 0) {
        saved_[name] =
            qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    }
}

void ScopedEnvironment::set(const char* name, const QByteArray& value)
{
    remember(name);
    qputenv(name, value);
}

void ScopedEnvironment::unset(const char* name)
{
    remember(name);
    qunsetenv(name);
}

UsKeyboard::UsKeyboard()
{
    environment_.unset("XKB_DEFAULT_RULES");
    environment_.unset("XKB_DEFAULT_MODEL");
    environment_.unset("XKB_DEFAULT_VARIANT");
    environment_.unset("XKB_DEFAULT_OPTIONS");
    environment_.set("XKB_DEFAULT_LAYOUT", "us");
}

TempDefaults::TempDefaults()
    : store_(std::make_unique<DefaultsStore>(dir_.filePath(QStringLiteral("zarvo/defaults.plist"))))
{
    DefaultsStore::setStandardUserDefaults(store_.get());
}

TempDefaults::~TempDefaults()
{
    DefaultsStore::setStandardUserDefaults(nullptr);
}

MemoryHotKeys::MemoryHotKeys() : previous_(services().hotKeys)
{
    resetUserDefaultsHotKeysForTesting();
    resetHotKeysForTesting();
    resetGlobalShortcutNoticeForTesting();
    services().hotKeys = &service_;
}

MemoryHotKeys::~MemoryHotKeys()
{
    resetUserDefaultsHotKeysForTesting();
    resetHotKeysForTesting();
    resetGlobalShortcutNoticeForTesting();
    services().hotKeys = previous_;
}

} // namespace zarvo::test
