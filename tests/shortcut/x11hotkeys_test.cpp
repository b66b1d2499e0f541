// The X11 backend of the shortcut subsystem on a real X server: an Xvfb this
// test starts itself, pressed with xdotool. Skipped where Xvfb is missing.

#include "platform/services.h"
#include "platform/x11/x11hotkeyservice.h"
#include "platform/x11/x11keyboardlayout.h"
#include "shortcut/globalshortcut.h"
#include "shortcut/shortcuthotkey.h"
#include "shortcut/shortcutuserdefaultshotkey.h"
#include "shortcut/shortcutvalidator.h"
#include "shortcuttesting.h"
#include "support/xvfbserver.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace zarvo {
namespace {

const QString kSystemMessage = QStringLiteral(
    "This combination cannot be used because it is already used by a system-wide keyboard "
    "shortcut.\nIf you really want to use this key combination, most shortcuts can be changed "
    "in the Keyboard & Mouse panel in System Preferences.");
using test::kControlAltSuper;
const Shortcut kDefault(40, kControlAltSuper);

class X11HotKeysTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server = new test::XvfbServer;
        if (!server->running()) {
            return;
        }
        display = server->display();
        qputenv("DISPLAY", display);
        qputenv("QT_QPA_PLATFORM", "xcb");
        static int argc = 1;
        static char name[] = "zarvo-x11-tests";
        static char* argv[] = {name, nullptr};
        application = new QApplication(argc, argv);
    }

    static void TearDownTestSuite()
    {
        // The application's connection goes before the server does.
        delete application;
        application = nullptr;
        delete server;
        server = nullptr;
    }

    void SetUp() override
    {
        if (!application) {
            GTEST_SKIP() << "Xvfb or xdotool is not installed, or Xvfb did not start";
        }
        hotKeys = x11::createHotKeyService();
        layout = x11::createKeyboardLayout();
        ASSERT_NE(hotKeys, nullptr);
        ASSERT_NE(layout, nullptr);
        resetUserDefaultsHotKeysForTesting();
        resetHotKeysForTesting();
        services().hotKeys = hotKeys.get();
        services().keyboardLayout = layout.get();
        run(QStringLiteral("setxkbmap"), {QStringLiteral("us")});
    }

    void TearDown() override
    {
        resetUserDefaultsHotKeysForTesting();
        resetHotKeysForTesting();
        services().hotKeys = nullptr;
        services().keyboardLayout = nullptr;
    }

    static bool run(const QString& program, const QStringList& args)
    {
        return server->run(program, args);
    }
    static bool press(const QString& keys) { return server->pressKeys(keys); }

    static inline test::XvfbServer* server = nullptr;
    static inline QApplication* application = nullptr;
    static inline QByteArray display;

    test::TempDefaults defaults;
    std::unique_ptr<HotKeyService> hotKeys;
    std::unique_ptr<KeyboardLayout> layout;
};

TEST_F(X11HotKeysTest, GlobalShortcutPressedWithXdotoolCallsTheHandler)
{
    int toggles = 0;
    installGlobalShortcut([&] { ++toggles; });
    ASSERT_TRUE(press(QStringLiteral("ctrl+alt+super+k")));
    ASSERT_TRUE(test::waitUntil([&] { return toggles == 1; }));
    ASSERT_TRUE(press(QStringLiteral("ctrl+alt+super+k")));
    ASSERT_TRUE(test::waitUntil([&] { return toggles == 2; }));

    // Whatever lock is on.
    ASSERT_TRUE(press(QStringLiteral("Caps_Lock")));
    ASSERT_TRUE(press(QStringLiteral("ctrl+alt+super+k")));
    ASSERT_TRUE(test::waitUntil([&] { return toggles == 3; }));
    ASSERT_TRUE(press(QStringLiteral("Caps_Lock")));

    // Other combinations of the key are not ours.
    ASSERT_TRUE(press(QStringLiteral("ctrl+alt+k")));
    ASSERT_TRUE(press(QStringLiteral("ctrl+alt+super+k")));
    ASSERT_TRUE(test::waitUntil([&] { return toggles >= 4; }));
    EXPECT_EQ(toggles, 4);
}

TEST_F(X11HotKeysTest, HoldingTheKeyPressesOnce)
{
    int toggles = 0;
    installGlobalShortcut([&] { ++toggles; });
    // Held past the server's auto-repeat delay of 660 ms (the hold is the
    // input here, not a wait for a result): the server repeats the press.
    ASSERT_TRUE(
        run(QStringLiteral("xdotool"),
            {QStringLiteral("keydown"), QStringLiteral("ctrl+alt+super+k"), QStringLiteral("sleep"),
             QStringLiteral("1"), QStringLiteral("keyup"), QStringLiteral("ctrl+alt+super+k")}));
    ASSERT_TRUE(press(QStringLiteral("ctrl+alt+super+k")));
    ASSERT_TRUE(test::waitUntil([&] { return toggles >= 2; }));
    EXPECT_EQ(toggles, 2);
}

TEST_F(X11HotKeysTest, HotKeyFollowsTheStoredShortcut)
{
    int toggles = 0;
    installGlobalShortcut([&] { ++toggles; });
    setGlobalShortcut(Shortcut(96, 0x20000), globalShortcutDefaultsKey()); // Shift+F5
    ASSERT_TRUE(press(QStringLiteral("ctrl+alt+super+k")));
    ASSERT_TRUE(press(QStringLiteral("shift+F5")));
    ASSERT_TRUE(test::waitUntil([&] { return toggles >= 1; }));
    EXPECT_EQ(toggles, 1);
}

TEST_F(X11HotKeysTest, CombinationGrabbedByAnotherClientIsTakenSystemWide)
{
    auto other = x11::createHotKeyServiceOnDisplay(display);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(other->registerShortcut(1, 40, kControlAltSuper).ok());

    ShortcutError error;
    EXPECT_TRUE(isTakenError(kDefault, &error));
    EXPECT_EQ(error.domain, QStringLiteral("NSCocoaErrorDomain"));
    EXPECT_EQ(error.localizedDescription, kSystemMessage);
    EXPECT_FALSE(isTakenError(Shortcut(40, 0x140000)));
    // Registration fails as well, as taken: the other client keeps its grab.
    HotKeyFailure why = HotKeyFailure::invalid;
    EXPECT_FALSE(addGlobalHotkeyMonitorWithShortcut(
                     kDefault, [] {}, &why)
                     .has_value());
    EXPECT_EQ(why, HotKeyFailure::taken);
    EXPECT_TRUE(hotKeys->canTellTaken());

    other.reset();
    EXPECT_FALSE(isTakenError(kDefault));
    EXPECT_TRUE(addGlobalHotkeyMonitorWithShortcut(kDefault, [] {}).has_value());
}

TEST_F(X11HotKeysTest, OwnHotKeyIsNotTakenAndSurvivesTheCheck)
{
    int toggles = 0;
    ASSERT_TRUE(addGlobalHotkeyMonitorWithShortcut(kDefault, [&] { ++toggles; }));
    EXPECT_FALSE(isTakenError(kDefault));
    // Another client sees our grab.
    auto other = x11::createHotKeyServiceOnDisplay(display);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->isHeldByAnotherClient(40, kControlAltSuper), true);
    ASSERT_TRUE(press(QStringLiteral("ctrl+alt+super+k")));
    ASSERT_TRUE(test::waitUntil([&] { return toggles == 1; }));
}

TEST_F(X11HotKeysTest, KeyTextFollowsTheServerLayout)
{
    const Shortcut zKey(6, 0x100000);
    EXPECT_EQ(zKey.keyCodeString(), QStringLiteral("Z"));
    EXPECT_TRUE(shouldBypass(Shortcut(12, 0x40000))); // the key labelled Q
    ASSERT_TRUE(run(QStringLiteral("setxkbmap"), {QStringLiteral("de")}));
    EXPECT_EQ(zKey.keyCodeString(), QStringLiteral("Y"));
    ASSERT_TRUE(run(QStringLiteral("setxkbmap"), {QStringLiteral("fr")}));
    EXPECT_TRUE(shouldBypass(Shortcut(0, 0x40000))) << "A's place holds Q on a French keyboard";
    EXPECT_FALSE(shouldBypass(Shortcut(12, 0x40000)));
}

} // namespace
} // namespace zarvo
