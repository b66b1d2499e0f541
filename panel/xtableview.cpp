#include "panel/xtableview.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zarvo {
namespace {

const QString kProjectsColumn = QStringLiteral("projects");

QColor deviceColor(int red, int green, int blue)
{
    return QColor::fromRgbF(float(red) / 255.0f, float(green) / 255.0f, float(blue) / 255.0f, 1.0f);
}

} // namespace

// Serves the data source's rows to Qt's view. Like the table it stands for,
// it keeps the row count of the last reload; the values are asked for afresh
// whenever a cell is drawn.
class XTableView::Model final : public QAbstractTableModel {
public:
    explicit Model(XTableView* table) : QAbstractTableModel(table), table_(table) {}

    void reload()
    {
        beginResetModel();
        TableDataSource* source = table_->dataSource_;
        const qsizetype rows = source ? source->numberOfRowsInTableView(table_) : 0;
        rows_ = std::clamp<qsizetype>(rows, 0, std::numeric_limits<int>::max());
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(rows_);
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(table_->columnIdentifiers_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || !table_->dataSource_ ||
            index.column() >= table_->columnIdentifiers_.size()) {
            return {};
        }
        return table_->dataSource_->tableView(table_, table_->columnIdentifiers_.at(index.column()),
                                              index.row());
    }

private:
    XTableView* table_;
    qsizetype rows_ = 0;
};

XTableView::XTableView(QWidget* parent)
    : QTableView(parent), model_(new Model(this)), columnIdentifiers_{kProjectsColumn}
{
    setModel(model_);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &XTableView::selectionChangedByModel);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The list area around the table draws no frame either.
    setFrameShape(QFrame::NoFrame);
    setShowGrid(false);
    setWordWrap(false);
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    applyRowHeight();
}

XTableView::~XTableView() = default;

void XTableView::setDataSource(TableDataSource* dataSource)
{
    dataSource_ = dataSource;
}

void XTableView::setColumnIdentifiers(const QStringList& identifiers)
{
    columnIdentifiers_ = identifiers;
    reloadData();
}

void XTableView::reloadData()
{
    const QList<qsizetype> before = selectedRowIndexes();
    reloading_ = true;
    model_->reload();
    for (const qsizetype row : before) {
        if (row < numberOfRows()) {
            selectionModel()->select(model_->index(int(row), 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    reloading_ = false;
    if (selectedRowIndexes() != before) {
        selectionChangedByModel();
    }
}

void XTableView::setRowHeight(double height)
{
    rowHeight_ = height;
    applyRowHeight();
}

void XTableView::setIntercellSpacing(const QSizeF& spacing)
{
    intercellSpacing_ = spacing;
    applyRowHeight();
}

void XTableView::applyRowHeight()
{
    const int pitch = int(std::lround(rowHeight_ + intercellSpacing_.height()));
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(std::max(pitch, 1));
}

qsizetype XTableView::numberOfRows() const
{
    return model_->rowCount();
}

void XTableView::selectRowIndexes(qsizetype row, bool byExtendingSelection)
{
    if (row < 0 || row >= numberOfRows()) {
        return;
    }
    const QModelIndex index = model_->index(int(row), 0);
    const auto command =
        byExtendingSelection ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect;
    selectionModel()->select(index, command | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    scrollTo(index);
}

void XTableView::deselectAll()
{
    selectionModel()->clearSelection();
}

QList<qsizetype> XTableView::selectedRowIndexes() const
{
    QList<qsizetype> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool XTableView::isRowSelected(qsizetype row) const
{
    return row >= 0 && row < numberOfRows() && selectionModel()->isRowSelected(int(row), {});
}

QRect XTableView::rectOfRow(qsizetype row) const
{
    if (row < 0 || row >= numberOfRows()) {
        return {};
    }
    const int width = std::max(viewport()->width(), horizontalHeader()->length());
    return QRect(0, rowViewportPosition(int(row)), width, QTableView::rowHeight(int(row)));
}

QColor XTableView::selectedRowFill()
{
    return deviceColor(50, 200, 255);
}

QColor XTableView::highlightGradientStart()
{
    return deviceColor(0, 250, 255);
}

QColor XTableView::highlightGradientEnd()
{
    return deviceColor(50, 200, 255);
}

void XTableView::mousePressEvent(QMouseEvent* event)
{
    // Only the primary button clicks; the others leave the list alone.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    const QPoint point = event->position().toPoint();
    columnClicked_ = qint32(columnAt(point.x()));
    rowClicked_ = qint32(rowAt(point.y()));
    didClick_ = 1;
    // Deselecting first makes every click on a row change the selection, also
    // a click on the selected row, so that every such click is seen.
    deselectAll();
    QTableView::mousePressEvent(event);
}

void XTableView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is a mouse-down like the first.
    mousePressEvent(event);
}

void XTableView::selectionChangedByModel()
{
    if (!reloading_ && delegate_) {
        delegate_->tableViewSelectionDidChange(this);
    }
}

std::pair<qsizetype, qsizetype> XTableView::rowsInRect(const QRect& rect) const
{
    const qsizetype rows = numberOfRows();
    if (rows == 0 || rect.isEmpty()) {
        return {0, -1};
    }
    int first = rowAt(rect.top());
    if (first < 0) {
        if (rect.top() > rectOfRow(rows - 1).bottom()) {
            return {0, -1};
        }
        first = 0;
    }
    const int last = rowAt(rect.bottom());
    return {first, last < 0 ? rows - 1 : last};
}

void XTableView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QRect clip = event->rect();
    highlightSelectionInClipRect(painter, clip);
    const auto [first, last] = rowsInRect(clip);
    for (qsizetype row = first; row <= last; ++row) {
        drawRow(painter, row, clip);
    }
}

void XTableView::drawRow(QPainter& painter, qsizetype row, const QRect& clipRect)
{
    Q_UNUSED(clipRect);
    if (isRowSelected(row)) {
        painter.fillRect(rectOfRow(row), selectedRowFill());
    }
    // The cells as an unselected row: the style's own selection colours would
    // hide the fill.
    const int dx = int(std::lround(intercellSpacing_.width() / 2));
    const int dy = int(std::lround(intercellSpacing_.height() / 2));
    for (int column = 0; column < model_->columnCount(); ++column) {
        const QModelIndex index = model_->index(int(row), column);
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.rect = visualRect(index).adjusted(dx, dy, -dx, -dy);
        option.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void XTableView::highlightSelectionInClipRect(QPainter& painter, const QRect& clipRect)
{
    const auto [first, last] = rowsInRect(clipRect);
    for (qsizetype row = first; row <= last; ++row) {
        if (!isRowSelected(row)) {
            continue;
        }
        const QRectF rect = QRectF(rectOfRow(row)).adjusted(1.0, 4.0, -1.0, -4.0);
        QPainterPath path;
        path.addRect(rect);
        painter.strokePath(path, QPen(Qt::transparent, 0));
        // From the start colour at the top to the end colour at the bottom.
        QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
        gradient.setColorAt(0.0, highlightGradientStart());
        gradient.setColorAt(1.0, highlightGradientEnd());
        painter.fillPath(path, gradient);
    }
}

} // namespace zarvo
