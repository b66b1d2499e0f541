#include "platform/atomicfile.h"
#include "platform/plistio.h"
#include "shortcut/globalshortcut.h"
#include "shortcut/shortcutuserdefaultshotkey.h"
#include "shortcuttesting.h"

#include <gtest/gtest.h>

namespace zarvo {
namespace {

const QString kKey = QStringLiteral("ZarvoShortcut");
constexpr quint64 kDefaultFlags = modifier::kControl | modifier::kOption | modifier::kCommand;
constexpr quint64 kRecordedFlags = modifier::kShift | modifier::kCommand;
const Shortcut kDefault(40, kDefaultFlags);  // Control+Alt+Super+K
const Shortcut kRecorded(0, kRecordedFlags); // Shift+Super+A

class UserDefaultsHotKeyTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureShortcutApplication(); }
    MemoryHotKeyService& service() { return hotKeys.service(); }
    bool pressDefault() { return service().press(40, kDefaultFlags); }
    bool pressRecorded() { return service().press(0, kRecordedFlags); }
    const ShortcutUserDefaultsHotKey* binding() const
    {
        const auto it = registeredUserDefaultsHotKeys().find(kKey);
        return it == registeredUserDefaultsHotKeys().end() ? nullptr : it->second.get();
    }

    test::UsKeyboard keyboard;
    test::TempDefaults defaults;
    test::MemoryHotKeys hotKeys;
    int presses = 0;
    ShortcutHandler count = [this] { ++presses; };
};

TEST_F(UserDefaultsHotKeyTest, StoreThenRegisterRegistersBeforeReturning)
{
    setGlobalShortcut(kDefault, kKey);
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    ASSERT_NE(binding(), nullptr);
    EXPECT_EQ(binding()->monitor(), kDefault.description());
    EXPECT_EQ(binding()->userDefaultsKey(), kKey);
    EXPECT_TRUE(pressDefault());
    EXPECT_EQ(presses, 1);
}

TEST_F(UserDefaultsHotKeyTest, RegisterThenStore)
{
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    EXPECT_TRUE(service().registrations().empty());
    EXPECT_FALSE(binding()->monitor().has_value());
    setGlobalShortcut(kDefault, kKey);
    EXPECT_TRUE(pressDefault());
    EXPECT_EQ(presses, 1);
}

TEST_F(UserDefaultsHotKeyTest, StoringNilRemovesTheKeyAndTheHotKey)
{
    setGlobalShortcut(kDefault, kKey);
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    setGlobalShortcut(std::nullopt, kKey);
    EXPECT_FALSE(defaults.store().objectForKey(kKey).has_value());
    EXPECT_TRUE(service().registrations().empty());
    EXPECT_FALSE(binding()->monitor().has_value());
}

TEST_F(UserDefaultsHotKeyTest, StoringANewShortcutMovesTheHotKey)
{
    setGlobalShortcut(kDefault, kKey);
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    setGlobalShortcut(kRecorded, kKey);
    EXPECT_FALSE(pressDefault());
    EXPECT_TRUE(pressRecorded());
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(service().registrations().size(), 1u);
}

TEST_F(UserDefaultsHotKeyTest, StoringTheSameShortcutReRegistersWithoutCollision)
{
    setGlobalShortcut(kDefault, kKey);
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    const auto before = service().registrations().at(0).id;
    setGlobalShortcut(kDefault, kKey);
    ASSERT_EQ(service().registrations().size(), 1u);
    EXPECT_GT(service().registrations().at(0).id, before) << "registered anew";
    EXPECT_EQ(binding()->monitor(), kDefault.description());
    EXPECT_TRUE(pressDefault());
    EXPECT_EQ(presses, 1);
}

TEST_F(UserDefaultsHotKeyTest, CombinationThatCannotBeRegisteredLeavesNoneAndSaysWhy)
{
    QStringList changed;
    QObject::connect(&HotKeyDispatcher::shared(), &HotKeyDispatcher::bindingChanged, &service(),
                     [&](const QString& key) { changed << key; });
    setGlobalShortcut(kDefault, kKey);
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    EXPECT_EQ(binding()->failure(), std::nullopt);
    service().holdElsewhere(0, kRecordedFlags);
    setGlobalShortcut(kRecorded, kKey);
    EXPECT_TRUE(service().registrations().empty());
    EXPECT_FALSE(binding()->monitor().has_value());
    EXPECT_EQ(binding()->failure(), HotKeyFailure::taken);
    EXPECT_FALSE(pressDefault());
    EXPECT_FALSE(changed.isEmpty());
    EXPECT_EQ(changed.last(), kKey);

    // Nothing stored is no failure; a desktop without hot keys is one.
    setGlobalShortcut(std::nullopt, kKey);
    EXPECT_EQ(binding()->failure(), std::nullopt);
    service().failEveryRegistration(HotKeyFailure::unsupported);
    setGlobalShortcut(kDefault, kKey);
    EXPECT_EQ(binding()->failure(), HotKeyFailure::unsupported);

    // The desktop taking a working hot key back is a failure too.
    service().failEveryRegistration(std::nullopt);
    setGlobalShortcut(kDefault, kKey);
    ASSERT_EQ(binding()->failure(), std::nullopt);
    changed.clear();
    Q_EMIT service().registrationFailed(service().registrations().at(0).id, HotKeyFailure::refused);
    EXPECT_EQ(binding()->failure(), HotKeyFailure::refused);
    EXPECT_EQ(changed, QStringList{kKey});
}

TEST_F(UserDefaultsHotKeyTest, UnregisterKeepsTheStoredValue)
{
    setGlobalShortcut(kDefault, kKey);
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    unregisterGlobalShortcutWithUserDefaultsKey(kKey);
    EXPECT_EQ(binding(), nullptr);
    EXPECT_TRUE(service().registrations().empty());
    EXPECT_EQ(defaults.store().dataForKey(kKey), kDefault.data());
    // No longer observed: a new value registers nothing.
    setGlobalShortcut(kRecorded, kKey);
    EXPECT_TRUE(service().registrations().empty());
    // Registering again picks the stored value up.
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    EXPECT_TRUE(pressRecorded());
    unregisterGlobalShortcutWithUserDefaultsKey(QStringLiteral("NeverRegistered"));
    EXPECT_EQ(service().registrations().size(), 1u);
}

TEST_F(UserDefaultsHotKeyTest, EmptyRootArchiveReadsAsNoShortcut)
{
    setGlobalShortcut(kDefault, kKey);
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    defaults.store().setObject(Shortcut::archivedDataWithEmptyRoot(), kKey);
    EXPECT_TRUE(service().registrations().empty());
    EXPECT_FALSE(binding()->monitor().has_value());
}

TEST_F(UserDefaultsHotKeyTest, RegisteringAgainLeavesTheNewBindingActive)
{
    int second = 0;
    setGlobalShortcut(kDefault, kKey);
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    registerGlobalShortcutWithUserDefaultsKey(kKey, [&] { ++second; });
    EXPECT_EQ(registeredUserDefaultsHotKeys().size(), 1u);
    EXPECT_EQ(binding()->monitor(), kDefault.description());
    EXPECT_TRUE(pressDefault());
    EXPECT_EQ(presses, 0);
    EXPECT_EQ(second, 1);
}

TEST_F(UserDefaultsHotKeyTest, SetHandlerAffectsOnlyTheNextRegistration)
{
    int second = 0;
    setGlobalShortcut(kDefault, kKey);
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    registeredUserDefaultsHotKeys().at(kKey)->setHandler([&] { ++second; });
    pressDefault();
    EXPECT_EQ(presses, 1);
    setGlobalShortcut(kDefault, kKey);
    pressDefault();
    EXPECT_EQ(second, 1);
}

TEST_F(UserDefaultsHotKeyTest, HotKeyFollowsAHandEditOfTheFile)
{
    setGlobalShortcut(kDefault, kKey);
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    const QVariantMap edited{{kKey, kRecorded.data()}};
    ASSERT_TRUE(writeFileAtomically(defaults.path(), plist::toXml(edited)).ok());
    ASSERT_TRUE(test::waitUntil([&] { return binding()->monitor() == kRecorded.description(); }));
    EXPECT_TRUE(pressRecorded());
    EXPECT_FALSE(pressDefault());
}

TEST_F(UserDefaultsHotKeyTest, MonitorReadsNothingOnceItsHotKeyIsRemovedElsewhere)
{
    setGlobalShortcut(kDefault, kKey);
    registerGlobalShortcutWithUserDefaultsKey(kKey, count);
    removeGlobalHotkeyMonitor(kDefault.description());
    EXPECT_FALSE(binding()->monitor().has_value());
    // A later hot key with the same description is not this binding's.
    int other = 0;
    ASSERT_TRUE(addGlobalHotkeyMonitorWithShortcut(kDefault, [&] { ++other; }));
    EXPECT_FALSE(binding()->monitor().has_value());
    setGlobalShortcut(kRecorded, kKey);
    EXPECT_TRUE(pressDefault()) << "the other hot key survives the binding's change";
    EXPECT_EQ(other, 1);
}

class GlobalShortcutStartupTest : public UserDefaultsHotKeyTest {};

TEST_F(GlobalShortcutStartupTest, FirstStartStoresTheDefaultAndRegistersIt)
{
    EXPECT_EQ(defaultGlobalShortcut().description(), kDefault.description());
    installGlobalShortcut(count);
    const auto stored = Shortcut::shortcutWithData(defaults.store().dataForKey(kKey));
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->keyCode(), 40u);
    EXPECT_EQ(stored->modifierFlags(), 0x1C0000u);
    EXPECT_TRUE(pressDefault());
    EXPECT_EQ(presses, 1);
}

TEST_F(GlobalShortcutStartupTest, StartupRule)
{
    struct Row {
        const char* name;
        std::optional<QVariant> stored;
        std::optional<QByteArray> expected; // what the key holds afterwards
        bool defaultRegistered;
    } rows[] = {
        {"nothing stored gets the default", std::nullopt, kDefault.data(), true},
        {"a recorded shortcut is kept", QVariant(kRecorded.data()), kRecorded.data(), false},
        {"a deliberately cleared shortcut is kept", QVariant(Shortcut::archivedDataWithEmptyRoot()),
         Shortcut::archivedDataWithEmptyRoot(), false},
        {"garbage data gets the default", QVariant(QByteArray("garbage")), kDefault.data(), true},
        {"a value that is not data gets the default", QVariant(QStringLiteral("ctrl+k")),
         kDefault.data(), true},
    };
    for (const Row& row : rows) {
        resetUserDefaultsHotKeysForTesting();
        resetHotKeysForTesting();
        defaults.store().removeObjectForKey(kKey);
        if (row.stored) {
            defaults.store().setObject(*row.stored, kKey);
        }
        installGlobalShortcut(count);
        EXPECT_EQ(defaults.store().dataForKey(kKey), row.expected) << row.name;
        EXPECT_EQ(pressDefault(), row.defaultRegistered) << row.name;
    }
}

TEST_F(GlobalShortcutStartupTest, RecordedShortcutSurvivesARestart)
{
    installGlobalShortcut(count);
    setGlobalShortcut(kRecorded, kKey);
    // The next launch: a fresh process state over the same store.
    resetUserDefaultsHotKeysForTesting();
    resetHotKeysForTesting();
    installGlobalShortcut(count);
    EXPECT_TRUE(pressRecorded());
    EXPECT_FALSE(pressDefault());
    EXPECT_EQ(presses, 1);
}

} // namespace
} // namespace zarvo
