#include "panel/searchfieldview.h"

#include <QColor>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>

namespace zarvo {

namespace {

constexpr double kInset = 1;
constexpr double kCornerRadius = 8;
constexpr double kLineWidth = 2;
// Room between the outline and the text.
constexpr int kTextMargin = 8;

const QString kMoveUp = QStringLiteral("moveUp:");
const QString kMoveDown = QStringLiteral("moveDown:");

} // namespace

searchFieldView::searchFieldView(QWidget* parent) : QLineEdit(parent)
{
    // No bezel and no background: only the outline and the text are drawn.
    setFrame(false);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; }"));
    setTextMargins(kTextMargin, 0, kTextMargin, 0);
}

bool searchFieldView::control(QWidget* /*control*/, QWidget* /*textView*/,
                              const QString& command) const
{
    return command == kMoveUp || command == kMoveDown;
}

QString searchFieldView::commandForKey(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers held = modifiers & ~Qt::KeypadModifier;
    if (held != Qt::NoModifier) {
        return {};
    }
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("insertNewline:");
    case Qt::Key_Escape:
        return QStringLiteral("cancelOperation:");
    case Qt::Key_Up:
        return kMoveUp;
    case Qt::Key_Down:
        return kMoveDown;
    case Qt::Key_Delete:
        return QStringLiteral("deleteForward:");
    case Qt::Key_Backspace:
        return QStringLiteral("deleteBackward:");
    case Qt::Key_Tab:
        return QStringLiteral("insertTab:");
    case Qt::Key_Left:
        return QStringLiteral("moveLeft:");
    case Qt::Key_Right:
        return QStringLiteral("moveRight:");
    case Qt::Key_Home:
        return QStringLiteral("moveToBeginningOfLine:");
    case Qt::Key_End:
        return QStringLiteral("moveToEndOfLine:");
    default:
        return {};
    }
}

bool searchFieldView::offerCommand(const QString& command)
{
    if (command.isEmpty()) {
        return false;
    }
    return handler_ ? handler_(command) : control(this, this, command);
}

bool searchFieldView::event(QEvent* event)
{
    // Tab never reaches keyPressEvent: the widget's focus chain takes it first.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab &&
            offerCommand(commandForKey(key->key(), key->modifiers()))) {
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void searchFieldView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Tab &&
        offerCommand(commandForKey(event->key(), event->modifiers()))) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

QPainterPath searchFieldView::outline(const QRectF& bounds)
{
    const QRectF r = bounds.adjusted(kInset, kInset, -kInset, -kInset);
    const double minX = r.x();
    const double minY = r.y();
    const double maxX = r.x() + r.width();
    const double maxY = r.y() + r.height();
    const double k = kCornerRadius;

    QPainterPath path;
    path.moveTo(maxX, maxY - k);
    path.cubicTo(maxX, maxY, maxX, maxY, maxX - k, maxY);
    path.lineTo(minX + k, maxY);
    // One curve takes the whole side at minX.
    path.cubicTo(minX, maxY, minX, maxY, minX, minY + k);
    path.cubicTo(minX, minY, minX, minY, minX + k, minY);
    path.lineTo(maxX - k, minY);
    path.cubicTo(maxX, minY, maxX, minY, maxX, minY + k);
    path.closeSubpath();
    return path;
}

void searchFieldView::paintOutline(QPainter& painter, const QSizeF& size)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(QPointF(), size);
    const QPainterPath line = outline(bounds);
    painter.fillPath(line, Qt::transparent);

    // The same band clip as the panel body; this outline runs the same way as
    // the rectangle, so the clip keeps the whole bounds and both halves of the
    // line show.
    painter.save();
    QPainterPath band;
    band.addRect(bounds);
    band.addPath(line);
    band.setFillRule(Qt::WindingFill);
    painter.setClipPath(band, Qt::IntersectClip);
    painter.strokePath(line, QPen(QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.5f), kLineWidth,
                                  Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.restore();
    painter.restore();
}

void searchFieldView::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        paintOutline(painter, size());
    }
    // The text and the cursor, over the outline; the style sheet keeps the
    // base class from drawing a bezel or a background.
    QLineEdit::paintEvent(event);
}

} // namespace zarvo
