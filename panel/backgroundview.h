#pragma once

#include "panel/panelgeometry.h"

#include <QPainterPath>
#include <QRectF>
#include <QWidget>

namespace zarvo {

// The body of the panel: a dark gradient with rounded corners, a small arrow
// on its top edge pointing up at the tray icon, and a white rim around both.
// The panel's content view. For a tray at the bottom of the screen the arrow
// sits on the bottom edge instead, pointing down: the drawing mirrored top to
// bottom, the gradient still dark at the bottom.
class BackgroundView final : public QWidget {
    Q_OBJECT
public:
    explicit BackgroundView(QWidget* parent = nullptr);

    // Horizontal position of the arrow tip in the view's coordinates; 0 until set.
    qint64 arrowX() const { return arrowX_; }
    // Stores X and redraws the whole view, also when X is the current value.
    void setArrowX(qint64 x);
    panel_geometry::BarEdge arrowEdge() const { return arrowEdge_; }
    // Redraws when EDGE is another edge.
    void setArrowEdge(panel_geometry::BarEdge edge);

    // The body's outline in the view's coordinates with y up (origin at the
    // bottom left of BOUNDS): clockwise on the screen, starting at the arrow tip.
    static QPainterPath outline(const QRectF& bounds, qint64 arrowX);

    // Paints the view at SIZE into PAINTER, whose coordinates are the view's
    // with y down (as in a paint event).
    static void paint(QPainter& painter, const QSizeF& size, qint64 arrowX,
                      panel_geometry::BarEdge edge = panel_geometry::BarEdge::top);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qint64 arrowX_ = 0;
    panel_geometry::BarEdge arrowEdge_ = panel_geometry::BarEdge::top;
};

} // namespace zarvo
