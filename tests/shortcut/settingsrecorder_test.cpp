#include "app/applicationdelegate.h"
#include "panel/panelcontroller.h"
#include "platform/defaultsstore.h"
#include "platform/recordingscriptrunner.h"
#include "platform/resourcedir.h"
#include "platform/services.h"
#include "recordertesting.h"
#include "shortcut/globalshortcut.h"
#include "shortcut/shortcutrecorder.h"
#include "shortcut/shortcutview.h"
#include "shortcuttesting.h"
#include "support/tempresources.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

const Shortcut kRecorded(37, 0x140000); // Control+Super+L
constexpr quint32 kDefaultCarbon = 0x1900;
constexpr quint32 kRecordedCarbon = 0x1100;

// The started application over a temporary store and an in-memory hot key
// service, with its global shortcut installed as at start-up.
class SettingsRecorderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        prepareResourceDirectory();
        saved_ = services();
        services().scriptRunner = &runner;
        app.setGlobalShortcutInstaller(&installGlobalShortcut);
        app.applicationDidFinishLaunching();
    }
    void TearDown() override { services().scriptRunner = saved_.scriptRunner; }

    QWidget& settings() { return *app.panelController()->openPreferencesWindow(); }
    ShortcutView* recorder() { return settings().findChild<ShortcutView*>(); }

    const bool application_ = (test::ensureShortcutApplication(), true);
    test::UsKeyboard keyboard;
    test::TempResources resources;
    test::TempDefaults defaults;
    test::MemoryHotKeys hotKeys;
    test::RecorderSeams seams;
    RecordingScriptRunner runner;
    ApplicationDelegate app;

private:
    Services saved_;
};

TEST_F(SettingsRecorderTest, TheSettingsWindowShowsTheGlobalShortcutInItsRow)
{
    ShortcutView* view = recorder();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->parentWidget(), app.panelController()->shortcutRecorderSlot());
    EXPECT_EQ(view->associatedUserDefaultsKey(), QStringLiteral("ZarvoShortcut"));
    ASSERT_TRUE(view->shortcutValue().has_value());
    EXPECT_EQ(view->shortcutValue()->description(), defaultGlobalShortcut().description());
    auto* label = settings().findChild<QLabel*>(QStringLiteral("shortcutRecorderSlot_label"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->buddy(), view);
}

TEST_F(SettingsRecorderTest, RecordingThereMovesTheLiveHotKeyAtOnce)
{
    app.MenuPreferences();
    ASSERT_TRUE(settings().isVisible());
    ShortcutView* view = recorder();
    ASSERT_NE(view, nullptr);
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, view->height() / 2));
    ASSERT_TRUE(view->isRecording());
    QTest::keyClick(&settings(), Qt::Key_L, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_FALSE(view->isRecording());
    EXPECT_EQ(DefaultsStore::standardUserDefaults().dataForKey(globalShortcutDefaultsKey()),
              kRecorded.data());

    EXPECT_FALSE(hotKeys.service().press(40, kDefaultCarbon)) << "the old hot key is gone";
    EXPECT_FALSE(app.panelController()->hasActivePanel());
    EXPECT_TRUE(hotKeys.service().press(37, kRecordedCarbon));
    EXPECT_TRUE(app.panelController()->hasActivePanel()) << "the new one toggles the panel";

    // The next start-up keeps what the user recorded.
    installGlobalShortcut([] {});
    EXPECT_EQ(DefaultsStore::standardUserDefaults().dataForKey(globalShortcutDefaultsKey()),
              kRecorded.data());
    EXPECT_TRUE(hotKeys.service().press(37, kRecordedCarbon));
}

} // namespace
} // namespace zarvo
