#include "platform/services.h"
#include "shortcut/shortcuthotkey.h"
#include "shortcuttesting.h"

#include <gtest/gtest.h>

namespace zarvo {
namespace {

const Shortcut kDefault(40, test::kControlAltSuper);
const Shortcut kOther(0, modifier::kControl); // Control+A

class ShortcutHotKeyTest : public ::testing::Test {
protected:
    MemoryHotKeyService& service() { return hotKeys.service(); }
    bool pressDefault() { return service().press(40, test::kControlAltSuper); }

    test::UsKeyboard keyboard;
    test::MemoryHotKeys hotKeys;
};

TEST_F(ShortcutHotKeyTest, FirstRegistrationCarriesIdOneThenTwo)
{
    const auto first = addGlobalHotkeyMonitorWithShortcut(kDefault, [] {});
    const auto second = addGlobalHotkeyMonitorWithShortcut(kOther, [] {});
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, kDefault.description());
    EXPECT_EQ(hotKeyForMonitor(*first)->hotKeyID(), 1u);
    EXPECT_EQ(hotKeyForMonitor(*second)->hotKeyID(), 2u);
    ASSERT_EQ(service().registrations().size(), 2u);
    const auto& registration = service().registrations()[0];
    EXPECT_EQ(registration.id, 1u);
    EXPECT_EQ(registration.keyCode, 40u);
    EXPECT_EQ(registration.modifiers, test::kControlAltSuper);
}

TEST_F(ShortcutHotKeyTest, FailedRegistrationStillAdvancesTheCounter)
{
    service().holdElsewhere(40, test::kControlAltSuper);
    HotKeyFailure why = HotKeyFailure::invalid;
    EXPECT_FALSE(addGlobalHotkeyMonitorWithShortcut(
                     kDefault, [] {}, &why)
                     .has_value());
    EXPECT_EQ(why, HotKeyFailure::taken);
    EXPECT_EQ(hotKeyForMonitor(kDefault.description()), nullptr);
    EXPECT_TRUE(isHotKeyEventHandlerInstalled()) << "a failure leaves the handler installed";
    const auto next = addGlobalHotkeyMonitorWithShortcut(kOther, [] {});
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(hotKeyForMonitor(*next)->hotKeyID(), 2u);
}

TEST_F(ShortcutHotKeyTest, NilShortcutFailsWithoutCounterOrHandler)
{
    EXPECT_FALSE(addGlobalHotkeyMonitorWithShortcut(std::nullopt, [] {}).has_value());
    EXPECT_FALSE(isHotKeyEventHandlerInstalled());
    const auto monitor = addGlobalHotkeyMonitorWithShortcut(kDefault, [] {});
    ASSERT_TRUE(monitor.has_value());
    EXPECT_EQ(hotKeyForMonitor(*monitor)->hotKeyID(), 1u);
}

TEST_F(ShortcutHotKeyTest, PressCallsTheHandler)
{
    int presses = 0;
    ASSERT_TRUE(addGlobalHotkeyMonitorWithShortcut(kDefault, [&] { ++presses; }));
    EXPECT_TRUE(pressDefault());
    EXPECT_TRUE(pressDefault());
    EXPECT_EQ(presses, 2);
}

TEST_F(ShortcutHotKeyTest, SameDescriptionKeepsTheFirstHandler)
{
    int first = 0;
    int second = 0;
    ASSERT_TRUE(addGlobalHotkeyMonitorWithShortcut(kDefault, [&] { ++first; }));
    EXPECT_FALSE(addGlobalHotkeyMonitorWithShortcut(Shortcut(40, test::kControlAltSuper | 0x10000),
                                                    [&] { ++second; }));
    EXPECT_EQ(service().registrations().size(), 1u);
    pressDefault();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
}

TEST_F(ShortcutHotKeyTest, RemovingUnregistersAndLastRemovalRemovesTheHandler)
{
    const auto a = addGlobalHotkeyMonitorWithShortcut(kDefault, [] {});
    const auto b = addGlobalHotkeyMonitorWithShortcut(kOther, [] {});
    removeGlobalHotkeyMonitor(a);
    EXPECT_EQ(service().registrations().size(), 1u);
    EXPECT_FALSE(pressDefault());
    EXPECT_TRUE(isHotKeyEventHandlerInstalled());
    removeGlobalHotkeyMonitor(b);
    EXPECT_TRUE(service().registrations().empty());
    EXPECT_FALSE(isHotKeyEventHandlerInstalled());

    // Adding again listens again, and it works.
    int presses = 0;
    ASSERT_TRUE(addGlobalHotkeyMonitorWithShortcut(kDefault, [&] { ++presses; }));
    EXPECT_TRUE(isHotKeyEventHandlerInstalled());
    pressDefault();
    EXPECT_EQ(presses, 1);
}

TEST_F(ShortcutHotKeyTest, RemovingNilDoesNothing)
{
    service().holdElsewhere(40, test::kControlAltSuper);
    addGlobalHotkeyMonitorWithShortcut(kDefault, [] {}); // fails, handler stays installed
    removeGlobalHotkeyMonitor(std::nullopt);
    EXPECT_TRUE(isHotKeyEventHandlerInstalled());
}

TEST_F(ShortcutHotKeyTest, RemovingUnknownMonitorWithEmptyRegistryRemovesTheHandler)
{
    service().holdElsewhere(40, test::kControlAltSuper);
    addGlobalHotkeyMonitorWithShortcut(kDefault, [] {});
    ASSERT_TRUE(isHotKeyEventHandlerInstalled());
    removeGlobalHotkeyMonitor(QStringLiteral("not a monitor"));
    EXPECT_FALSE(isHotKeyEventHandlerInstalled());
}

TEST_F(ShortcutHotKeyTest, UnknownIdCallsNothingAndNullHandlerConsumesThePress)
{
    int presses = 0;
    ASSERT_TRUE(addGlobalHotkeyMonitorWithShortcut(kDefault, [&] { ++presses; }));
    ASSERT_TRUE(addGlobalHotkeyMonitorWithShortcut(kOther, ShortcutHandler()));
    Q_EMIT service().activated(99);
    EXPECT_EQ(presses, 0);
    EXPECT_TRUE(service().press(0, modifier::kControl));
    EXPECT_EQ(presses, 0);
    Q_EMIT service().activated(1);
    EXPECT_EQ(presses, 1);
}

TEST_F(ShortcutHotKeyTest, LaterFailureAndDesktopTriggerReachTheHotKey)
{
    const auto monitor = addGlobalHotkeyMonitorWithShortcut(kDefault, [] {});
    ASSERT_TRUE(monitor.has_value());
    QStringList changed;
    QObject::connect(&HotKeyDispatcher::shared(), &HotKeyDispatcher::hotKeyChanged, &service(),
                     [&](const QString& m) { changed << m; });
    Q_EMIT service().triggerChanged(1, QStringLiteral("Ctrl+Alt+Meta+K"));
    Q_EMIT service().triggerChanged(7, QStringLiteral("not ours"));
    EXPECT_EQ(hotKeyForMonitor(*monitor)->desktopTrigger(), QStringLiteral("Ctrl+Alt+Meta+K"));
    Q_EMIT service().registrationFailed(1, HotKeyFailure::refused);
    EXPECT_EQ(hotKeyForMonitor(*monitor)->laterFailure(), HotKeyFailure::refused);
    EXPECT_EQ(changed, QStringList({*monitor, *monitor}));
}

TEST_F(ShortcutHotKeyTest, HandlerMayRemoveItsOwnHotKey)
{
    std::optional<QString> monitor;
    int presses = 0;
    monitor = addGlobalHotkeyMonitorWithShortcut(kDefault, [&] {
        ++presses;
        removeGlobalHotkeyMonitor(monitor);
    });
    ASSERT_TRUE(monitor.has_value());
    EXPECT_TRUE(pressDefault());
    EXPECT_EQ(presses, 1);
    EXPECT_FALSE(pressDefault());
    EXPECT_FALSE(isHotKeyEventHandlerInstalled());
}

TEST_F(ShortcutHotKeyTest, UninstallKeepsTheId)
{
    auto hotKey = ShortcutHotKey::create(kDefault, [] {});
    ASSERT_NE(hotKey, nullptr);
    EXPECT_TRUE(hotKey->isRegistered());
    hotKey->uninstallExistingHotKey();
    EXPECT_FALSE(hotKey->isRegistered());
    EXPECT_EQ(hotKey->hotKeyID(), 1u);
    EXPECT_TRUE(service().registrations().empty());
    hotKey->uninstallExistingHotKey();
}

TEST_F(ShortcutHotKeyTest, WithoutServiceNothingRegisters)
{
    services().hotKeys = nullptr;
    HotKeyFailure why = HotKeyFailure::taken;
    EXPECT_FALSE(addGlobalHotkeyMonitorWithShortcut(
                     kDefault, [] {}, &why)
                     .has_value());
    EXPECT_EQ(why, HotKeyFailure::unsupported);
    EXPECT_FALSE(isHotKeyEventHandlerInstalled());
}

} // namespace
} // namespace zarvo
