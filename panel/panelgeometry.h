#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QtCore/qnamespace.h>
#include <QtGlobal>

#include <optional>

// Where the launcher panel goes and how its views are placed.
//
// Everything here works in screen coordinates with the origin at the bottom
// left of the primary screen and the y axis pointing up, and in view
// coordinates with the origin at a view's bottom left, y up. The conversion to
// Qt's top-left coordinates happens once, at the window.
namespace zarvo::panel_geometry {

inline constexpr double kPanelWidth = 280.0;
// Height of the panel right after opening; the search changes it later.
inline constexpr double kOpeningPanelHeight = 98.0;
// Half the panel width, used to centre the panel under the status item.
inline constexpr int kHalfPanelWidth = 140;
// Room kept between the panel's right edge and the primary screen's right edge.
inline constexpr int kRightMargin = 8;
// Width of the status rectangle when the tray icon's place is unknown.
inline constexpr double kFallbackStatusWidth = 24.0;
// Height of the bar the status item sits in. The desktop does not tell us,
// so the panel assumes a bar of the usual size.
inline constexpr double kStatusBarThickness = 22.0;
// Height given to the search field each time the panel opens.
inline constexpr double kOpeningSearchFieldHeight = 30.0;

inline constexpr double kOpenDuration = 0.15;
// Open duration for a click with exactly Shift or Shift+Alt held: slow enough
// to watch the panel grow out of the icon.
inline constexpr double kSlowOpenDuration = 1.5;
inline constexpr double kCloseFadeDuration = 0.1;
// From the start of a close to the panel's removal from the screen.
inline constexpr double kRemovalDelay = 0.2;
// From loading the panel to the first focus request for the search field.
inline constexpr double kFirstFocusDelay = 0.2;

// V rounded to the nearest integer, halves away from zero, in single precision.
float roundHalfAwayFromZero(double v);

// The rectangle just below the status item that the panel hangs from.
// STATUSITEMRECT is the status item's own rectangle in screen coordinates;
// absent (or empty: the tray did not tell where the icon is) selects a
// rectangle centred near the top of SCREEN, the primary screen's frame.
QRectF statusRectForWindow(const std::optional<QRectF>& statusItemRect, const QRectF& screen,
                           double statusBarThickness = kStatusBarThickness);

// The screen edge whose bar holds the tray icon. At the top the panel hangs
// down from the bar with its arrow on its top edge; at the bottom it stands
// on the bar, its arrow on its bottom edge pointing down at the icon.
enum class BarEdge { top, bottom };

// One screen: its frame and the part of it desktop panels leave free.
struct ScreenArea {
    QRectF frame;
    QRectF available;
};

// What is known of the tray icon's place when the panel opens.
struct IconWhereabouts {
    // The icon's rectangle, where the tray tells it (XEmbed trays).
    std::optional<QRectF> iconRect;
    // Where the host last said the icon was clicked (StatusNotifierItem hosts).
    std::optional<QPointF> clickPoint;
    // The pointer's position at that click, where the window system tells it (X11).
    std::optional<QPointF> cursor;
};

// The status rectangle, with the bar it belongs to and the screen holding it.
struct StatusPlacement {
    QRectF statusRect;
    BarEdge edge = BarEdge::top;
    // The frame and free area of the screen holding the icon.
    QRectF screen;
    QRectF usable;
};

// Hosts that send points relative to their own widget (waybar) send small
// numbers: a point this close to the desktop's top-left corner on both axes
// is taken for one of those, not for a click at the corner.
inline constexpr double kWidgetRelativeExtent = 32;

// Whether POINT can be where a tray icon was clicked: on a screen of SCREENS,
// in the band along its top or bottom edge where a bar is (the strip the bar
// reserves, or STATUSBARTHICKNESS where it reserves none), and not a
// widget-relative point.
bool isPlausibleIconPoint(const QPointF& point, const QList<ScreenArea>& screens,
                          double statusBarThickness = kStatusBarThickness);

// The status rectangle for what is known of the icon. SCREENS holds every
// screen, the primary one first.
// - The icon's rectangle: the status rectangle lies beside it on the panel's
//   side (below it for a bar at the top, as statusRectForWindow() does; above
//   it for a bar at the bottom), on the screen holding the icon's middle.
// - Else a plausible click point, else the plausible cursor position of that
//   click: a
//   rectangle kFallbackStatusWidth wide centred on the point, against the edge
//   of the screen's free area nearest to the point (where the bar reserves
//   nothing, kStatusBarThickness inside the screen's edge).
// - Else the fallback rectangle of statusRectForWindow() on the primary screen.
StatusPlacement placeStatusRect(const IconWhereabouts& icon, const QList<ScreenArea>& screens,
                                double statusBarThickness = kStatusBarThickness);

// The frame the panel opens to: centred under STATUSRECT, its top edge on the
// status rectangle's top edge, and pushed left where it would come closer than
// kRightMargin to SCREEN's right edge. Never moved right or vertically.
// At the bottom edge the panel stands on the status rectangle's bottom edge
// instead.
QRectF openingTargetFrame(const QRectF& statusRect, const QRectF& screen,
                          BarEdge edge = BarEdge::top);

// The x of the arrow tip in the panel's content view: the middle of the
// status rectangle, seen from a panel whose frame starts at WINDOWX.
qint64 arrowX(const QRectF& statusRect, double windowX);

// What input the panel was opened by, as far as the open animation cares.
struct OpeningEvent {
    bool leftMouseDown = false;
    Qt::KeyboardModifiers modifiers;
};

// 0.15 s, or 1.5 s for a left mouse-down with exactly Shift or Shift+Alt held.
double openAnimationDuration(const OpeningEvent& event);
// Whether opening writes the three-rectangle diagnostic line: a left
// mouse-down with exactly Shift+Alt.
bool logsOpeningGeometry(const OpeningEvent& event);

// A rectangle as "{{x, y}, {width, height}}".
QString rectString(const QRectF& rect);
// "Icon is at …\n\tMenu is on screen …\n\tWill be animated to …".
QString openingDiagnosticLine(const QRectF& statusRect, const QRectF& screen, const QRectF& target);

// Conversion between a view's coordinates (y up) and Qt's widget coordinates
// (y down) inside a parent of height PARENTHEIGHT. The mapping is its own
// inverse. (Screen rectangles convert with platform/screencoordinates.h.)
QRectF flipInParent(const QRectF& rect, double parentHeight);

// The views the panel layout moves, in the content view's coordinates.
struct PanelSubviews {
    QRectF searchField;
    QRectF projectSelect;
    QRectF btnAdd;
    QRectF btnOptions;
    QRectF appTitle;
    QRectF appTitleSep;
};

struct PanelLayout {
    qint64 arrowX = 0;
    // How far every view sits above its place in a panel hanging from the
    // top: the arrow's height for a panel standing on a bar at the bottom
    // (its arrow takes the bottom strip), else 0.
    double bottomInset = 0;
    // Frames to apply. A view that is not visible keeps the frame it had.
    PanelSubviews frames;
    bool searchFieldVisible = true;
    bool projectSelectVisible = true;
};

inline constexpr double kSearchFieldX = 10.0;
inline constexpr double kSearchFieldSideMargins = 20.0;
// The search field's top edge sits below the 8-point arrow and a 10-point margin.
inline constexpr double kSearchFieldTopGap = 8 + 10;
// The arrow's height (panel/backgroundview.cpp).
inline constexpr double kArrowHeight = 8;
inline constexpr double kProjectSelectSideMargins = 40.0;
inline constexpr double kBtnAddBottom = 9.0;
inline constexpr double kBtnOptionsBottom = 10.0;
inline constexpr double kAppTitleBottom = 15.0;
inline constexpr double kAppTitleSepBottom = 40.0;

// The layout of the panel's content view of size VIEW for a window at
// WINDOWFRAME hanging from STATUSRECT. CURRENT holds the views' frames now,
// the pop-up's as for a panel hanging from the top. On a bar at the bottom
// EDGE the arrow takes the bottom strip instead of the top one: the search
// field stays kSearchFieldTopGap - kArrowHeight below the top and everything
// else moves up by kArrowHeight.
PanelLayout layoutPanel(const QRectF& statusRect, const QRectF& windowFrame, const QSizeF& view,
                        const PanelSubviews& current, BarEdge edge = BarEdge::top);

} // namespace zarvo::panel_geometry
