#include "panel/xtableview.h"
#include "widgettesting.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

// Rows from a plain list; every selection change is noted with the click
// flag and the selection as they were at that moment.
class FakeSource final : public TableDataSource, public TableViewDelegate {
public:
    QStringList names;

    struct Change {
        qint64 flag;
        QList<qsizetype> selection;
    };
    std::vector<Change> changes;

    qsizetype numberOfRowsInTableView(XTableView*) override { return names.size(); }
    QVariant tableView(XTableView*, const QString& column, qsizetype row) override
    {
        if (column != QLatin1String("projects") || row < 0 || row >= names.size()) {
            return {};
        }
        return names.at(row);
    }
    void tableViewSelectionDidChange(XTableView* table) override
    {
        changes.push_back({table->didClick().value_or(0), table->selectedRowIndexes()});
    }
};

class XTableViewTest : public ::testing::Test {
protected:
    test::ApplicationGuard application; // before any widget
    void SetUp() override
    {
        source.names = {QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma")};
        table.setDataSource(&source);
        table.setDelegate(&source);
        table.setRowHeight(20.0);
        table.resize(276, 200);
        table.show();
        table.reloadData();
    }

    QPoint rowCenter(qsizetype row) const { return table.rectOfRow(row).center(); }
    void clickRow(qsizetype row) { test::click(table.viewport(), rowCenter(row)); }

    FakeSource source;
    XTableView table;
};

TEST_F(XTableViewTest, RowsAndValuesComeFromTheDataSource)
{
    EXPECT_EQ(table.numberOfRows(), 3);
    EXPECT_EQ(table.model()->data(table.model()->index(2, 0)).toString(), QStringLiteral("gamma"));
    source.names.removeLast();
    EXPECT_EQ(table.numberOfRows(), 3) << "the count is the last reload's";
    table.reloadData();
    EXPECT_EQ(table.numberOfRows(), 2);
}

TEST_F(XTableViewTest, AColumnWithAnotherIdentifierShowsNothing)
{
    table.setColumnIdentifiers({QStringLiteral("paths")});
    EXPECT_FALSE(table.model()->data(table.model()->index(0, 0)).isValid());
}

TEST_F(XTableViewTest, RowsAreTheRowHeightPlusTheSpacingApart)
{
    EXPECT_EQ(table.rectOfRow(0), QRect(0, 0, 276, 35));
    EXPECT_EQ(table.rectOfRow(1), QRect(0, 35, 276, 35));
    table.setRowHeight(30.0);
    EXPECT_EQ(table.rectOfRow(1).height(), 45);
}

TEST_F(XTableViewTest, MouseDownRecordsTheCellAndSetsTheFlag)
{
    EXPECT_FALSE(table.didClick().has_value());
    EXPECT_FALSE(table.rowClicked().has_value());
    clickRow(1);
    EXPECT_EQ(table.didClick(), 1);
    EXPECT_EQ(table.rowClicked(), 1);
    EXPECT_EQ(table.columnClicked(), 0);
}

TEST_F(XTableViewTest, AClickBelowTheRowsRecordsNoRowAndChangesNothing)
{
    test::click(table.viewport(), QPoint(10, 3 * 35 + 20));
    EXPECT_EQ(table.rowClicked(), -1);
    EXPECT_EQ(table.didClick(), 1);
    EXPECT_TRUE(source.changes.empty());
}

TEST_F(XTableViewTest, AClickOnAnUnselectedListSelectsOnce)
{
    clickRow(1);
    ASSERT_EQ(source.changes.size(), 1u);
    EXPECT_EQ(source.changes[0].flag, 1);
    EXPECT_EQ(source.changes[0].selection, QList<qsizetype>{1});
}

TEST_F(XTableViewTest, AClickDeselectsEverythingBeforeTheClickSelects)
{
    table.selectRowIndexes(0, false);
    source.changes.clear();
    clickRow(2);
    ASSERT_EQ(source.changes.size(), 2u);
    EXPECT_EQ(source.changes[0].flag, 1);
    EXPECT_TRUE(source.changes[0].selection.isEmpty());
    EXPECT_EQ(source.changes[1].selection, QList<qsizetype>{2});
}

TEST_F(XTableViewTest, AClickOnTheSelectedRowStillChangesTheSelection)
{
    table.selectRowIndexes(1, false);
    source.changes.clear();
    clickRow(1);
    ASSERT_EQ(source.changes.size(), 2u);
    EXPECT_EQ(source.changes[1].selection, QList<qsizetype>{1});
}

TEST_F(XTableViewTest, OtherButtonsDoNotClick)
{
    const QPointF at(rowCenter(1));
    QMouseEvent press(QEvent::MouseButtonPress, at, table.viewport()->mapToGlobal(at),
                      Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(table.viewport(), &press);
    EXPECT_FALSE(table.didClick().has_value());
    EXPECT_TRUE(source.changes.empty());
}

TEST_F(XTableViewTest, SelectingByProgramReplacesOrExtends)
{
    table.selectRowIndexes(0, false);
    table.selectRowIndexes(2, false);
    EXPECT_EQ(table.selectedRowIndexes(), QList<qsizetype>{2});
    ASSERT_EQ(source.changes.size(), 2u);
    EXPECT_EQ(source.changes[1].flag, 0);
    table.selectRowIndexes(7, false);
    EXPECT_EQ(table.selectedRowIndexes(), QList<qsizetype>{2}) << "no such row";
}

TEST_F(XTableViewTest, ReloadKeepsRowsThatRemainAndReportsDroppedOnes)
{
    table.selectRowIndexes(1, false);
    source.changes.clear();
    table.reloadData();
    EXPECT_EQ(table.selectedRowIndexes(), QList<qsizetype>{1});
    EXPECT_TRUE(source.changes.empty());

    source.names.clear();
    table.reloadData();
    EXPECT_TRUE(table.selectedRowIndexes().isEmpty());
    ASSERT_EQ(source.changes.size(), 1u);
}

TEST_F(XTableViewTest, SelectingARowScrollsItIntoView)
{
    source.names.clear();
    for (int i = 0; i < 40; ++i) {
        source.names << QStringLiteral("p%1").arg(i);
    }
    table.reloadData();
    table.selectRowIndexes(39, false);
    EXPECT_TRUE(table.viewport()->rect().contains(table.rectOfRow(39)));
    table.selectRowIndexes(0, false);
    EXPECT_TRUE(table.viewport()->rect().contains(table.rectOfRow(0)));
}

QColor pixel(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

TEST_F(XTableViewTest, TheSelectedRowIsFilledWholly)
{
    table.setStyleSheet(QStringLiteral("background: black; color: black;"));
    table.selectRowIndexes(1, false);
    const QImage image = table.viewport()->grab().toImage();
    const QColor fill = XTableView::selectedRowFill();
    EXPECT_EQ(fill, QColor(50, 200, 255));
    // The fill covers the whole row, over the gradient and its insets.
    for (const QPoint& p : {QPoint(0, 35), QPoint(0, 69), QPoint(150, 39), QPoint(275, 50)}) {
        EXPECT_EQ(pixel(image, p.x(), p.y()), fill) << p.x() << "," << p.y();
    }
    EXPECT_NE(pixel(image, 150, 20), fill) << "row 0 is not selected";
    EXPECT_NE(pixel(image, 150, 80), fill) << "row 2 is not selected";
}

TEST_F(XTableViewTest, TheHighlightIsAGradientInsideTheRow)
{
    table.selectRowIndexes(1, false);
    QImage image(276, 105, QImage::Format_ARGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        table.highlightSelectionInClipRect(painter, image.rect());
    }
    const QColor black(Qt::black);
    // Inset 4 at the top and bottom (y 39 to 65), 1 at the sides.
    EXPECT_EQ(pixel(image, 150, 38), black);
    EXPECT_EQ(pixel(image, 150, 66), black);
    EXPECT_EQ(pixel(image, 0, 50), black);
    EXPECT_EQ(pixel(image, 275, 50), black);
    EXPECT_EQ(pixel(image, 150, 20), black) << "row 0 is not selected";
    // From (0, 250, 255) at the top to (50, 200, 255) at the bottom.
    const QColor top = pixel(image, 1, 39);
    const QColor bottom = pixel(image, 274, 65);
    EXPECT_LE(top.red(), 3);
    EXPECT_GE(top.green(), 247);
    EXPECT_GE(bottom.red(), 46);
    EXPECT_LE(bottom.green(), 204);
    EXPECT_EQ(top.blue(), 255);
    EXPECT_EQ(bottom.blue(), 255);
    EXPECT_LT(top.red(), pixel(image, 150, 52).red());
    EXPECT_LT(pixel(image, 150, 52).red(), bottom.red());
}

} // namespace
} // namespace zarvo
