#include "panel/backgroundview.h"

#include <QColor>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QTransform>

namespace zarvo {

namespace {

constexpr double kInset = 2;
constexpr double kCornerRadius = 16;
constexpr double kArrowHeight = 8;
constexpr qint64 kArrowHalfWidth = 12;
constexpr double kRimWidth = 4;

QColor bodyBottomColour()
{
    return QColor::fromRgbF(0.1f, 0.1f, 0.15f, 1.0f);
}

QColor bodyTopColour()
{
    return QColor::fromRgbF(0.2f, 0.2f, 0.25f, 1.0f);
}

} // namespace

BackgroundView::BackgroundView(QWidget* parent) : QWidget(parent) {}

void BackgroundView::setArrowX(qint64 x)
{
    arrowX_ = x;
    update();
}

void BackgroundView::setArrowEdge(panel_geometry::BarEdge edge)
{
    if (edge != arrowEdge_) {
        arrowEdge_ = edge;
        update();
    }
}

QPainterPath BackgroundView::outline(const QRectF& bounds, qint64 arrowX)
{
    const QRectF r = bounds.adjusted(kInset, kInset, -kInset, -kInset);
    const double minX = r.x();
    const double minY = r.y();
    const double maxX = r.x() + r.width();
    const double maxY = r.y() + r.height();
    const double top = maxY - kArrowHeight; // the body's top edge, below the arrow
    const auto right = static_cast<double>(arrowX + kArrowHalfWidth);
    const auto left = static_cast<double>(arrowX - kArrowHalfWidth);

    // Each corner is one cubic whose control points both sit on the sharp corner.
    QPainterPath path;
    path.moveTo(static_cast<double>(arrowX), maxY);
    path.lineTo(right, top);
    path.lineTo(maxX - kCornerRadius, top);
    path.cubicTo(maxX, top, maxX, top, maxX, top - kCornerRadius);
    path.lineTo(maxX, minY + kCornerRadius);
    path.cubicTo(maxX, minY, maxX, minY, maxX - kCornerRadius, minY);
    path.lineTo(minX + kCornerRadius, minY);
    path.cubicTo(minX, minY, minX, minY, minX, minY + kCornerRadius);
    path.lineTo(minX, top - kCornerRadius);
    path.cubicTo(minX, top, minX, top, minX + kCornerRadius, top);
    path.lineTo(left, top);
    path.closeSubpath();
    return path;
}

void BackgroundView::paint(QPainter& painter, const QSizeF& size, qint64 arrowX,
                           panel_geometry::BarEdge edge)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // Work with y up, as the outline is given; an arrow at the bottom is the
    // same drawing mirrored, which keeps the rim's clip working (the bounds
    // are mirrored with the outline).
    const bool arrowBelow = edge == panel_geometry::BarEdge::bottom;
    if (!arrowBelow) {
        painter.setTransform(QTransform(1, 0, 0, -1, 0, size.height()), true);
    }
    const QRectF bounds(QPointF(), size);
    const QPainterPath body = outline(bounds, arrowX);

    // The gradient spans the outline's bounds: bottom colour at the lowest
    // point, top colour at the arrow tip.
    const QRectF span = body.boundingRect();
    QLinearGradient gradient(0, span.top(), 0, span.bottom());
    gradient.setColorAt(0, arrowBelow ? bodyTopColour() : bodyBottomColour());
    gradient.setColorAt(1, arrowBelow ? bodyBottomColour() : bodyTopColour());
    painter.fillPath(body, gradient);

    // The rim: the stroke's outer half only. The bounds rectangle runs the
    // other way round from the outline, so under the non-zero rule the inside
    // of the body drops out of the clip and the band outside it remains.
    painter.save();
    QPainterPath band;
    band.addRect(bounds);
    band.addPath(body);
    band.setFillRule(Qt::WindingFill);
    painter.setClipPath(band, Qt::IntersectClip);
    QPen rim(Qt::white, kRimWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.strokePath(body, rim);
    painter.restore();

    painter.restore();
}

void BackgroundView::paintEvent(QPaintEvent* /*event*/)
{
    // The whole view is drawn every time.
    QPainter painter(this);
    paint(painter, size(), arrowX_, arrowEdge_);
}

} // namespace zarvo
