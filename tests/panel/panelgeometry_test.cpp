#include "panel/panelgeometry.h"

#include <gtest/gtest.h>

#include <ostream>

QT_BEGIN_NAMESPACE
[[maybe_unused]] static void PrintTo(const QRectF& r, std::ostream* os)
{
    *os << "(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")";
}
QT_END_NAMESPACE

namespace zarvo::panel_geometry {
namespace {

const QRectF kScreen(0, 0, 1440, 900);

struct StatusRow {
    const char* name;
    std::optional<QRectF> statusItem;
    QRectF screen;
    QRectF expected;
};

class StatusRectTest : public ::testing::TestWithParam<StatusRow> {};

TEST_P(StatusRectTest, HangsBelowTheIconOrFallsBack)
{
    const StatusRow& row = GetParam();
    EXPECT_EQ(statusRectForWindow(row.statusItem, row.screen), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StatusRectTest,
    ::testing::Values(StatusRow{"MovedDownByItsOwnHeight", QRectF(1000, 878, 24, 22), kScreen,
                                QRectF(1000, 856, 24, 22)},
                      StatusRow{"TallIconMovesDownByItsHeight", QRectF(500, 860, 30, 40), kScreen,
                                QRectF(500, 820, 30, 40)},
                      StatusRow{"NoViewCentresNearTheTop", std::nullopt, kScreen,
                                QRectF(708, 856, 24, 22)},
                      // The tray did not say where the icon is: same as no view.
                      StatusRow{"ZeroRectFallsBack", QRectF(), kScreen, QRectF(708, 856, 24, 22)},
                      StatusRow{"OddWidthRoundsHalfAwayFromZero", std::nullopt,
                                QRectF(0, 0, 1365, 768), QRectF(671, 724, 24, 22)},
                      // The fallback is measured from the screen's own corner.
                      StatusRow{"ScreenOriginIsNotAdded", std::nullopt, QRectF(100, 50, 1440, 900),
                                QRectF(708, 856, 24, 22)}),
    [](const auto& info) { return std::string(info.param.name); });

// Screens in our coordinates (origin at the primary screen's bottom left, y
// up). The primary 1440 x 900 with a 22-point bar reserved at the top and a
// 44-point one at the bottom; a second 1920 x 1080 screen to its right, top
// edges aligned, reserving nothing.
const ScreenArea kPrimary{kScreen, QRectF(0, 44, 1440, 834)};
const ScreenArea kBare{kScreen, kScreen};
const QRectF kRightScreen(1440, -180, 1920, 1080);
const ScreenArea kSecond{kRightScreen, kRightScreen};

struct PlacementRow {
    const char* name;
    IconWhereabouts icon;
    QList<ScreenArea> screens;
    QRectF statusRect;
    BarEdge edge;
    QRectF screen;
};

class PlacementTest : public ::testing::TestWithParam<PlacementRow> {};

TEST_P(PlacementTest, TheStatusRectTouchesTheBarThatHoldsTheIcon)
{
    const PlacementRow& row = GetParam();
    const StatusPlacement placement = placeStatusRect(row.icon, row.screens);
    EXPECT_EQ(placement.statusRect, row.statusRect);
    EXPECT_EQ(placement.edge, row.edge);
    EXPECT_EQ(placement.screen, row.screen);
}

// Points are given as a host sends them (Qt's y down from the top of the
// primary screen) and converted: y up = 900 - y.
IconWhereabouts clickedAt(double x, double y, std::optional<QPointF> cursor = std::nullopt)
{
    return {std::nullopt, QPointF(x, 900 - y), cursor};
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PlacementTest,
    ::testing::Values(PlacementRow{"TrayIconAtTheTopAsBefore",
                                   {QRectF(1000, 878, 24, 22), std::nullopt, std::nullopt},
                                   {kPrimary},
                                   QRectF(1000, 856, 24, 22),
                                   BarEdge::top,
                                   kScreen},
                      PlacementRow{"TrayIconAtTheBottomGetsTheRectAboveIt",
                                   {QRectF(1000, 0, 24, 22), std::nullopt, std::nullopt},
                                   {kPrimary},
                                   QRectF(1000, 22, 24, 22),
                                   BarEdge::bottom,
                                   kScreen},
                      PlacementRow{"TrayIconOnTheSecondScreensBottom",
                                   {QRectF(2000, -180, 24, 22), std::nullopt, std::nullopt},
                                   {kPrimary, kSecond},
                                   QRectF(2000, -158, 24, 22),
                                   BarEdge::bottom,
                                   kRightScreen},
                      // The rect's top is the free area's top: the panel touches the bar.
                      PlacementRow{"PointInTheTopBar",
                                   clickedAt(1200, 10),
                                   {kPrimary},
                                   QRectF(1188, 856, 24, 22),
                                   BarEdge::top,
                                   kScreen},
                      PlacementRow{"PointInAnUnreservedTopBarAssumesTheUsualBar",
                                   clickedAt(1200, 10),
                                   {kBare},
                                   QRectF(1188, 856, 24, 22),
                                   BarEdge::top,
                                   kScreen},
                      PlacementRow{"PointInTheBottomBar",
                                   clickedAt(300, 890),
                                   {kPrimary},
                                   QRectF(288, 44, 24, 22),
                                   BarEdge::bottom,
                                   kScreen},
                      PlacementRow{"PointInAnUnreservedBottomBar",
                                   clickedAt(300, 890),
                                   {kBare},
                                   QRectF(288, 22, 24, 22),
                                   BarEdge::bottom,
                                   kScreen},
                      PlacementRow{"PointOnTheSecondScreensTop",
                                   clickedAt(3000, 10),
                                   {kPrimary, kSecond},
                                   QRectF(2988, 856, 24, 22),
                                   BarEdge::top,
                                   kRightScreen},
                      PlacementRow{"PointOnTheSecondScreensBottom",
                                   clickedAt(3000, 1075),
                                   {kPrimary, kSecond},
                                   QRectF(2988, -158, 24, 22),
                                   BarEdge::bottom,
                                   kRightScreen},
                      // waybar sends points relative to its own widget.
                      PlacementRow{"WidgetRelativePointFallsBack",
                                   clickedAt(5, 13),
                                   {kPrimary},
                                   QRectF(708, 856, 24, 22),
                                   BarEdge::top,
                                   kScreen},
                      PlacementRow{"WidgetRelativePointTakesTheCursorOfTheClick",
                                   clickedAt(5, 13, QPointF(300, 20)),
                                   {kPrimary},
                                   QRectF(288, 44, 24, 22),
                                   BarEdge::bottom,
                                   kScreen},
                      PlacementRow{"PointAndCursorInMidScreenFallBack",
                                   clickedAt(700, 450, QPointF(700, 450)),
                                   {kPrimary},
                                   QRectF(708, 856, 24, 22),
                                   BarEdge::top,
                                   kScreen},
                      PlacementRow{"PointOnNoScreenFallsBack",
                                   clickedAt(5000, 10),
                                   {kPrimary},
                                   QRectF(708, 856, 24, 22),
                                   BarEdge::top,
                                   kScreen},
                      // Without a click (the hot key first) the pointer says nothing of the icon.
                      PlacementRow{"NoClickIgnoresThePointer",
                                   {std::nullopt, std::nullopt, QPointF(1200, 895)},
                                   {kPrimary},
                                   QRectF(708, 856, 24, 22),
                                   BarEdge::top,
                                   kScreen}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlacementTest, TheSecondScreensPanelIsClampedToThatScreen)
{
    const QRectF target = openingTargetFrame(QRectF(3340, 856, 24, 22), kRightScreen, BarEdge::top);
    EXPECT_EQ(target, QRectF(3072, 780, 280, 98)) << "right edge 8 inside 3360";
}

TEST(PlacementTest, AtTheBottomThePanelStandsOnTheStatusRect)
{
    EXPECT_EQ(openingTargetFrame(QRectF(288, 44, 24, 22), kScreen, BarEdge::bottom),
              QRectF(160, 44, 280, 98));
    EXPECT_EQ(openingTargetFrame(QRectF(1400, 44, 24, 22), kScreen, BarEdge::bottom),
              QRectF(1152, 44, 280, 98));
}

struct TargetRow {
    const char* name;
    QRectF statusRect;
    QRectF expected;
};

class TargetFrameTest : public ::testing::TestWithParam<TargetRow> {};

TEST_P(TargetFrameTest, CentredUnderTheStatusRectAndClampedRight)
{
    const TargetRow& row = GetParam();
    EXPECT_EQ(openingTargetFrame(row.statusRect, kScreen), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TargetFrameTest,
    ::testing::Values(
        TargetRow{"UnderTheIcon", QRectF(1000, 856, 24, 22), QRectF(872, 780, 280, 98)},
        // Unclamped x 1260 would end at 1540, beyond 1440 - 8.
        TargetRow{"ClampedAtTheRightEdge", QRectF(1388, 856, 24, 22), QRectF(1152, 780, 280, 98)},
        TargetRow{"EndingExactlyAtTheMarginStays", QRectF(1280, 856, 24, 22),
                  QRectF(1152, 780, 280, 98)},
        TargetRow{"FallbackRect", QRectF(708, 856, 24, 22), QRectF(580, 780, 280, 98)},
        TargetRow{"HalfPointRoundsUp", QRectF(1000, 856, 25, 22), QRectF(873, 780, 280, 98)},
        TargetRow{"NegativeHalfRoundsAwayFromZero", QRectF(-150, 856, 25, 22),
                  QRectF(-278, 780, 280, 98)},
        TargetRow{"NoClampOnTheLeft", QRectF(0, 856, 24, 22), QRectF(-128, 780, 280, 98)},
        TargetRow{"NoClampVertically", QRectF(1000, 20, 24, 22), QRectF(872, -56, 280, 98)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ArrowX, PointsAtTheMiddleOfTheStatusRect)
{
    EXPECT_EQ(arrowX(QRectF(1000, 856, 24, 22), 872), 140);
    // After the right-edge clamp the arrow moves towards the panel's right end.
    EXPECT_EQ(arrowX(QRectF(1388, 856, 24, 22), 1152), 248);
}

TEST(ArrowX, RoundsTheMidpointThenTruncatesTheDifference)
{
    // Midpoint 1012.5 rounds to 1013; 1013 - 872.6 = 140.4 truncates to 140.
    EXPECT_EQ(arrowX(QRectF(1000, 856, 25, 22), 872.6), 140);
    // 1013 - 1013.5 = -0.5 truncates toward zero, not down to -1.
    EXPECT_EQ(arrowX(QRectF(1000, 856, 25, 22), 1013.5), 0);
    EXPECT_EQ(arrowX(QRectF(1000, 856, 24, 22), 1100), -88);
}

struct DurationRow {
    const char* name;
    OpeningEvent event;
    double duration;
    bool logs;
};

class OpenDurationTest : public ::testing::TestWithParam<DurationRow> {};

TEST_P(OpenDurationTest, SlowOnlyForAShiftClick)
{
    const DurationRow& row = GetParam();
    EXPECT_DOUBLE_EQ(openAnimationDuration(row.event), row.duration);
    EXPECT_EQ(logsOpeningGeometry(row.event), row.logs);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OpenDurationTest,
    ::testing::Values(
        DurationRow{"NoEventHotKey", {}, 0.15, false},
        DurationRow{"PlainClick", {true, Qt::NoModifier}, 0.15, false},
        DurationRow{"ShiftClick", {true, Qt::ShiftModifier}, 1.5, false},
        DurationRow{"ShiftAltClick", {true, Qt::ShiftModifier | Qt::AltModifier}, 1.5, true},
        DurationRow{
            "ShiftControlClick", {true, Qt::ShiftModifier | Qt::ControlModifier}, 0.15, false},
        DurationRow{"ShiftAltSuperClick",
                    {true, Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier},
                    0.15,
                    false},
        DurationRow{"AltClick", {true, Qt::AltModifier}, 0.15, false},
        DurationRow{"ShiftWithoutMouseDown", {false, Qt::ShiftModifier}, 0.15, false},
        DurationRow{
            "ShiftAltWithoutMouseDown", {false, Qt::ShiftModifier | Qt::AltModifier}, 0.15, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DiagnosticLine, NamesTheThreeRectangles)
{
    EXPECT_EQ(openingDiagnosticLine(QRectF(1000, 856, 24, 22), kScreen, QRectF(872, 780, 280, 98)),
              QStringLiteral("Icon is at {{1000, 856}, {24, 22}}\n"
                             "\tMenu is on screen {{0, 0}, {1440, 900}}\n"
                             "\tWill be animated to {{872, 780}, {280, 98}}"));
    EXPECT_EQ(rectString(QRectF(0.5, -2, 24.25, 22)), QStringLiteral("{{0.5, -2}, {24.25, 22}}"));
}

// The views as the interface file places them, in the content view's coordinates.
PanelSubviews subviews(double fieldHeight)
{
    PanelSubviews v;
    v.searchField = QRectF(10, 50, 260, fieldHeight);
    v.projectSelect = QRectF(20, 9, 240, 22);
    v.btnAdd = QRectF(4, 30, 14, 22);
    v.btnOptions = QRectF(262, 31, 14, 20);
    v.appTitle = QRectF(20, 50, 240, 14);
    v.appTitleSep = QRectF(10, 100, 260, 1);
    return v;
}

const QRectF kStatus(1000, 856, 24, 22);

TEST(PanelLayout, OpeningSize)
{
    const PanelLayout layout =
        layoutPanel(kStatus, QRectF(872, 780, 280, 98), QSizeF(280, 98), subviews(30));
    EXPECT_EQ(layout.arrowX, 140);
    EXPECT_TRUE(layout.searchFieldVisible);
    EXPECT_EQ(layout.frames.searchField, QRectF(10, 50, 260, 30));
    EXPECT_TRUE(layout.projectSelectVisible);
    EXPECT_EQ(layout.frames.projectSelect, QRectF(20, 9, 240, 22));
}

TEST(PanelLayout, ThreeMatchesMovesOnlyTheSearchField)
{
    const PanelLayout layout =
        layoutPanel(kStatus, QRectF(872, 683, 280, 195), QSizeF(280, 195), subviews(30));
    EXPECT_EQ(layout.frames.searchField, QRectF(10, 147, 260, 30));
    EXPECT_EQ(layout.frames.projectSelect, QRectF(20, 9, 240, 22));
    EXPECT_EQ(layout.frames.btnAdd, QRectF(4, 9, 14, 22));
}

TEST(PanelLayout, BottomRowGetsItsBottomEdgesAndKeepsTheRest)
{
    const PanelLayout layout =
        layoutPanel(kStatus, QRectF(872, 780, 280, 98), QSizeF(280, 98), subviews(30));
    EXPECT_EQ(layout.frames.btnAdd, QRectF(4, 9, 14, 22));
    EXPECT_EQ(layout.frames.btnOptions, QRectF(262, 10, 14, 20));
    EXPECT_EQ(layout.frames.appTitle, QRectF(20, 15, 240, 14));
    EXPECT_EQ(layout.frames.appTitleSep, QRectF(10, 40, 260, 1));
}

TEST(PanelLayout, WithTheArrowBelowTheViewsMoveUpByItsHeight)
{
    const PanelLayout layout = layoutPanel(QRectF(288, 44, 24, 22), QRectF(160, 44, 280, 98),
                                           QSizeF(280, 98), subviews(30), BarEdge::bottom);
    EXPECT_EQ(layout.arrowX, 140);
    EXPECT_EQ(layout.bottomInset, 8);
    EXPECT_EQ(layout.frames.searchField, QRectF(10, 58, 260, 30)) << "10 below the top";
    EXPECT_EQ(layout.frames.projectSelect, QRectF(20, 17, 240, 22));
    EXPECT_EQ(layout.frames.btnAdd, QRectF(4, 17, 14, 22));
    EXPECT_EQ(layout.frames.btnOptions, QRectF(262, 18, 14, 20));
    EXPECT_EQ(layout.frames.appTitle, QRectF(20, 23, 240, 14));
    EXPECT_EQ(layout.frames.appTitleSep, QRectF(10, 48, 260, 1));
}

TEST(PanelLayout, SearchFieldHeightIsNeverChanged)
{
    const PanelLayout layout =
        layoutPanel(kStatus, QRectF(872, 780, 280, 98), QSizeF(280, 98), subviews(22));
    EXPECT_EQ(layout.frames.searchField, QRectF(10, 58, 260, 22));
}

TEST(PanelLayout, FirstAnimationFrameHidesOnlyThePopUp)
{
    const PanelSubviews before = subviews(30);
    const PanelLayout layout =
        layoutPanel(kStatus, QRectF(1000, 856, 24, 22), QSizeF(24, 22), before);
    EXPECT_TRUE(layout.searchFieldVisible);
    EXPECT_EQ(layout.frames.searchField, QRectF(10, -26, 4, 30));
    EXPECT_FALSE(layout.projectSelectVisible);
    EXPECT_EQ(layout.frames.projectSelect, before.projectSelect) << "a hidden view keeps its frame";
    EXPECT_EQ(layout.arrowX, 12);
}

TEST(PanelLayout, AtMostTwentyWideHidesBoth)
{
    for (const double width : {20.0, 12.0, 0.0}) {
        const PanelSubviews before = subviews(30);
        const PanelLayout layout =
            layoutPanel(kStatus, QRectF(1002, 856, width, 22), QSizeF(width, 22), before);
        EXPECT_FALSE(layout.searchFieldVisible) << width;
        EXPECT_FALSE(layout.projectSelectVisible) << width;
        EXPECT_EQ(layout.frames.searchField, before.searchField) << width;
        EXPECT_EQ(layout.frames.projectSelect, before.projectSelect) << width;
    }
}

TEST(PanelLayout, ZeroHighSearchFieldIsHidden)
{
    const PanelLayout layout =
        layoutPanel(kStatus, QRectF(872, 780, 280, 98), QSizeF(280, 98), subviews(0));
    EXPECT_FALSE(layout.searchFieldVisible);
}

TEST(FlipInParent, MirrorsVerticallyAndIsItsOwnInverse)
{
    const QRectF up(10, 50, 260, 30);
    const QRectF down = flipInParent(up, 98);
    EXPECT_EQ(down, QRectF(10, 18, 260, 30));
    EXPECT_EQ(flipInParent(down, 98), up);
}

} // namespace
} // namespace zarvo::panel_geometry
