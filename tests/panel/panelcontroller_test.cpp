#include "app/applicationdelegate.h"
#include "panel/backgroundview.h"
#include "panel/panel.h"
#include "panel/panelcontroller.h"
#include "panel/panelgeometry.h"
#include "panel/searchfieldview.h"
#include "panel/xtableview.h"
#include "platform/recordingscriptrunner.h"
#include "platform/resourcedir.h"
#include "platform/services.h"
#include "projects/launcher.h"
#include "projects/projectstore.h"
#include "support/tempresources.h"

#include "support/eventcounter.h"
#include "support/wait.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QParallelAnimationGroup>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <vector>

QT_BEGIN_NAMESPACE
[[maybe_unused]] static void PrintTo(const QRectF& r, std::ostream* os)
{
    *os << "(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")";
}
[[maybe_unused]] static void PrintTo(const QRect& r, std::ostream* os)
{
    PrintTo(QRectF(r), os);
}
QT_END_NAMESPACE

namespace zarvo {
namespace {

namespace geo = panel_geometry;

// Qt's offscreen screen is 800 x 800, so without a tray icon the panel hangs
// from x = (800 - 24) / 2 = 388, y = 800 - 2 * 22 = 756.
const QRectF kStatusRect(388, 756, 24, 22);
const QRectF kTarget(260, 680, 280, 98);
// The target in Qt's coordinates: 800 - 680 - 98 = 22 from the top.
const QRect kTargetOnScreen(260, 22, 280, 98);

class PanelControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        prepareResourceDirectory();
        // Let the input events of earlier tests finish being "current".
        QCoreApplication::processEvents();
        ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 800, 800));
    }

    PanelController& controller() { return *app.panelController(); }
    Panel& window() { return *controller().window(); }

    bool openFinished()
    {
        return window().isVisible() && window().windowOpacity() == 1.0 &&
               window().geometry() == kTargetOnScreen;
    }
    void openAndSettle()
    {
        controller().setHasActivePanel(true);
        ASSERT_TRUE(test::waitUntil([&] { return openFinished(); }));
    }
    // Runs the event loop until a timer of SECONDS started now has fired:
    // every timer of that length or shorter started before has fired too.
    void letTimePass(double seconds)
    {
        bool fired = false;
        QTimer::singleShot(qRound(seconds * 1000), [&] { fired = true; });
        ASSERT_TRUE(test::waitUntil([&] { return fired; }));
    }

    test::TempResources resources;
    ApplicationDelegate app;
};

TEST_F(PanelControllerTest, OpensFromTheStatusRectToTheTargetFrame)
{
    EXPECT_EQ(controller().statusRectForWindow(), kStatusRect);
    controller().setHasActivePanel(true);
    EXPECT_TRUE(window().isVisible());
    EXPECT_LT(window().windowOpacity(), 1.0);
    EXPECT_EQ(window().geometry(), QRect(388, 22, 24, 22)) << "the animation starts at the icon";

    ASSERT_TRUE(test::waitUntil([&] { return openFinished(); }));
    EXPECT_EQ(controller().windowFrame(), kTarget);
    EXPECT_EQ(controller().backgroundView()->arrowX(), 140);
    EXPECT_EQ(controller().backgroundView()->geometry(), QRect(0, 0, 280, 98));
    EXPECT_EQ(controller().searchField()->geometry(), QRect(10, 18, 260, 30));
    EXPECT_TRUE(controller().searchField()->isVisible());
    EXPECT_EQ(controller().project_select()->geometry(), QRect(20, 67, 182, 22));
    EXPECT_EQ(controller().btnLaunch()->geometry(), QRect(206, 67, 54, 22));
    EXPECT_TRUE(controller().project_select()->isVisible());
    EXPECT_EQ(controller().btnAdd()->y(), 98 - 9 - controller().btnAdd()->height());
}

TEST_F(PanelControllerTest, EveryAnimationFrameIsLaidOut)
{
    struct Frame {
        QRect window;
        QSize content;
        bool fieldShown;
        bool popUpShown;
        qint64 arrowX;
    };
    std::vector<Frame> frames;
    QObject::connect(&window(), &Panel::windowDidResize, &window(), [&] {
        frames.push_back({window().geometry(), controller().backgroundView()->size(),
                          controller().searchField()->isVisibleTo(&window()),
                          controller().project_select()->isVisibleTo(&window()),
                          controller().backgroundView()->arrowX()});
    });
    controller().setHasActivePanel(true);
    ASSERT_TRUE(test::waitUntil([&] { return openFinished(); }));

    ASSERT_GE(frames.size(), 3u) << "the panel grows through intermediate frames";
    for (const Frame& f : frames) {
        SCOPED_TRACE(::testing::Message()
                     << "frame x " << f.window.x() << " width " << f.window.width());
        EXPECT_EQ(f.content, f.window.size());
        EXPECT_EQ(f.fieldShown, f.window.width() > 20);
        // The pop-up shows once there is room for it beside the Launch button.
        EXPECT_EQ(f.popUpShown, f.window.width() > 40 + 54 + 4);
        EXPECT_EQ(f.arrowX, 400 - f.window.x());
    }
}

TEST_F(PanelControllerTest, PopUpAndBottomRowStayAtTheBottomAsThePanelGrows)
{
    openAndSettle();
    controller().setWindowFrame(QRectF(260, 583, 280, 195));
    EXPECT_EQ(controller().searchField()->geometry(), QRect(10, 18, 260, 30));
    EXPECT_EQ(controller().project_select()->geometry().bottom() + 1, 195 - 9);
    EXPECT_EQ(controller().btnAdd()->geometry().bottom() + 1, 195 - 9);
    EXPECT_EQ(controller().btnOptions()->geometry().bottom() + 1, 195 - 10);
    EXPECT_EQ(controller().app_title_sep()->geometry().bottom() + 1, 195 - 40);
}

TEST_F(PanelControllerTest, EveryAssignmentIsAnnouncedButOnlyChangesAct)
{
    int announced = 0;
    int hides = 0;
    QObject::connect(&controller(), &PanelController::hasActivePanelChanged, [&] { ++announced; });
    test::EventCounter hideCounter(&window(), QEvent::Hide, &hides);

    openAndSettle();
    EXPECT_EQ(announced, 1);
    EXPECT_TRUE(controller().hasActivePanel());

    // A second YES does not open again: no fresh animation from the icon.
    controller().setWindowFrame(QRectF(100, 680, 280, 98));
    controller().setHasActivePanel(true);
    EXPECT_EQ(announced, 2);
    EXPECT_EQ(window().windowOpacity(), 1.0);
    EXPECT_EQ(controller().windowFrame(), QRectF(100, 680, 280, 98));

    controller().setHasActivePanel(false);
    EXPECT_EQ(announced, 3);
    controller().setHasActivePanel(false);
    EXPECT_EQ(announced, 4);
    ASSERT_TRUE(test::waitUntil([&] { return !window().isVisible(); }));
    letTimePass(geo::kRemovalDelay);
    EXPECT_EQ(hides, 1) << "one close, one removal";
}

TEST_F(PanelControllerTest, CloseHidesTheListFadesAndRemovesLater)
{
    openAndSettle();
    controller().scrollView()->show();
    QElapsedTimer clock;
    clock.start();
    controller().setHasActivePanel(false);

    EXPECT_FALSE(controller().scrollView()->isVisibleTo(&window()));
    EXPECT_TRUE(window().isVisible()) << "still on screen while it fades";
    ASSERT_TRUE(test::waitUntil([&] { return window().windowOpacity() == 0.0; }));
    ASSERT_TRUE(test::waitUntil([&] { return !window().isVisible(); }));
    // A lower bound only: the removal must not come with the close itself.
    EXPECT_GE(clock.elapsed(), 150);
    EXPECT_EQ(controller().windowFrame(), kTarget) << "closing keeps the frame";
}

TEST_F(PanelControllerTest, ReopenedWithinTheRemovalDelayStaysOnScreen)
{
    openAndSettle();
    controller().setHasActivePanel(false);
    controller().setHasActivePanel(true);
    // Past the first close's removal time.
    letTimePass(geo::kRemovalDelay + 0.05);
    ASSERT_TRUE(test::waitUntil([&] { return openFinished(); }));
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(controller().hasActivePanel());

    // The next close still takes it off the screen.
    controller().setHasActivePanel(false);
    EXPECT_TRUE(test::waitUntil([&] { return !window().isVisible(); }));
}

TEST_F(PanelControllerTest, ResignKeyClosesOnlyAVisiblePanel)
{
    int announced = 0;
    QObject::connect(&controller(), &PanelController::hasActivePanelChanged, [&] { ++announced; });
    controller().windowDidResignKey();
    EXPECT_EQ(announced, 0) << "a panel off screen ignores it";

    openAndSettle();
    controller().windowDidResignKey();
    EXPECT_FALSE(controller().hasActivePanel());
}

TEST_F(PanelControllerTest, ClosingTheWindowClosesThePanel)
{
    openAndSettle();
    window().close();
    EXPECT_FALSE(controller().hasActivePanel());
}

TEST_F(PanelControllerTest, EscapeInTheWindowClosesThePanel)
{
    openAndSettle();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&window(), &escape);
    EXPECT_FALSE(controller().hasActivePanel());
}

TEST_F(PanelControllerTest, EscapeInTheSearchFieldClosesThePanel)
{
    openAndSettle();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(controller().searchField(), &escape);
    EXPECT_FALSE(controller().hasActivePanel());
}

TEST_F(PanelControllerTest, OpeningReloadsTheStoreAndResetsTheSearch)
{
    ASSERT_TRUE(ProjectStore::saveProject(QStringLiteral("web"),
                                          {{entry_key::filePath, QStringLiteral("/w")}})
                    .ok());
    ASSERT_TRUE(ProjectStore::saveProject(QStringLiteral("api"),
                                          {{entry_key::filePath, QStringLiteral("/a")}})
                    .ok());
    resources.write(QStringLiteral("settings.plist"),
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<plist version=\"1.0\"><dict>"
                    "<key>Editor Command</key><string>code -n</string>"
                    "</dict></plist>\n");
    app.setSearchArray(QStringList{QStringLiteral("old")});
    app.setSelectedProject(QStringLiteral("old"));
    app.setSelectedSearch(5);
    app.setSearchDirection(QStringLiteral("up"));
    controller().searchField()->setText(QStringLiteral("old"));
    controller().searchField()->resize(260, 22);
    controller().terminal_app()->setText(QStringLiteral("stale"));
    controller().searchResults()->setDidClick(1);
    controller().createProject()->show();
    controller().openPreferencesWindow()->show();

    controller().setHasActivePanel(true);

    EXPECT_TRUE(controller().searchField()->text().isEmpty());
    EXPECT_EQ(controller().searchField()->height(), 30);
    QStringList items;
    for (int i = 0; i < controller().project_select()->count(); ++i) {
        items << controller().project_select()->itemText(i);
    }
    EXPECT_EQ(items, ProjectStore::projectNames());
    EXPECT_EQ(items.size(), 2);
    EXPECT_EQ(controller().editor_cmd()->text(), QStringLiteral("code -n"));
    EXPECT_EQ(controller().terminal_app()->text(), QString()) << "missing: empty, not \"(null)\"";
    EXPECT_FALSE(controller().createProject()->isVisible());
    EXPECT_FALSE(controller().openPreferencesWindow()->isVisible());
    EXPECT_FALSE(app.searchArray().has_value());
    EXPECT_TRUE(app.selectedProject().isNull());
    EXPECT_EQ(app.selectedSearch(), 0);
    EXPECT_TRUE(app.searchDirection().isEmpty());
    EXPECT_FALSE(app.searchDirection().isNull());
    EXPECT_FALSE(controller().searchResults()->didClick().has_value());
}

TEST_F(PanelControllerTest, UnreadableProjectsLeaveThePopUpEmpty)
{
    resources.write(QStringLiteral("projects.plist"), "not a property list");
    controller().project_select()->addItem(QStringLiteral("stale"));
    controller().setHasActivePanel(true);
    EXPECT_EQ(controller().project_select()->count(), 0);
}

// Opens the panel from inside the dispatch of a mouse press with MODIFIERS,
// the way a click on the tray icon does: TOGGLE runs for the press.
double openByClick(QObject& controllerParent, const std::function<void()>& toggle,
                   Qt::KeyboardModifiers modifiers, QString* log = nullptr)
{
    QPushButton icon;
    icon.resize(24, 22);
    QObject::connect(&icon, &QPushButton::pressed, toggle);
    ::testing::internal::CaptureStderr();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(&icon, &press);
    const std::string err = ::testing::internal::GetCapturedStderr();
    if (log) {
        *log = QString::fromStdString(err);
    }
    const auto* group = controllerParent.findChild<QParallelAnimationGroup*>();
    return group ? group->duration() / 1000.0 : -1;
}

double openByClick(PanelController& controller, Qt::KeyboardModifiers modifiers,
                   QString* log = nullptr)
{
    return openByClick(
        controller, [&] { controller.setHasActivePanel(!controller.hasActivePanel()); }, modifiers,
        log);
}

// The first click after start-up makes the panel controller while it is
// being dispatched: the keys it held must count all the same.
TEST_F(PanelControllerTest, TheFirstClickAfterStartUpOpensSlowlyWithShift)
{
    app.applicationDidFinishLaunching();
    ASSERT_FALSE(app.hasPanelController());
    double duration = -1;
    QObject context;
    openByClick(
        context,
        [&] {
            app.togglePanel();
            const auto* group = controller().findChild<QParallelAnimationGroup*>();
            duration = group ? group->duration() / 1000.0 : -1;
        },
        Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(duration, 1.5);
}

TEST_F(PanelControllerTest, ShiftClickOpensSlowlyShiftAltAlsoLogsTheRectangles)
{
    QString log;
    EXPECT_DOUBLE_EQ(openByClick(controller(), Qt::ShiftModifier, &log), 1.5);
    EXPECT_FALSE(log.contains(QStringLiteral("Icon is at")));
}

TEST_F(PanelControllerTest, ShiftAltClickLogsTheThreeRectangles)
{
    QString log;
    EXPECT_DOUBLE_EQ(openByClick(controller(), Qt::ShiftModifier | Qt::AltModifier, &log), 1.5);
    EXPECT_TRUE(log.contains(QStringLiteral("Icon is at {{388, 756}, {24, 22}}\n"
                                            "\tMenu is on screen {{0, 0}, {800, 800}}\n"
                                            "\tWill be animated to {{260, 680}, {280, 98}}")))
        << log.toStdString();
}

TEST_F(PanelControllerTest, ShiftControlClickOpensQuickly)
{
    EXPECT_DOUBLE_EQ(openByClick(controller(), Qt::ShiftModifier | Qt::ControlModifier), 0.15);
}

TEST_F(PanelControllerTest, HotKeyOpensQuickly)
{
    // Outside the dispatch of any input event, as the global shortcut opens it.
    controller().setHasActivePanel(true);
    const auto* group = controller().findChild<QParallelAnimationGroup*>();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->duration(), 150);
}

TEST_F(PanelControllerTest, ThePopUpOnlyChoosesLaunchOrReturnOnItLaunchesTheChoice)
{
    enum class By { launchButton, returnKey, enterKey };
    for (const By by : {By::launchButton, By::returnKey, By::enterKey}) {
        SCOPED_TRACE(static_cast<int>(by));
        RecordingScriptRunner runner;
        services().scriptRunner = &runner;
        for (const char* name : {"api", "web"}) {
            ASSERT_TRUE(ProjectStore::saveProject(QString::fromLatin1(name),
                                                  {{entry_key::filePath, resources.path()}})
                            .ok());
        }
        openAndSettle();
        app.setSelectedProject(QStringLiteral("not this one"));
        QComboBox* popUp = controller().project_select();
        ASSERT_EQ(popUp->count(), 2);
        // Chosen by a click, the keyboard or the wheel: nothing runs.
        popUp->setCurrentIndex(1);
        Q_EMIT popUp->activated(1);
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QCoreApplication::sendEvent(popUp, &down);
        EXPECT_TRUE(runner.scripts().isEmpty());
        EXPECT_TRUE(controller().hasActivePanel());
        popUp->setCurrentIndex(1);

        switch (by) {
        case By::launchButton:
            ASSERT_TRUE(controller().btnLaunch()->isVisible());
            controller().btnLaunch()->click();
            break;
        case By::returnKey:
        case By::enterKey: {
            QKeyEvent key(QEvent::KeyPress, by == By::returnKey ? Qt::Key_Return : Qt::Key_Enter,
                          by == By::returnKey ? Qt::NoModifier : Qt::KeypadModifier);
            QCoreApplication::sendEvent(popUp, &key);
            break;
        }
        }
        services().scriptRunner = nullptr;

        ASSERT_EQ(runner.scripts().size(), 1);
        const auto expected = projectLaunchScript(QStringLiteral("web")).script;
        ASSERT_TRUE(expected.has_value());
        EXPECT_EQ(runner.scripts().front(), *expected);
        EXPECT_FALSE(controller().hasActivePanel());
        ASSERT_TRUE(test::waitUntil([&] { return !window().isVisible(); }));
    }
}

TEST_F(PanelControllerTest, TabReachesEveryControlOfThePanel)
{
    ASSERT_TRUE(
        ProjectStore::saveProject(QStringLiteral("web"), {{entry_key::filePath, resources.path()}})
            .ok());
    openAndSettle();
    QStringList order;
    QWidget* w = controller().searchField();
    do {
        if (w->isVisibleTo(&window()) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
            order << w->objectName();
        }
        w = w->nextInFocusChain();
    } while (w != controller().searchField() && order.size() < 10);
    EXPECT_EQ(order, (QStringList{QStringLiteral("searchField"), QStringLiteral("btnAdd"),
                                  QStringLiteral("project_select"), QStringLiteral("btnLaunch"),
                                  QStringLiteral("btnOptions")}));
}

TEST_F(PanelControllerTest, ActionsAreSentByName)
{
    EXPECT_TRUE(controller().sendAction("openPreferences", nullptr));
    EXPECT_FALSE(controller().sendAction("noSuchAction", nullptr));
}

} // namespace
} // namespace zarvo
