// The shortcut recorder of the real settings window on an Xvfb of the test's
// own: the application's objects run in this process on the X server, and
// xdotool plays the user. Skipped where Xvfb or xdotool is missing.

#include "app/maininterface.h"
#include "panel/panelcontroller.h"
#include "platform/defaultsstore.h"
#include "platform/hotkeyservice.h"
#include "platform/recordingscriptrunner.h"
#include "platform/resourcedir.h"
#include "platform/services.h"
#include "platform/x11/x11backend.h"
#include "platform/x11/x11hotkeyservice.h"
#include "platform/x11/x11keyboardlayout.h"
#include "shortcut/globalshortcut.h"
#include "shortcut/shortcuthotkey.h"
#include "shortcut/shortcutrecorder.h"
#include "shortcut/shortcutuserdefaultshotkey.h"
#include "shortcut/shortcutview.h"
#include "shortcuttesting.h"
#include "support/tempresources.h"
#include "support/xvfbserver.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace zarvo {
namespace {

using test::kControlAltSuper;
constexpr quint64 kControlSuper = modifier::kControl | modifier::kCommand;
constexpr quint64 kLKeyCode = 37;
constexpr int kTimeoutMs = 15000;

// One Xvfb and one application on it for the whole run: Qt's platform is
// chosen once per process.
test::XvfbServer* sharedServer()
{
    static test::XvfbServer* server = new test::XvfbServer;
    return server;
}

bool startApplicationOnServer()
{
    if (qApp) {
        return x11::available();
    }
    qputenv("DISPLAY", sharedServer()->display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    static QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    static int argc = 1;
    static char name[] = "zarvo-recorder-x11-tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: see tests/shortcut/shortcuttesting.cpp.
    static QApplication* application = new QApplication(argc, argv);
    Q_UNUSED(application);
    QApplication::setQuitOnLastWindowClosed(false);
    return x11::available();
}

class RecorderOnX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!sharedServer()->running()) {
            GTEST_SKIP() << "Xvfb or xdotool is not installed, or Xvfb did not start";
        }
        ASSERT_TRUE(startApplicationOnServer());
        defaults = std::make_unique<test::TempDefaults>();
        resources = std::make_unique<test::TempResources>();
        prepareResourceDirectory();
        hotKeys = x11::createHotKeyService();
        keyboardLayout = x11::createKeyboardLayout();
        ASSERT_NE(hotKeys, nullptr);
        saved = services();
        services().hotKeys = hotKeys.get();
        services().keyboardLayout = keyboardLayout.get();
        services().scriptRunner = &runner;
        probe = x11::createHotKeyServiceOnDisplay(sharedServer()->display());
        ASSERT_NE(probe, nullptr);

        interface = std::make_unique<MainInterface>();
        delegate().setGlobalShortcutInstaller(&installGlobalShortcut);
        delegate().applicationDidFinishLaunching();
        ASSERT_TRUE(eventually([this] { return grabbed(40, kControlAltSuper); }));
    }

    void TearDown() override
    {
        interface.reset();
        resetUserDefaultsHotKeysForTesting();
        resetHotKeysForTesting();
        services() = saved;
        probe.reset();
        hotKeys.reset();
        keyboardLayout.reset();
        resources.reset();
        defaults.reset();
    }

    ApplicationDelegate& delegate() { return interface->delegate(); }
    PanelController& panel() { return *delegate().panelController(); }
    ShortcutView* recorder() { return panel().openPreferencesWindow()->findChild<ShortcutView*>(); }

    bool eventually(const std::function<bool()>& done) { return test::waitUntil(done, kTimeoutMs); }
    // Whether this process holds the grab of the combination, as another
    // client of the server finds.
    bool grabbed(quint64 keyCode, quint64 modifiers)
    {
        return probe->isHeldByAnotherClient(keyCode, modifiers).value_or(false);
    }
    // The user's keys, through the server; the events are handled meanwhile.
    void press(const QString& keys)
    {
        ASSERT_TRUE(sharedServer()->pressKeys(keys));
        QTest::qWait(0);
    }
    // Opens the settings window and clicks into the recorder's shortcut part.
    void clickRecorder()
    {
        delegate().MenuPreferences();
        QWidget* settings = panel().openPreferencesWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(settings));
        ShortcutView* view = recorder();
        ASSERT_NE(view, nullptr);
        const QPoint at = view->mapToGlobal(QPoint(10, view->height() / 2));
        ASSERT_TRUE(sharedServer()->run(QStringLiteral("xdotool"),
                                        {QStringLiteral("mousemove"), QString::number(at.x()),
                                         QString::number(at.y()), QStringLiteral("click"),
                                         QStringLiteral("1")}));
        ASSERT_TRUE(eventually([view] { return view->isRecording(); }));
        ASSERT_TRUE(eventually([settings] { return settings->isActiveWindow(); }));
    }

    std::unique_ptr<test::TempDefaults> defaults;
    std::unique_ptr<test::TempResources> resources;
    std::unique_ptr<HotKeyService> hotKeys;
    std::unique_ptr<KeyboardLayout> keyboardLayout;
    std::unique_ptr<HotKeyService> probe;
    RecordingScriptRunner runner;
    Services saved;
    std::unique_ptr<MainInterface> interface;
};

TEST_F(RecorderOnX11Test, ARecordedShortcutBecomesTheHotKeyThatTogglesThePanel)
{
    clickRecorder();
    press(QStringLiteral("ctrl+super+l"));
    ASSERT_TRUE(eventually([this] { return !recorder()->isRecording(); }));
    ASSERT_TRUE(recorder()->shortcutValue().has_value());
    EXPECT_EQ(recorder()->shortcutValue()->keyCode(), kLKeyCode);
    EXPECT_EQ(Shortcut::shortcutWithData(
                  DefaultsStore::standardUserDefaults().dataForKey(globalShortcutDefaultsKey()))
                  ->description(),
              recorder()->shortcutValue()->description());
    EXPECT_TRUE(eventually([this] { return grabbed(kLKeyCode, kControlSuper); }));
    EXPECT_FALSE(grabbed(40, kControlAltSuper)) << "the old hot key is gone";

    panel().openPreferencesWindow()->close();
    ASSERT_FALSE(panel().hasActivePanel());
    press(QStringLiteral("ctrl+super+l"));
    EXPECT_TRUE(eventually([this] { return panel().hasActivePanel(); }));
}

TEST_F(RecorderOnX11Test, TheLiveHotKeyTypedIntoTheRecorderIsRecordedNotFired)
{
    clickRecorder();
    press(QStringLiteral("ctrl+alt+super+k"));
    ASSERT_TRUE(eventually([this] { return !recorder()->isRecording(); }));
    EXPECT_FALSE(panel().hasActivePanel());
    EXPECT_EQ(recorder()->shortcutValue()->description(), defaultGlobalShortcut().description());
    EXPECT_TRUE(eventually([this] { return grabbed(40, kControlAltSuper); }));
}

TEST_F(RecorderOnX11Test, AnotherWindowTakingTheFocusEndsRecording)
{
    clickRecorder();
    QWidget other;
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    EXPECT_TRUE(eventually([this] { return !recorder()->isRecording(); }));
    EXPECT_FALSE(ShortcutRecorder::isEventMonitoringActive());
}

TEST_F(RecorderOnX11Test, AMenuItemsKeysAreRefusedNotTriggered)
{
    int alerts = 0;
    setRecorderAlert([&alerts](QWidget*, const QString&, const QString&) { ++alerts; });
    clickRecorder();
    // Control+, opens the settings from the main menu; here it is typed into
    // the recorder and refused as taken.
    press(QStringLiteral("ctrl+comma"));
    EXPECT_TRUE(eventually([&alerts] { return alerts == 1; }));
    EXPECT_TRUE(recorder()->isRecording());
    press(QStringLiteral("Escape"));
    EXPECT_TRUE(eventually([this] { return !recorder()->isRecording(); }));
    setRecorderAlert(nullptr);
}

} // namespace
} // namespace zarvo
