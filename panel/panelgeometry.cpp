#include "panel/panelgeometry.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace zarvo::panel_geometry {

float roundHalfAwayFromZero(double v)
{
    return std::round(static_cast<float>(v));
}

QRectF statusRectForWindow(const std::optional<QRectF>& statusItemRect, const QRectF& screen,
                           double statusBarThickness)
{
    if (statusItemRect && !statusItemRect->isEmpty()) {
        const QRectF& r = *statusItemRect;
        return {r.x(), r.y() - r.height(), r.width(), r.height()};
    }
    // The screen's origin is deliberately not added: the fallback sits near the
    // top of the primary screen measured from its own corner.
    const double x = std::round((screen.width() - kFallbackStatusWidth) / 2);
    return {x, screen.height() - 2 * statusBarThickness, kFallbackStatusWidth, statusBarThickness};
}

namespace {

double topOf(const QRectF& r)
{
    return r.y() + r.height();
}

// The screen of SCREENS whose frame holds POINT; none when no screen does.
const ScreenArea* screenHolding(const QPointF& point, const QList<ScreenArea>& screens)
{
    for (const ScreenArea& screen : screens) {
        const QRectF& f = screen.frame;
        if (point.x() >= f.x() && point.x() < f.x() + f.width() && point.y() > f.y() &&
            point.y() <= topOf(f)) {
            return &screen;
        }
    }
    return nullptr;
}

QRectF usableOf(const ScreenArea& screen)
{
    return screen.available.isValid() ? screen.available : screen.frame;
}

// The inner edges of the bars along the top and the bottom of SCREEN: the
// free area's edges, or a bar of THICKNESS where the bar reserves nothing.
double topBarInnerEdge(const ScreenArea& screen, double thickness)
{
    const QRectF free = usableOf(screen);
    return topOf(free) < topOf(screen.frame) ? topOf(free) : topOf(screen.frame) - thickness;
}

double bottomBarInnerEdge(const ScreenArea& screen, double thickness)
{
    const QRectF free = usableOf(screen);
    return free.y() > screen.frame.y() ? free.y() : screen.frame.y() + thickness;
}

StatusPlacement placementAtPoint(const QPointF& point, const ScreenArea& screen, double thickness)
{
    StatusPlacement placement;
    placement.screen = screen.frame;
    placement.usable = usableOf(screen);
    const double x = point.x() - kFallbackStatusWidth / 2;
    const QRectF& free = placement.usable;
    if (std::abs(topOf(free) - point.y()) <= std::abs(point.y() - free.y())) {
        placement.statusRect = QRectF(x, topBarInnerEdge(screen, thickness) - thickness,
                                      kFallbackStatusWidth, thickness);
    } else {
        placement.edge = BarEdge::bottom;
        placement.statusRect =
            QRectF(x, bottomBarInnerEdge(screen, thickness), kFallbackStatusWidth, thickness);
    }
    return placement;
}

} // namespace

bool isPlausibleIconPoint(const QPointF& point, const QList<ScreenArea>& screens,
                          double statusBarThickness)
{
    const ScreenArea* screen = screenHolding(point, screens);
    if (!screen) {
        return false;
    }
    double desktopLeft = screen->frame.x();
    double desktopTop = topOf(screen->frame);
    for (const ScreenArea& s : screens) {
        desktopLeft = std::min(desktopLeft, s.frame.x());
        desktopTop = std::max(desktopTop, topOf(s.frame));
    }
    if (point.x() - desktopLeft < kWidgetRelativeExtent &&
        desktopTop - point.y() < kWidgetRelativeExtent) {
        return false;
    }
    return point.y() >= topBarInnerEdge(*screen, statusBarThickness) ||
           point.y() <= bottomBarInnerEdge(*screen, statusBarThickness);
}

StatusPlacement placeStatusRect(const IconWhereabouts& icon, const QList<ScreenArea>& screens,
                                double statusBarThickness)
{
    const ScreenArea primary = screens.isEmpty() ? ScreenArea{} : screens.first();
    if (icon.iconRect && !icon.iconRect->isEmpty()) {
        const QRectF& r = *icon.iconRect;
        const ScreenArea* holding = screenHolding(r.center(), screens);
        const ScreenArea& screen = holding ? *holding : primary;
        StatusPlacement placement;
        placement.screen = screen.frame;
        placement.usable = usableOf(screen);
        const double middle = r.center().y();
        if (topOf(screen.frame) - middle <= middle - screen.frame.y()) {
            placement.statusRect = statusRectForWindow(r, screen.frame, statusBarThickness);
        } else {
            placement.edge = BarEdge::bottom;
            placement.statusRect = QRectF(r.x(), r.y() + r.height(), r.width(), r.height());
        }
        return placement;
    }
    if (icon.clickPoint) {
        for (const std::optional<QPointF>& point : {icon.clickPoint, icon.cursor}) {
            if (point && isPlausibleIconPoint(*point, screens, statusBarThickness)) {
                return placementAtPoint(*point, *screenHolding(*point, screens),
                                        statusBarThickness);
            }
        }
    }
    StatusPlacement placement;
    placement.screen = primary.frame;
    placement.usable = usableOf(primary);
    placement.statusRect = statusRectForWindow(std::nullopt, primary.frame, statusBarThickness);
    return placement;
}

QRectF openingTargetFrame(const QRectF& statusRect, const QRectF& screen, BarEdge edge)
{
    double x = roundHalfAwayFromZero(statusRect.center().x() - kHalfPanelWidth);
    const double y = edge == BarEdge::bottom
                         ? statusRect.y()
                         : statusRect.y() + statusRect.height() - kOpeningPanelHeight;
    const double rightLimit = screen.x() + screen.width() - kRightMargin;
    if (x + kPanelWidth > rightLimit) {
        x -= x + kPanelWidth - rightLimit;
    }
    return {x, y, kPanelWidth, kOpeningPanelHeight};
}

qint64 arrowX(const QRectF& statusRect, double windowX)
{
    const double tip = roundHalfAwayFromZero(statusRect.center().x());
    return static_cast<qint64>(tip - windowX);
}

double openAnimationDuration(const OpeningEvent& event)
{
    const bool slow =
        event.leftMouseDown && (event.modifiers == Qt::ShiftModifier ||
                                event.modifiers == (Qt::ShiftModifier | Qt::AltModifier));
    return slow ? kSlowOpenDuration : kOpenDuration;
}

bool logsOpeningGeometry(const OpeningEvent& event)
{
    return event.leftMouseDown && event.modifiers == (Qt::ShiftModifier | Qt::AltModifier);
}

QString rectString(const QRectF& rect)
{
    const auto n = [](double v) { return QString::number(v, 'g', 15); };
    return QStringLiteral("{{%1, %2}, {%3, %4}}")
        .arg(n(rect.x()), n(rect.y()), n(rect.width()), n(rect.height()));
}

QString openingDiagnosticLine(const QRectF& statusRect, const QRectF& screen, const QRectF& target)
{
    return QStringLiteral("Icon is at %1\n\tMenu is on screen %2\n\tWill be animated to %3")
        .arg(rectString(statusRect), rectString(screen), rectString(target));
}

QRectF flipInParent(const QRectF& rect, double parentHeight)
{
    return {rect.x(), parentHeight - rect.y() - rect.height(), rect.width(), rect.height()};
}

namespace {

QRectF withBottom(const QRectF& r, double bottom)
{
    return {r.x(), bottom, r.width(), r.height()};
}

} // namespace

PanelLayout layoutPanel(const QRectF& statusRect, const QRectF& windowFrame, const QSizeF& view,
                        const PanelSubviews& current, BarEdge edge)
{
    const double w = view.width();
    const double h = view.height();
    PanelLayout out;
    out.frames = current;
    out.arrowX = arrowX(statusRect, windowFrame.x());
    const double inset = edge == BarEdge::bottom ? kArrowHeight : 0;
    out.bottomInset = inset;

    const double fieldHeight = current.searchField.height();
    const QRectF field(kSearchFieldX, h - (kSearchFieldTopGap - inset) - fieldHeight,
                       w - kSearchFieldSideMargins, fieldHeight);
    out.searchFieldVisible = !field.isEmpty();
    if (out.searchFieldVisible) {
        out.frames.searchField = field;
    }

    const QRectF& select = current.projectSelect;
    const QRectF popUp(select.x(), select.y() + inset, w - kProjectSelectSideMargins,
                       select.height());
    out.projectSelectVisible = !popUp.isEmpty();
    if (out.projectSelectVisible) {
        out.frames.projectSelect = popUp;
    }

    out.frames.btnAdd = withBottom(current.btnAdd, kBtnAddBottom + inset);
    out.frames.btnOptions = withBottom(current.btnOptions, kBtnOptionsBottom + inset);
    out.frames.appTitle = withBottom(current.appTitle, kAppTitleBottom + inset);
    out.frames.appTitleSep = withBottom(current.appTitleSep, kAppTitleSepBottom + inset);
    return out;
}

} // namespace zarvo::panel_geometry
