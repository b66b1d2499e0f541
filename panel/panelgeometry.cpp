#include "panel/panelgeometry.h"

#include <QStringList>

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

QRectF openingTargetFrame(const QRectF& statusRect, const QRectF& screen)
{
    double x = roundHalfAwayFromZero(statusRect.center().x() - kHalfPanelWidth);
    const double y = statusRect.y() + statusRect.height() - kOpeningPanelHeight;
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
                        const PanelSubviews& current)
{
    const double w = view.width();
    const double h = view.height();
    PanelLayout out;
    out.frames = current;
    out.arrowX = arrowX(statusRect, windowFrame.x());

    const double fieldHeight = current.searchField.height();
    const QRectF field(kSearchFieldX, h - kSearchFieldTopGap - fieldHeight,
                       w - kSearchFieldSideMargins, fieldHeight);
    out.searchFieldVisible = !field.isEmpty();
    if (out.searchFieldVisible) {
        out.frames.searchField = field;
    }

    const QRectF& select = current.projectSelect;
    const QRectF popUp(select.x(), select.y(), w - kProjectSelectSideMargins, select.height());
    out.projectSelectVisible = !popUp.isEmpty();
    if (out.projectSelectVisible) {
        out.frames.projectSelect = popUp;
    }

    out.frames.btnAdd = withBottom(current.btnAdd, kBtnAddBottom);
    out.frames.btnOptions = withBottom(current.btnOptions, kBtnOptionsBottom);
    out.frames.appTitle = withBottom(current.appTitle, kAppTitleBottom);
    out.frames.appTitleSep = withBottom(current.appTitleSep, kAppTitleSepBottom);
    return out;
}

} // namespace zarvo::panel_geometry
