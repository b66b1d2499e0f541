#include "app/applicationdelegate.h"
#include "panel/panelcontroller.h"
#include "platform/defaultsstore.h"
#include "platform/memorynotifier.h"
#include "platform/recordingscriptrunner.h"
#include "platform/resourcedir.h"
#include "platform/services.h"
#include "recordertesting.h"
#include "shortcut/globalshortcut.h"
#include "shortcut/globalshortcutrecorder.h"
#include "shortcut/shortcuthotkey.h"
#include "shortcut/shortcutrecorder.h"
#include "shortcut/shortcutuserdefaultshotkey.h"
#include "shortcut/shortcutview.h"
#include "shortcuttesting.h"
#include "support/tempresources.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

const Shortcut kRecorded(37, modifier::kControl | modifier::kCommand); // Control+Super+L
constexpr quint64 kDefaultFlags = modifier::kControl | modifier::kOption | modifier::kCommand;
constexpr quint64 kRecordedFlags = modifier::kControl | modifier::kCommand;

// The started application over a temporary store and an in-memory hot key
// service, with its global shortcut installed as at start-up.
class SettingsRecorderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        prepareResourceDirectory();
        saved_ = services();
        services().scriptRunner = &runner;
        services().notifier = &notifier;
        app.setGlobalShortcutInstaller(&installGlobalShortcut);
        app.applicationDidFinishLaunching();
    }
    void TearDown() override
    {
        services().scriptRunner = saved_.scriptRunner;
        services().notifier = saved_.notifier;
    }

    QWidget& settings() { return *app.panelController()->openPreferencesWindow(); }
    ShortcutView* recorder() { return settings().findChild<ShortcutView*>(); }

    const bool application_ = (test::ensureShortcutApplication(), true);
    test::UsKeyboard keyboard;
    test::TempResources resources;
    test::TempDefaults defaults;
    test::MemoryHotKeys hotKeys;
    test::RecorderSeams seams;
    RecordingScriptRunner runner;
    MemoryNotifier notifier;
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

    EXPECT_FALSE(hotKeys.service().press(40, kDefaultFlags)) << "the old hot key is gone";
    EXPECT_FALSE(app.panelController()->hasActivePanel());
    EXPECT_TRUE(hotKeys.service().press(37, kRecordedFlags));
    EXPECT_TRUE(app.panelController()->hasActivePanel()) << "the new one toggles the panel";

    // The next start-up keeps what the user recorded.
    installGlobalShortcut([] {});
    EXPECT_EQ(DefaultsStore::standardUserDefaults().dataForKey(globalShortcutDefaultsKey()),
              kRecorded.data());
    EXPECT_TRUE(hotKeys.service().press(37, kRecordedFlags));
}

TEST_F(SettingsRecorderTest, ADeadShortcutIsToldOnceAndShownBesideTheRecorder)
{
    ASSERT_TRUE(notifier.notifications().isEmpty()) << "a working shortcut tells nothing";
    auto* status = settings().findChild<QLabel*>(QLatin1String(kShortcutStatusName));
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->isHidden());

    // The next start: another program holds the default shortcut.
    resetUserDefaultsHotKeysForTesting();
    resetHotKeysForTesting();
    hotKeys.service().holdElsewhere(40, kDefaultFlags);
    installGlobalShortcut([] {});
    ASSERT_EQ(notifier.notifications().size(), 1);
    EXPECT_EQ(notifier.notifications()[0].summary,
              QStringLiteral("The global shortcut does not work"));
    EXPECT_TRUE(notifier.notifications()[0].body.contains(defaultGlobalShortcut().description()));
    EXPECT_FALSE(status->isHidden());
    EXPECT_EQ(status->text(),
              QStringLiteral("Taken by another program: record another combination."));

    // Recording another combination that works clears the row.
    app.MenuPreferences();
    ShortcutView* view = recorder();
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, view->height() / 2));
    QTest::keyClick(&settings(), Qt::Key_L, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_TRUE(status->isHidden());

    auto* bind = settings().findChild<QPushButton*>(QLatin1String(kDesktopKeybindingButtonName));
    ASSERT_NE(bind, nullptr);
    EXPECT_TRUE(bind->isHidden()) << "only where the desktop gives no hot keys";

    // A recording the desktop cannot register is shown, and not told twice.
    int binds = 0;
    setDesktopKeybindingBinder([&binds] {
        ++binds;
        return QStringLiteral("bound in the desktop");
    });
    hotKeys.service().failEveryRegistration(HotKeyFailure::unsupported);
    setGlobalShortcut(Shortcut(96, modifier::kShift), globalShortcutDefaultsKey());
    EXPECT_FALSE(status->isHidden());
    EXPECT_TRUE(status->text().contains(QStringLiteral("zarvo toggle")));
    EXPECT_EQ(notifier.notifications().size(), 1);
    // There the row offers the desktop's own keybinding.
    EXPECT_FALSE(bind->isHidden());
    bind->click();
    EXPECT_EQ(binds, 1);
    EXPECT_EQ(status->text(), QStringLiteral("bound in the desktop"));
    setDesktopKeybindingBinder({});

    // Where the desktop chooses the trigger, the row says what it chose.
    hotKeys.service().failEveryRegistration(std::nullopt);
    setGlobalShortcut(kRecorded, globalShortcutDefaultsKey());
    Q_EMIT hotKeys.service().triggerChanged(hotKeys.service().registrations().at(0).id,
                                            QStringLiteral("Ctrl+Meta+L"));
    EXPECT_EQ(status->text(), QStringLiteral("The desktop binds it to Ctrl+Meta+L."));
}

} // namespace
} // namespace zarvo
