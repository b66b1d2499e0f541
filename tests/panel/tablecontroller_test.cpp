#include "app/applicationdelegate.h"
#include "app/menubarcontroller.h"
#include "panel/panelcontroller.h"
#include "panel/tablecontroller.h"
#include "panel/xtableview.h"
#include "platform/recordingscriptrunner.h"
#include "platform/resourcedir.h"
#include "platform/services.h"
#include "projects/projectstore.h"
#include "support/tempresources.h"
#include "widgettesting.h"

#include <QDir>
#include <QFrame>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <memory>

namespace zarvo {
namespace {

// The results list on its own: a table in a list area, a search field, and a
// launched application delegate whose panel is open and lists three names.
class TableControllerTest : public ::testing::Test {
protected:
    test::ApplicationGuard application; // before any widget
    void SetUp() override
    {
        prepareResourceDirectory();
        for (const QString& name : kNames) {
            ASSERT_TRUE(QDir(resources.path()).mkdir(name));
            ASSERT_TRUE(
                ProjectStore::saveProject(name, {{entry_key::filePath, folderOf(name)},
                                                 {entry_key::doPull, QStringLiteral("0")},
                                                 {entry_key::openFinder, QStringLiteral("0")},
                                                 {entry_key::customOpen, QString()},
                                                 {entry_key::commands, QString()}})
                    .ok());
        }
        previousRunner_ = services().scriptRunner;
        services().scriptRunner = &runner;

        scrollView.resize(276, 105);
        table = new XTableView(&scrollView);
        table->resize(276, 105);
        controller.setSearchField(&searchField);
        controller.setSearchResults(table);
        controller.setScrollView(&scrollView);
        scrollView.show();
        searchField.setText(QStringLiteral("e"));

        delegate = std::make_unique<ApplicationDelegate>();
        delegate->applicationDidFinishLaunching();
        delegate->togglePanel();
        ASSERT_TRUE(iconActive());

        delegate->setSearchArray(kNames);
        delegate->setSelectedProject(kNames.first());
        table->setRowHeight(20.0);
        table->reloadData();
    }

    void TearDown() override
    {
        if (delegate->panelController()->hasActivePanel()) {
            delegate->togglePanel();
        }
        services().scriptRunner = previousRunner_;
    }

    // The project's folder, which its launch script changes into.
    QString folderOf(const QString& name) const { return resources.file(name); }

    bool iconActive() const { return delegate->menubarController()->hasActiveIcon(); }

    // Clicks ROW and returns the diagnostic lines written meanwhile.
    QString clickRow(qsizetype row)
    {
        ::testing::internal::CaptureStderr();
        test::click(table->viewport(), table->rectOfRow(row).center());
        return QString::fromStdString(::testing::internal::GetCapturedStderr());
    }
    QString selectByKeys(qsizetype row)
    {
        ::testing::internal::CaptureStderr();
        table->selectRowIndexes(row, false);
        return QString::fromStdString(::testing::internal::GetCapturedStderr());
    }

    static QString lines(std::initializer_list<const char*> texts)
    {
        QString joined;
        for (const char* text : texts) {
            joined += QStringLiteral("zarvo: ") + QString::fromUtf8(text) + QLatin1Char('\n');
        }
        return joined;
    }

    const QStringList kNames{QStringLiteral("alpha"), QStringLiteral("beta"),
                             QStringLiteral("gamma")};
    test::TempResources resources;
    RecordingScriptRunner runner;
    std::unique_ptr<ApplicationDelegate> delegate;
    QLineEdit searchField;
    QFrame scrollView;
    XTableView* table = nullptr;
    TableController controller;

private:
    ScriptRunner* previousRunner_ = nullptr;
};

TEST_F(TableControllerTest, RowsAreTheSearchArray)
{
    EXPECT_EQ(table->numberOfRows(), 3);
    EXPECT_EQ(controller.tableView(table, QStringLiteral("projects"), 1), QStringLiteral("beta"));
    EXPECT_FALSE(controller.tableView(table, QStringLiteral("paths"), 1).isValid());
    EXPECT_FALSE(controller.tableView(table, QStringLiteral("projects"), 3).isValid());
    delegate->setSearchArray(std::nullopt);
    EXPECT_EQ(controller.numberOfRowsInTableView(table), 0);
    EXPECT_FALSE(controller.tableView(table, QStringLiteral("projects"), 0).isValid());
}

TEST_F(TableControllerTest, AClickLaunchesTheClickedRowAndClosesThePanel)
{
    const QString log = clickRow(1);
    EXPECT_TRUE(log.startsWith(lines({"click?: 1", "launch: beta", "Launching project: beta"})))
        << log.toStdString();
    EXPECT_EQ(delegate->selectedProject(), QStringLiteral("beta"));
    EXPECT_TRUE(searchField.text().isEmpty());
    EXPECT_TRUE(scrollView.isHidden());
    ASSERT_EQ(runner.scripts().size(), 1);
    EXPECT_TRUE(runner.scripts().first().contains(folderOf(QStringLiteral("beta"))));
    EXPECT_FALSE(iconActive());
    EXPECT_FALSE(delegate->panelController()->hasActivePanel());
    EXPECT_FALSE(table->didClick().has_value());
}

TEST_F(TableControllerTest, AClickAfterAKeySelectionLaunchesTheClickedRowOnce)
{
    EXPECT_EQ(selectByKeys(0), lines({"click?: 0"}));
    const QString log = clickRow(2);
    // The deselection launches row 2; the click's own selection is one more
    // change, with the flag clear.
    EXPECT_TRUE(log.startsWith(lines({"click?: 1", "launch: gamma"}))) << log.toStdString();
    EXPECT_TRUE(log.endsWith(lines({"click?: 0"}))) << log.toStdString();
    EXPECT_EQ(log.count(QStringLiteral("launch: ")), 1);
    ASSERT_EQ(runner.scripts().size(), 1);
    EXPECT_TRUE(runner.scripts().first().contains(folderOf(QStringLiteral("gamma"))));
    EXPECT_EQ(delegate->selectedProject(), QStringLiteral("gamma"));
}

TEST_F(TableControllerTest, AClickOnTheSelectedRowLaunchesIt)
{
    selectByKeys(1);
    const QString log = clickRow(1);
    EXPECT_TRUE(log.contains(QStringLiteral("launch: beta"))) << log.toStdString();
    EXPECT_EQ(runner.scripts().size(), 1);
}

TEST_F(TableControllerTest, KeySelectionNeverLaunches)
{
    for (const qsizetype row : {0, 2, 1}) {
        EXPECT_EQ(selectByKeys(row), lines({"click?: 0"}));
    }
    EXPECT_TRUE(runner.scripts().isEmpty());
    EXPECT_TRUE(iconActive());
    EXPECT_EQ(delegate->selectedProject(), QStringLiteral("alpha"));
}

TEST_F(TableControllerTest, AClickBelowTheRowsLaunchesNothingAndKeepsTheFlag)
{
    selectByKeys(0);
    ::testing::internal::CaptureStderr();
    test::click(table->viewport(), QPoint(10, 3 * 35 + 10));
    const QString log = QString::fromStdString(::testing::internal::GetCapturedStderr());
    // The deselection sees the flag, but row -1 is no row of the list.
    EXPECT_EQ(log, lines({"click?: 1"}));
    EXPECT_EQ(table->didClick(), 1);
    EXPECT_TRUE(runner.scripts().isEmpty());
    EXPECT_TRUE(iconActive());
    EXPECT_FALSE(scrollView.isHidden());
    EXPECT_EQ(searchField.text(), QStringLiteral("e"));
}

TEST_F(TableControllerTest, AFlagLeftSetMakesTheNextSelectionTheClick)
{
    // A click on a row that the list no longer has when the selection changes.
    table->setRowClicked(1);
    table->setDidClick(1);
    const QString log = selectByKeys(2);
    EXPECT_EQ(log.left(log.indexOf(QStringLiteral("zarvo: Launching"))),
              lines({"click?: 1", "launch: beta"}));
    EXPECT_EQ(runner.scripts().size(), 1);
}

TEST_F(TableControllerTest, AClickOnAListThatShrankLaunchesNothing)
{
    table->setRowClicked(2);
    table->setDidClick(1);
    delegate->setSearchArray(QStringList{QStringLiteral("alpha")});
    EXPECT_EQ(selectByKeys(0), lines({"click?: 1"}));
    EXPECT_TRUE(runner.scripts().isEmpty());
    EXPECT_EQ(table->didClick(), 1);
}

} // namespace
} // namespace zarvo
