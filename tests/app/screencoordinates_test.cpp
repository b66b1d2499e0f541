#include "platform/screencoordinates.h"

#include <gtest/gtest.h>

namespace zarvo {
namespace {

struct ConversionRow {
    const char* name;
    QRectF primary; // in Qt's coordinates
    QRectF qt;
    QRectF screen;
};

void PrintTo(const ConversionRow& row, std::ostream* os)
{
    *os << row.name;
}

class ScreenCoordinatesTest : public ::testing::TestWithParam<ConversionRow> {};

TEST_P(ScreenCoordinatesTest, ConvertsBothWays)
{
    const ConversionRow& row = GetParam();
    EXPECT_EQ(screenRectFromQt(row.qt, row.primary), row.screen);
    EXPECT_EQ(qtRectFromScreen(row.screen, row.primary), row.qt);
}

INSTANTIATE_TEST_SUITE_P(
    Rects, ScreenCoordinatesTest,
    ::testing::Values(
        // A tray icon at the top right of a 1440x900 screen.
        ConversionRow{"TopOfThePrimary", {0, 0, 1440, 900}, {1400, 0, 24, 22}, {1400, 878, 24, 22}},
        ConversionRow{"BottomOfThePrimary", {0, 0, 1440, 900}, {10, 870, 24, 30}, {10, 0, 24, 30}},
        // A second screen above the primary one reaches above its top.
        ConversionRow{
            "AboveThePrimary", {0, 1080, 1920, 1080}, {100, 0, 50, 40}, {100, 2120, 50, 40}},
        // The primary screen need not start at Qt's origin.
        ConversionRow{
            "OffsetPrimary", {1920, 200, 1280, 1024}, {1920, 200, 1280, 1024}, {0, 0, 1280, 1024}},
        ConversionRow{
            "LeftOfThePrimary", {1920, 0, 1280, 1024}, {0, 0, 100, 24}, {-1920, 1000, 100, 24}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zarvo
