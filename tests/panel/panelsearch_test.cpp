#include "app/applicationdelegate.h"
#include "panel/panel.h"
#include "panel/panelcontroller.h"
#include "panel/searchfieldview.h"
#include "panel/xtableview.h"
#include "platform/plistio.h"
#include "platform/recordingscriptrunner.h"
#include "platform/resourcedir.h"
#include "platform/services.h"
#include "projects/projectstore.h"
#include "support/runzarvo.h"
#include "support/tempresources.h"
#include "widgettesting.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>

#include "support/wait.h"

#include <gtest/gtest.h>

namespace zarvo {
namespace {

using test::waitUntil;

// The real panel, opened by the tray's toggle, over a store of projects.
// Qt's offscreen screen is 800 × 800, all of it usable.
class PanelSearchTest : public ::testing::Test {
protected:
    test::ApplicationGuard application;

    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 800, 800));
        prepareResourceDirectory();
        previousRunner_ = services().scriptRunner;
        services().scriptRunner = &runner;
        app.applicationDidFinishLaunching();
    }

    void TearDown() override
    {
        if (app.panelController()->hasActivePanel()) {
            app.togglePanel();
        }
        services().scriptRunner = previousRunner_;
    }

    void addProjects(const QStringList& names)
    {
        for (const QString& name : names) {
            QDir(resources.path()).mkdir(name);
            ASSERT_TRUE(
                ProjectStore::saveProject(name, {{entry_key::filePath, folderOf(name)},
                                                 {entry_key::doPull, QStringLiteral("0")},
                                                 {entry_key::openFinder, QStringLiteral("0")},
                                                 {entry_key::customOpen, QString()},
                                                 {entry_key::commands, QString()}})
                    .ok());
        }
    }
    QString folderOf(const QString& name) const { return resources.file(name); }

    PanelController& controller() { return *app.panelController(); }
    searchFieldView& field() { return *controller().searchField(); }
    XTableView& table() { return *controller().searchResults(); }
    QWidget& list() { return *controller().scrollView(); }

    void open()
    {
        app.togglePanel();
        ASSERT_TRUE(controller().hasActivePanel());
        ASSERT_TRUE(waitUntil([&] {
            return controller().window()->windowOpacity() == 1.0 &&
                   controller().windowFrame().height() == 98.0;
        }));
    }

    // Types TEXT into the field as the user would, one key at a time.
    void type(const QString& text)
    {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(&field(), &press);
        }
    }
    void key(int code) { test::pressKey(&field(), code); }

    // The panel window in Qt's coordinates.
    QRect windowGeometry() { return controller().window()->geometry(); }

    test::TempResources resources;
    RecordingScriptRunner runner;
    ApplicationDelegate app;

private:
    ScriptRunner* previousRunner_ = nullptr;
};

TEST_F(PanelSearchTest, OneCharacterListsNamesBeginningWithIt)
{
    addProjects({QStringLiteral("Kiosk"), QStringLiteral("market"), QStringLiteral("kernel"),
                 QString::fromUtf16(u"Ķekava")});
    open();
    type(QStringLiteral("k"));
    const QStringList expected{QStringLiteral("Kiosk"), QStringLiteral("kernel"),
                               QString::fromUtf16(u"Ķekava")};
    ASSERT_TRUE(app.searchArray().has_value());
    EXPECT_EQ(*app.searchArray(), expected);
    EXPECT_EQ(table().numberOfRows(), 3);
    EXPECT_EQ(table().model()->data(table().model()->index(2, 0)).toString(), expected[2]);
}

TEST_F(PanelSearchTest, TwoCharactersListNamesContainingThem)
{
    addProjects({QStringLiteral("Kiosk"), QStringLiteral("market"), QStringLiteral("kernel")});
    open();
    type(QStringLiteral("KE"));
    EXPECT_EQ(app.searchArray(), (QStringList{QStringLiteral("kernel"), QStringLiteral("market")}));
}

// "ta" matches three of them: beta, data, delta.
const QStringList kFourNames{QStringLiteral("alpha"), QStringLiteral("beta"),
                             QStringLiteral("data"), QStringLiteral("delta")};

TEST_F(PanelSearchTest, ThreeMatchesSizeThePanelAndPlaceTheList)
{
    addProjects(kFourNames);
    open();
    type(QStringLiteral("ta"));
    EXPECT_EQ(controller().windowFrame(), QRectF(260, 800 - 195 - 22, 280, 195));
    EXPECT_EQ(windowGeometry(), QRect(260, 22, 280, 195));
    EXPECT_TRUE(list().isVisibleTo(controller().window()));
    // (2, 36) from the panel's bottom, 276 × 105: 195 − 36 − 105 = 54 from its top,
    // less the 5 points below the separator line (40 + 1 from the bottom).
    EXPECT_EQ(list().geometry(), QRect(2, 54, 276, 100));
    EXPECT_LE(list().geometry().bottom(), controller().app_title_sep()->geometry().top() - 1);
    EXPECT_EQ(app.selectedProject(), QStringLiteral("beta"));
    EXPECT_EQ(app.selectedSearch(), 0);
    EXPECT_TRUE(table().selectedRowIndexes().isEmpty()) << "the target is not highlighted";
    EXPECT_EQ(table().rectOfRow(2), QRect(0, 70, 276, 35));
}

TEST_F(PanelSearchTest, NoMatchKeepsTheFrameAndTheTarget)
{
    addProjects(kFourNames);
    open();
    type(QStringLiteral("ta"));
    type(QStringLiteral("x"));
    EXPECT_EQ(controller().windowFrame().height(), 195);
    EXPECT_FALSE(list().isVisibleTo(controller().window()));
    EXPECT_FALSE(app.searchArray().has_value());
    EXPECT_EQ(table().numberOfRows(), 0);
    EXPECT_EQ(app.selectedProject(), QStringLiteral("beta"));
}

TEST_F(PanelSearchTest, DeletingTheTextGoesBackToTheOpeningHeight)
{
    addProjects(kFourNames);
    open();
    type(QStringLiteral("ta"));
    key(Qt::Key_Backspace); // "t": no name begins with it
    EXPECT_EQ(controller().windowFrame().height(), 195);
    key(Qt::Key_Backspace);
    EXPECT_TRUE(field().text().isEmpty());
    EXPECT_EQ(controller().windowFrame(), QRectF(260, 800 - 98 - 22, 280, 98));
    EXPECT_FALSE(list().isVisibleTo(controller().window()));
    EXPECT_FALSE(app.searchArray().has_value());
    EXPECT_EQ(app.selectedProject(), QStringLiteral("beta")) << "kept from the last match";
}

TEST_F(PanelSearchTest, TheStoreIsReadOnEveryKeystroke)
{
    open();
    type(QStringLiteral("b"));
    EXPECT_FALSE(app.searchArray().has_value());
    addProjects({QStringLiteral("beta")});
    type(QStringLiteral("e"));
    EXPECT_EQ(app.searchArray(), QStringList{QStringLiteral("beta")});
}

// The command line lists what the panel lists, in the same order.
TEST_F(PanelSearchTest, TheCommandLineAgreesWithThePanel)
{
    addProjects({QStringLiteral("Kiosk"), QStringLiteral("market"), QStringLiteral("kernel"),
                 QString::fromUtf16(u"Ķekava"), QString::fromUtf16(u"École"),
                 QStringLiteral("ecology")});
    open();
    for (const QString& text : {QStringLiteral("k"), QStringLiteral("KE"), QString::fromUtf16(u"é"),
                                QStringLiteral("eco"), QStringLiteral("zz")}) {
        field().clear();
        type(text);
        const QStringList listed = app.searchArray().value_or(QStringList());
        const auto printed = test::runZarvo({QStringLiteral("search"), text});
        EXPECT_EQ(printed.exitCode, 0);
        QString expected;
        for (const QString& name : listed) {
            expected += name + QLatin1Char('\n');
        }
        EXPECT_EQ(printed.out, expected) << text.toStdString();
    }
}

const QStringList kFiveNames{QStringLiteral("proj0"), QStringLiteral("proj1"),
                             QStringLiteral("proj2"), QStringLiteral("proj3"),
                             QStringLiteral("proj4")};

struct Press {
    int key;
    qsizetype row;
    qint64 cursor;
};

class PanelSearchKeysTest : public PanelSearchTest {
protected:
    void expectPresses(const std::vector<Press>& presses)
    {
        for (size_t n = 0; n < presses.size(); ++n) {
            key(presses[n].key);
            EXPECT_EQ(table().selectedRowIndexes(), QList<qsizetype>{presses[n].row})
                << "press " << n;
            EXPECT_EQ(app.selectedProject(), kFiveNames[presses[n].row]) << "press " << n;
            EXPECT_EQ(app.selectedSearch(), presses[n].cursor) << "press " << n;
        }
        EXPECT_TRUE(runner.scripts().isEmpty()) << "selecting with the keys launches nothing";
        EXPECT_TRUE(controller().hasActivePanel());
    }
};

TEST_F(PanelSearchKeysTest, FiveMatchesDownDownUpUpDown)
{
    addProjects(kFiveNames);
    open();
    type(QStringLiteral("pr"));
    expectPresses({{Qt::Key_Down, 0, 1},
                   {Qt::Key_Down, 1, 2},
                   {Qt::Key_Up, 0, -1},
                   {Qt::Key_Up, 4, 3},
                   {Qt::Key_Down, 0, 1}});
}

TEST_F(PanelSearchKeysTest, UpFirstWrapsToTheLastRow)
{
    addProjects(kFiveNames);
    open();
    type(QStringLiteral("pr"));
    expectPresses({{Qt::Key_Up, 4, 3}});
}

TEST_F(PanelSearchKeysTest, TheDirectionOutlivesANewSearch)
{
    addProjects(kFiveNames);
    open();
    type(QStringLiteral("pr"));
    key(Qt::Key_Up);
    type(QStringLiteral("o"));
    // After an earlier Up, Down skips to row 2.
    expectPresses({{Qt::Key_Down, 2, 3}});
}

TEST_F(PanelSearchKeysTest, DownWithAnEmptyTextDoesNothing)
{
    addProjects(kFiveNames);
    open();
    key(Qt::Key_Down);
    EXPECT_EQ(app.selectedSearch(), 0);
    EXPECT_EQ(app.searchDirection(), QStringLiteral(""));
    EXPECT_TRUE(app.selectedProject().isNull());
}

TEST_F(PanelSearchTest, ReturnLaunchesTheTargetAndClosesThePanel)
{
    addProjects(kFourNames);
    open();
    type(QStringLiteral("ta"));
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    ASSERT_EQ(runner.scripts().size(), 1);
    EXPECT_TRUE(runner.scripts().first().contains(folderOf(QStringLiteral("data"))));
    EXPECT_FALSE(controller().hasActivePanel());
}

// "Most used first": the empty text lists the five most used projects, which
// the keys move through; a launch from that list counts at once.
TEST_F(PanelSearchTest, MostUsedFirstListsFiveOnTheEmptyText)
{
    const QStringList names{QStringLiteral("alpha"),   QStringLiteral("bravo"),
                            QStringLiteral("charlie"), QStringLiteral("delta"),
                            QStringLiteral("echo"),    QStringLiteral("foxtrot"),
                            QStringLiteral("golf")};
    addProjects(names);
    ASSERT_TRUE(ProjectStore::saveSetting(QStringLiteral("Order"), QStringLiteral("use")).ok());
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    const auto unset = qScopeGuard([] { qunsetenv("XDG_STATE_HOME"); });
    // bravo used once ... golf six times, all a minute ago; alpha never.
    const qint64 aMinuteAgo = QDateTime::currentSecsSinceEpoch() - 60;
    QVariantMap records;
    for (qsizetype i = 1; i < names.size(); ++i) {
        records.insert(names[i],
                       QVariantMap{{QStringLiteral("uses"), QVariantList(i, aMinuteAgo)}});
    }
    ASSERT_TRUE(QDir().mkpath(state.filePath(QStringLiteral("zarvo"))));
    QFile usage(state.filePath(QStringLiteral("zarvo/usage.plist")));
    ASSERT_TRUE(usage.open(QIODevice::WriteOnly));
    usage.write(plist::toXml(records));
    usage.close();

    const QStringList fiveMostUsed{QStringLiteral("golf"), QStringLiteral("foxtrot"),
                                   QStringLiteral("echo"), QStringLiteral("delta"),
                                   QStringLiteral("charlie")};
    app.togglePanel();
    ASSERT_TRUE(waitUntil([&] {
        return controller().window()->windowOpacity() == 1.0 && table().numberOfRows() == 5;
    }));
    EXPECT_EQ(app.searchArray(), fiveMostUsed);
    EXPECT_EQ(controller().windowFrame().height(), 5 * 35 + 90);
    EXPECT_TRUE(list().isVisible());
    EXPECT_EQ(app.selectedProject(), QStringLiteral("golf"));

    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_EQ(app.selectedProject(), QStringLiteral("foxtrot"));
    key(Qt::Key_Return);
    ASSERT_EQ(runner.scripts().size(), 1);
    EXPECT_TRUE(runner.scripts().first().contains(folderOf(QStringLiteral("foxtrot"))));

    // foxtrot now ties with golf and comes first in the store's order.
    app.togglePanel();
    ASSERT_TRUE(waitUntil([&] { return table().numberOfRows() == 5; }));
    EXPECT_EQ(app.selectedProject(), QStringLiteral("foxtrot"));
    // Typing searches as before, most used first among the matches.
    type(QStringLiteral("ha"));
    EXPECT_EQ(app.searchArray(), QStringList({QStringLiteral("charlie"), QStringLiteral("alpha")}));
}

TEST_F(PanelSearchTest, ReturnWithoutATargetOnlyCloses)
{
    open();
    key(Qt::Key_Return);
    EXPECT_TRUE(runner.scripts().isEmpty());
    EXPECT_FALSE(controller().hasActivePanel());
}

TEST_F(PanelSearchTest, EscapeClosesWithoutLaunching)
{
    addProjects(kFourNames);
    open();
    type(QStringLiteral("ta"));
    key(Qt::Key_Escape);
    EXPECT_FALSE(controller().hasActivePanel());
    EXPECT_TRUE(runner.scripts().isEmpty());
}

TEST_F(PanelSearchTest, AClickOnAListedNameLaunchesIt)
{
    addProjects(kFourNames);
    open();
    type(QStringLiteral("ta"));
    key(Qt::Key_Down); // row 0 highlighted by the keys
    test::click(table().viewport(), table().rectOfRow(2).center());
    ASSERT_EQ(runner.scripts().size(), 1);
    EXPECT_TRUE(runner.scripts().first().contains(folderOf(QStringLiteral("delta"))));
    EXPECT_EQ(app.selectedProject(), QStringLiteral("delta"));
    EXPECT_TRUE(field().text().isEmpty());
    EXPECT_FALSE(controller().hasActivePanel());
}

TEST_F(PanelSearchTest, ManyMatchesEndAtTheScreensBottomAndTheListScrolls)
{
    QStringList names;
    for (int i = 0; i < 25; ++i) {
        names << QStringLiteral("item%1").arg(i, 2, 10, QLatin1Char('0'));
    }
    addProjects(names);
    open();
    type(QStringLiteral("it"));
    // 25 × 35 + 90 = 965 would run 187 points off the 800-point screen.
    EXPECT_EQ(controller().windowFrame(), QRectF(260, 0, 280, 778));
    EXPECT_EQ(list().geometry(), QRect(2, 54, 276, 778 - 90 - 5));
    EXPECT_LE(list().geometry().bottom(), controller().app_title_sep()->geometry().top() - 1)
        << "the separator does not cross the last row";
    key(Qt::Key_Up);
    EXPECT_EQ(table().selectedRowIndexes(), QList<qsizetype>{24});
    EXPECT_TRUE(table().viewport()->rect().contains(table().rectOfRow(24)))
        << "the selected row is scrolled into view";
}

TEST_F(PanelSearchTest, AsManyMatchesAsFitKeepTheirExactHeight)
{
    QStringList names;
    for (int i = 0; i < 19; ++i) {
        names << QStringLiteral("item%1").arg(i, 2, 10, QLatin1Char('0'));
    }
    addProjects(names);
    open();
    type(QStringLiteral("it"));
    EXPECT_EQ(controller().windowFrame(), QRectF(260, 800 - 755 - 22, 280, 19 * 35 + 90));
    EXPECT_EQ(list().geometry(), QRect(2, 54, 276, 19 * 35 - 5));
}

} // namespace
} // namespace zarvo
