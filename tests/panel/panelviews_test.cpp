#include "panel/backgroundview.h"
#include "panel/searchfieldview.h"
#include "support/eventcounter.h"
#include "support/wait.h"

#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <gtest/gtest.h>

#include <vector>

namespace zarvo {
namespace {

struct Element {
    QPainterPath::ElementType type;
    double x;
    double y;
    bool operator==(const Element&) const = default;
};

[[maybe_unused]] void PrintTo(const Element& e, std::ostream* os)
{
    *os << "{" << e.type << ", " << e.x << ", " << e.y << "}";
}

constexpr auto M = QPainterPath::MoveToElement;
constexpr auto L = QPainterPath::LineToElement;
constexpr auto C = QPainterPath::CurveToElement;
constexpr auto D = QPainterPath::CurveToDataElement;

std::vector<Element> elements(const QPainterPath& path)
{
    std::vector<Element> out;
    for (int i = 0; i < path.elementCount(); ++i) {
        const auto e = path.elementAt(i);
        out.push_back({e.type, e.x, e.y});
    }
    return out;
}

// Twice the signed area: positive for counter-clockwise in y-up coordinates.
double signedArea(const QPainterPath& path)
{
    const QPolygonF polygon = path.toFillPolygon();
    double sum = 0;
    for (qsizetype i = 0; i + 1 < polygon.size(); ++i) {
        sum += polygon[i].x() * polygon[i + 1].y() - polygon[i + 1].x() * polygon[i].y();
    }
    return sum;
}

TEST(BackgroundOutline, ThreeHundredByFourHundredView)
{
    const std::vector<Element> expected{
        {M, 150, 398},                               // the arrow tip
        {L, 162, 390},                               // right end of the arrow's base
        {L, 282, 390},                               // along the top
        {C, 298, 390}, {D, 298, 390}, {D, 298, 374}, // top-right corner
        {L, 298, 18},                                // down the right side
        {C, 298, 2},   {D, 298, 2},   {D, 282, 2},   // bottom-right corner
        {L, 18, 2},                                  // along the bottom
        {C, 2, 2},     {D, 2, 2},     {D, 2, 18},    // bottom-left corner
        {L, 2, 374},                                 // up the left side
        {C, 2, 390},   {D, 2, 390},   {D, 18, 390},  // top-left corner
        {L, 138, 390},                               // left end of the arrow's base
        {L, 150, 398},                               // closed back to the tip
    };
    EXPECT_EQ(elements(BackgroundView::outline(QRectF(0, 0, 300, 400), 150)), expected);
}

TEST(BackgroundOutline, BodyAndTipExtents)
{
    const QRectF bounds = BackgroundView::outline(QRectF(0, 0, 300, 400), 150).boundingRect();
    EXPECT_DOUBLE_EQ(bounds.left(), 2);
    EXPECT_DOUBLE_EQ(bounds.right(), 298);
    EXPECT_DOUBLE_EQ(bounds.top(), 2); // y up: the lowest point
    EXPECT_DOUBLE_EQ(bounds.bottom(), 398);
}

TEST(BackgroundOutline, ArrowAtZeroIsNotClamped)
{
    const auto e = elements(BackgroundView::outline(QRectF(0, 0, 300, 400), 0));
    EXPECT_EQ(e.front(), (Element{M, 0, 398}));
    EXPECT_EQ(e[1], (Element{L, 12, 390}));
    EXPECT_EQ(e[e.size() - 2], (Element{L, -12, 390}));
}

TEST(BackgroundOutline, RunsAgainstTheRectangleSoTheClipExcludesTheBody)
{
    QPainterPath rect;
    rect.addRect(QRectF(0, 0, 300, 400));
    const QPainterPath body = BackgroundView::outline(QRectF(0, 0, 300, 400), 150);
    EXPECT_GT(signedArea(rect) * -signedArea(body), 0);
}

TEST(SearchFieldOutline, AsymmetricCorners)
{
    const std::vector<Element> expected{
        {M, 259, 21},                             // maxX, maxY - 8
        {C, 259, 29}, {D, 259, 29}, {D, 251, 29}, // the corner at (maxX, maxY)
        {L, 9, 29},                               // along maxY
        {C, 1, 29},   {D, 1, 29},   {D, 1, 9},    // the whole side at minX
        {C, 1, 1},    {D, 1, 1},    {D, 9, 1},    // the corner at (minX, minY)
        {L, 251, 1},                              // along minY
        {C, 259, 1},  {D, 259, 1},  {D, 259, 9},  // the corner at (maxX, minY)
        {L, 259, 21},                             // closed along maxX
    };
    EXPECT_EQ(elements(searchFieldView::outline(QRectF(0, 0, 260, 30))), expected);
}

TEST(SearchFieldOutline, RunsWithTheRectangleSoTheClipKeepsEverything)
{
    QPainterPath rect;
    rect.addRect(QRectF(0, 0, 260, 30));
    EXPECT_GT(signedArea(rect) * signedArea(searchFieldView::outline(QRectF(0, 0, 260, 30))), 0);
}

QImage transparentImage(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// Expects the pixel at X, Y (Qt's coordinates, y down) to be RGBA within 3 of each component.
void expectPixel(const QImage& image, int x, int y, int r, int g, int b, int a)
{
    const QColor c = image.pixelColor(x, y);
    const auto near = [](int actual, int wanted) { return std::abs(actual - wanted) <= 3; };
    EXPECT_TRUE(near(c.red(), r) && near(c.green(), g) && near(c.blue(), b) && near(c.alpha(), a))
        << "pixel (" << x << ", " << y << ") is " << c.red() << "," << c.green() << "," << c.blue()
        << "," << c.alpha() << "; wanted " << r << "," << g << "," << b << "," << a;
}

class BackgroundPixels : public ::testing::Test {
protected:
    void SetUp() override
    {
        BackgroundView view;
        view.resize(300, 400);
        view.setArrowX(150);
        image = transparentImage(300, 400);
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    QImage image;
};

// Gradient ends: 0.1/0.1/0.15 at the bottom, 0.2/0.2/0.25 at the top.
TEST_F(BackgroundPixels, RimIsWhiteJustOutsideTheBody)
{
    expectPixel(image, 0, 200, 255, 255, 255, 255);
    expectPixel(image, 1, 200, 255, 255, 255, 255);
    expectPixel(image, 299, 200, 255, 255, 255, 255);
    expectPixel(image, 150, 399, 255, 255, 255, 255);
    expectPixel(image, 50, 8, 255, 255, 255, 255); // above the body's top edge at y 390
}

TEST_F(BackgroundPixels, RimDoesNotCoverTheBody)
{
    // Without the clip the 4-point line would whiten x 2..4 inside the body.
    expectPixel(image, 3, 200, 38, 38, 51, 255);
}

TEST_F(BackgroundPixels, GradientRunsFromBottomToTop)
{
    expectPixel(image, 150, 396, 26, 26, 38, 255);
    expectPixel(image, 100, 11, 50, 50, 63, 255);
}

TEST_F(BackgroundPixels, OutsideTheRimStaysTransparent)
{
    expectPixel(image, 50, 5, 0, 0, 0, 0);
    expectPixel(image, 0, 0, 0, 0, 0, 0);
}

TEST_F(BackgroundPixels, ArrowTipAtArrowX)
{
    expectPixel(image, 150, 1, 255, 255, 255, 255); // the rim above the tip
    expectPixel(image, 150, 4, 51, 51, 64, 255);    // inside the arrow, top colour
    expectPixel(image, 140, 4, 0, 0, 0, 0);         // beside the arrow
}

TEST(BackgroundViewArrow, StoredAndRedrawnEvenWhenUnchanged)
{
    BackgroundView view;
    view.resize(100, 50);
    view.show();
    ASSERT_TRUE(test::waitUntil([&] { return view.isVisible(); }));
    EXPECT_EQ(view.arrowX(), 0);
    int paints = 0;
    test::EventCounter counter(&view, QEvent::Paint, &paints);
    ASSERT_TRUE(test::waitUntil([&] {
        view.update();
        return paints > 0;
    }));
    paints = 0;
    view.setArrowX(0);
    EXPECT_TRUE(test::waitUntil([&] { return paints > 0; }));
    view.setArrowX(30);
    EXPECT_EQ(view.arrowX(), 30);
}

TEST(SearchFieldPixels, HalfWhiteOutlineOverUntouchedPixels)
{
    QImage image = transparentImage(260, 30);
    {
        QPainter painter(&image);
        searchFieldView::paintOutline(painter, image.size());
    }
    // The 2-point line centred on x = 259 covers both last columns, half white.
    expectPixel(image, 258, 15, 255, 255, 255, 128);
    expectPixel(image, 259, 15, 255, 255, 255, 128);
    expectPixel(image, 130, 0, 255, 255, 255, 128);
    expectPixel(image, 130, 15, 0, 0, 0, 0); // the clear fill leaves the inside alone
}

struct CommandRow {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    const char* command;
    bool handledByField;
};

class SearchFieldCommands : public ::testing::TestWithParam<CommandRow> {};

TEST_P(SearchFieldCommands, KeyNamesItsCommandAndOnlyArrowsAreConsumed)
{
    const CommandRow& row = GetParam();
    const QString command = searchFieldView::commandForKey(row.key, row.modifiers);
    EXPECT_EQ(command, QString::fromLatin1(row.command));
    searchFieldView field;
    EXPECT_EQ(field.control(&field, &field, command), row.handledByField);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SearchFieldCommands,
    ::testing::Values(CommandRow{"Return", Qt::Key_Return, {}, "insertNewline:", false},
                      CommandRow{"Enter", Qt::Key_Enter, Qt::KeypadModifier,
                                 "insertNewline:", false},
                      CommandRow{"Escape", Qt::Key_Escape, {}, "cancelOperation:", false},
                      CommandRow{"Up", Qt::Key_Up, {}, "moveUp:", true},
                      CommandRow{"Down", Qt::Key_Down, {}, "moveDown:", true},
                      CommandRow{"Delete", Qt::Key_Delete, {}, "deleteForward:", false},
                      CommandRow{"Backspace", Qt::Key_Backspace, {}, "deleteBackward:", false},
                      CommandRow{"Tab", Qt::Key_Tab, {}, "insertTab:", false},
                      CommandRow{"Letter", Qt::Key_A, {}, "", false},
                      CommandRow{"ShiftUpIsNoPlainMove", Qt::Key_Up, Qt::ShiftModifier, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

bool pressKey(QWidget* target, int key, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
    return press.isAccepted();
}

TEST(SearchFieldKeys, HandledCommandsAreConsumedOthersStillEdit)
{
    searchFieldView field;
    QStringList seen;
    field.setCommandHandler([&](const QString& command) {
        seen << command;
        return command == QLatin1String("insertNewline:");
    });
    int returns = 0;
    QObject::connect(&field, &QLineEdit::returnPressed, [&] { ++returns; });
    field.setText(QStringLiteral("ab"));

    pressKey(&field, Qt::Key_Backspace);
    EXPECT_EQ(field.text(), QStringLiteral("a")) << "not handled: the field deletes as usual";
    pressKey(&field, Qt::Key_Return);
    EXPECT_EQ(returns, 0) << "handled: the field never sees Return";
    pressKey(&field, Qt::Key_X, QStringLiteral("x"));
    EXPECT_EQ(field.text(), QStringLiteral("ax"));
    EXPECT_EQ(seen,
              (QStringList{QStringLiteral("deleteBackward:"), QStringLiteral("insertNewline:")}));
}

TEST(SearchFieldKeys, WithoutHandlerTheArrowsAreConsumed)
{
    searchFieldView field;
    EXPECT_TRUE(pressKey(&field, Qt::Key_Down));
    EXPECT_FALSE(pressKey(&field, Qt::Key_Escape)) << "Escape goes on to the window";
}

} // namespace
} // namespace zarvo
