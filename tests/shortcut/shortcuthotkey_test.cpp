#include "platform/services.h"
#include "shortcut/shortcuthotkey.h"
#include "shortcuttesting.h"

#include <gtest/gtest.h>

namespace zarvo {
namespace {

constexpr quint64 kControlOptionCommand =
    modifier::kControl | modifier::kOption | modifier::kCommand;

const Shortcut kDefault(40, kControlOptionCommand);
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
    EXPECT_EQ(hotKeyForMonitor(*first)->carbonHotKeyID(), 1u);
    EXPECT_EQ(hotKeyForMonitor(*second)->carbonHotKeyID(), 2u);
    ASSERT_EQ(service().registrations().size(), 2u);
    const auto& registration = service().registrations()[0];
    EXPECT_EQ(registration.id, (EventHotKeyID{0x5A52564F, 1}));
    EXPECT_EQ(registration.keyCode, 40u);
    EXPECT_EQ(registration.modifiers, test::kControlAltSuper);
}

TEST_F(ShortcutHotKeyTest, FailedRegistrationStillAdvancesTheCounter)
{
    service().holdElsewhere(40, test::kControlAltSuper);
    EXPECT_FALSE(addGlobalHotkeyMonitorWithShortcut(kDefault, [] {}).has_value());
    EXPECT_EQ(hotKeyForMonitor(kDefault.description()), nullptr);
    EXPECT_TRUE(isHotKeyEventHandlerInstalled()) << "a failure leaves the handler installed";
    const auto next = addGlobalHotkeyMonitorWithShortcut(kOther, [] {});
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(hotKeyForMonitor(*next)->carbonHotKeyID(), 2u);
}

TEST_F(ShortcutHotKeyTest, NilShortcutFailsWithoutCounterOrHandler)
{
    EXPECT_FALSE(addGlobalHotkeyMonitorWithShortcut(std::nullopt, [] {}).has_value());
    EXPECT_FALSE(isHotKeyEventHandlerInstalled());
    EXPECT_EQ(service().installCalls(), 0);
    const auto monitor = addGlobalHotkeyMonitorWithShortcut(kDefault, [] {});
    ASSERT_TRUE(monitor.has_value());
    EXPECT_EQ(hotKeyForMonitor(*monitor)->carbonHotKeyID(), 1u);
}

TEST_F(ShortcutHotKeyTest, FailingHandlerInstallFailsWithoutCounter)
{
    service().failNextInstall(-108);
    EXPECT_FALSE(addGlobalHotkeyMonitorWithShortcut(kDefault, [] {}).has_value());
    EXPECT_FALSE(isHotKeyEventHandlerInstalled());
    EXPECT_TRUE(service().registrations().empty());
    const auto monitor = addGlobalHotkeyMonitorWithShortcut(kDefault, [] {});
    ASSERT_TRUE(monitor.has_value());
    EXPECT_EQ(hotKeyForMonitor(*monitor)->carbonHotKeyID(), 1u);
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
    EXPECT_FALSE(addGlobalHotkeyMonitorWithShortcut(Shortcut(40, kControlOptionCommand | 0x10000),
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
    EXPECT_EQ(service().installedHandlerCount(), 0);

    // Adding again installs the handler again, and it works.
    int presses = 0;
    ASSERT_TRUE(addGlobalHotkeyMonitorWithShortcut(kDefault, [&] { ++presses; }));
    EXPECT_EQ(service().installCalls(), 2);
    pressDefault();
    EXPECT_EQ(presses, 1);
}

TEST_F(ShortcutHotKeyTest, RemovingNilDoesNothing)
{
    service().holdElsewhere(40, test::kControlAltSuper);
    addGlobalHotkeyMonitorWithShortcut(kDefault, [] {}); // fails, handler stays installed
    removeGlobalHotkeyMonitor(std::nullopt);
    EXPECT_TRUE(isHotKeyEventHandlerInstalled());
    EXPECT_EQ(service().removeCalls(), 0);
}

TEST_F(ShortcutHotKeyTest, RemovingUnknownMonitorWithEmptyRegistryRemovesTheHandler)
{
    service().holdElsewhere(40, test::kControlAltSuper);
    addGlobalHotkeyMonitorWithShortcut(kDefault, [] {});
    ASSERT_TRUE(isHotKeyEventHandlerInstalled());
    removeGlobalHotkeyMonitor(QStringLiteral("not a monitor"));
    EXPECT_FALSE(isHotKeyEventHandlerInstalled());
    EXPECT_EQ(service().removeCalls(), 1);
}

TEST_F(ShortcutHotKeyTest, ForeignSignatureOrUnknownIdCallsNothingAndIsHandled)
{
    int presses = 0;
    ASSERT_TRUE(addGlobalHotkeyMonitorWithShortcut(kDefault, [&] { ++presses; }));
    const EventTypeSpec pressed{hotkey::kEventClassKeyboard, hotkey::kEventHotKeyPressed};
    EXPECT_EQ(service().sendEvent(HotKeyEvent(pressed, EventHotKeyID{0x41424344, 1})), 0);
    EXPECT_EQ(service().sendEvent(HotKeyEvent(pressed, EventHotKeyID{0x5A52564F, 99})), 0);
    EXPECT_EQ(presses, 0);
    EXPECT_EQ(service().sendEvent(HotKeyEvent(pressed, EventHotKeyID{0x5A52564F, 1})), 0);
    EXPECT_EQ(presses, 1);
    // An event without an identifier answers the failed read's status.
    EXPECT_EQ(service().sendEvent(HotKeyEvent(pressed, std::nullopt)),
              hotkey::kEventParameterNotFoundErr);
}

TEST_F(ShortcutHotKeyTest, NullHandlerConsumesThePress)
{
    ASSERT_TRUE(addGlobalHotkeyMonitorWithShortcut(kDefault, ShortcutHandler()));
    const EventTypeSpec pressed{hotkey::kEventClassKeyboard, hotkey::kEventHotKeyPressed};
    EXPECT_EQ(service().sendEvent(HotKeyEvent(pressed, EventHotKeyID{0x5A52564F, 1})), 0);
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
    EXPECT_NE(hotKey->carbonHotKey(), 0u);
    hotKey->uninstallExistingHotKey();
    EXPECT_EQ(hotKey->carbonHotKey(), 0u);
    EXPECT_EQ(hotKey->carbonHotKeyID(), 1u);
    EXPECT_TRUE(service().registrations().empty());
    hotKey->uninstallExistingHotKey();
}

TEST_F(ShortcutHotKeyTest, WithoutServiceNothingRegisters)
{
    services().hotKeys = nullptr;
    EXPECT_FALSE(addGlobalHotkeyMonitorWithShortcut(kDefault, [] {}).has_value());
    EXPECT_FALSE(isHotKeyEventHandlerInstalled());
}

} // namespace
} // namespace zarvo
