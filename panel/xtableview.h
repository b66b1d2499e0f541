#pragma once

#include <QColor>
#include <QSizeF>
#include <QStringList>
#include <QTableView>
#include <QVariant>

#include <optional>
#include <utility>

namespace zarvo {

class XTableView;

// Where a table gets its rows from, asked afresh on every reloadData().
class TableDataSource {
public:
    virtual ~TableDataSource() = default;
    virtual qsizetype numberOfRowsInTableView(XTableView* tableView) = 0;
    // The value of the cell in the column named TABLECOLUMN at ROW; an invalid
    // QVariant shows nothing.
    virtual QVariant tableView(XTableView* tableView, const QString& tableColumn,
                               qsizetype row) = 0;
};

// Told about every change of a table's selection, whatever caused it: a click,
// a selection made by program, a reload that dropped selected rows.
class TableViewDelegate {
public:
    virtual ~TableViewDelegate() = default;
    virtual void tableViewSelectionDidChange(XTableView* tableView) = 0;
};

// The results list's table: one row per entry of its data source, rows
// selected one at a time. It remembers which cell the last mouse-down hit
// and draws selected rows in the panel's cyan.
//
// Rows are rowHeight() high plus the vertical intercell spacing; the cell's
// content sits in the middle, the selection covers the whole row.
class XTableView final : public QTableView {
    Q_OBJECT
public:
    explicit XTableView(QWidget* parent = nullptr);
    ~XTableView() override;

    // Neither is owned; both must outlive the table or be unset first.
    void setDataSource(TableDataSource* dataSource);
    TableDataSource* dataSource() const { return dataSource_; }
    void setDelegate(TableViewDelegate* delegate) { delegate_ = delegate; }
    TableViewDelegate* delegate() const { return delegate_; }

    // The columns' identifiers, in column order. One column, "projects", by default.
    QStringList columnIdentifiers() const { return columnIdentifiers_; }
    void setColumnIdentifiers(const QStringList& identifiers);

    // Asks the data source again. Selected rows that still exist stay
    // selected; when selected rows are gone, the delegate hears of it.
    void reloadData();

    double rowHeight() const { return rowHeight_; }
    void setRowHeight(double height);
    QSizeF intercellSpacing() const { return intercellSpacing_; }
    void setIntercellSpacing(const QSizeF& spacing);

    qsizetype numberOfRows() const;
    // Selects ROW, added to the selection or replacing it; an index that is no
    // row selects nothing. The row is scrolled into view.
    void selectRowIndexes(qsizetype row, bool byExtendingSelection);
    void deselectAll();
    QList<qsizetype> selectedRowIndexes() const;
    bool isRowSelected(qsizetype row) const;
    // ROW's rectangle in the viewport's coordinates (y down).
    QRect rectOfRow(qsizetype row) const;

    // Where the last mouse-down hit: -1 for no column or no row; none before
    // the first mouse-down.
    std::optional<qint32> columnClicked() const { return columnClicked_; }
    void setColumnClicked(std::optional<qint32> column) { columnClicked_ = column; }
    std::optional<qint32> rowClicked() const { return rowClicked_; }
    void setRowClicked(std::optional<qint32> row) { rowClicked_ = row; }
    // 1 from a mouse-down until the click is consumed; none otherwise.
    std::optional<qint64> didClick() const { return didClick_; }
    void setDidClick(std::optional<qint64> flag) { didClick_ = flag; }

    // Colours of a selected row.
    static QColor selectedRowFill();
    static QColor highlightGradientStart();
    static QColor highlightGradientEnd();

    // Paints ROW: the selected-row fill when it is selected, then the cells.
    void drawRow(QPainter& painter, qsizetype row, const QRect& clipRect);
    // Paints the gradient highlight of the selected rows that meet CLIPRECT.
    // Painting runs this first, then drawRow() for every row, so the solid
    // fill covers the gradient.
    void highlightSelectionInClipRect(QPainter& painter, const QRect& clipRect);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class Model;
    void selectionChangedByModel();
    void applyRowHeight();
    // The first and last row meeting RECT (viewport coordinates); first > last for none.
    std::pair<qsizetype, qsizetype> rowsInRect(const QRect& rect) const;

    Model* model_;
    TableDataSource* dataSource_ = nullptr;
    TableViewDelegate* delegate_ = nullptr;
    QStringList columnIdentifiers_;
    double rowHeight_ = 20.0;
    QSizeF intercellSpacing_{3.0, 15.0};
    std::optional<qint32> columnClicked_;
    std::optional<qint32> rowClicked_;
    std::optional<qint64> didClick_;
    // While reloading, the selection model's own reports are held back.
    bool reloading_ = false;
};

} // namespace zarvo
