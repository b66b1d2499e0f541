#include "app/applicationdelegate.h"
#include "app/interfacestyle.h"
#include "app/menubarcontroller.h"
#include "app/namedimage.h"
#include "app/statusitemview.h"
#include "platform/defaultsstore.h"
#include "platform/traystatusitem.h"
#include "widgetapplication.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

const QString kPlain = QStringLiteral("MivoIcon");
const QString kHighlighted = QStringLiteral("MivoIconHighlighted");

std::shared_ptr<const NamedImage> solidImage(int width, int height, const char* colour)
{
    return NamedImage::fromSvg(
        QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='%1' height='%2'>"
                       "<rect width='%1' height='%2' fill='%3'/></svg>")
            .arg(width)
            .arg(height)
            .arg(QLatin1String(colour))
            .toUtf8());
}

// Receives the view's action when a test sets itself as the target.
class ActionTarget final : public QObject {
    Q_OBJECT
public:
    int received = 0;
public Q_SLOTS:
    void togglePanel() { ++received; }
};

class StatusItemViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureWidgetApplication();
        forceStyle(QStringLiteral("Light"));
    }
    void TearDown() override
    {
        setInterfaceStyleOverride(nullptr);
        NamedImage::setImageNamed(kPlain, nullptr);
        NamedImage::setImageNamed(kHighlighted, nullptr);
    }

    static void forceStyle(const QString& style)
    {
        setInterfaceStyleOverride([style] { return style; });
    }

    // The view drawn once at one pixel per point, as the tray would get it.
    static QImage draw(StatusItemView& view)
    {
        QImage image(view.bounds().size().toSize(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        view.drawRect(painter, view.bounds());
        return image;
    }

    static StatusItemView& viewOf(MenubarController& controller)
    {
        return *controller.statusItemView();
    }
    // Without a StatusNotifierItem host the controller uses Qt's tray icon.
    static QSystemTrayIcon* trayOf(const MenubarController& controller)
    {
        auto* item = qobject_cast<TrayStatusItem*>(controller.statusItem());
        return item ? item->trayIcon() : nullptr;
    }
};

struct CentringRow {
    const char* name;
    QSizeF bounds;
    QSizeF image;
    QPointF origin;
};

void PrintTo(const CentringRow& row, std::ostream* os)
{
    *os << row.name;
}

class CentringTest : public ::testing::TestWithParam<CentringRow> {};

TEST_P(CentringTest, RoundsHalvesAwayFromZero)
{
    const CentringRow& row = GetParam();
    EXPECT_EQ(StatusItemView::centredImageOrigin(row.bounds, row.image), row.origin);
}

INSTANTIATE_TEST_SUITE_P(
    Origins, CentringTest,
    ::testing::Values(CentringRow{"EvenImage", {24, 22}, {18, 18}, {3, 2}},
                      CentringRow{"OddImageRoundsUp", {24, 22}, {17, 17}, {4, 3}},
                      CentringRow{"ImageFillsTheView", {24, 22}, {24, 22}, {0, 0}},
                      CentringRow{"LargerImageRoundsAwayFromZero", {24, 22}, {25, 25}, {-1, -2}},
                      CentringRow{"FractionalImage", {24, 22}, {16.4, 16.4}, {4, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

struct PlacementRow {
    const char* name;
    int size;
    // Pixel columns and rows (from the top) the image covers.
    int left, right, top, bottom;
};

void PrintTo(const PlacementRow& row, std::ostream* os)
{
    *os << row.name;
}

class PlacementTest : public StatusItemViewTest,
                      public ::testing::WithParamInterface<PlacementRow> {};

TEST_P(PlacementTest, DrawsTheImageCentredWithTheBottomLeftOrigin)
{
    const PlacementRow& row = GetParam();
    NamedImage::setImageNamed(kPlain, solidImage(row.size, row.size, "#ff0000"));
    MenubarController controller;
    const QImage image = draw(viewOf(controller));
    ASSERT_EQ(image.size(), QSize(24, 22));

    const QRgb red = qRgb(255, 0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool inside = x >= row.left && x <= row.right && y >= row.top && y <= row.bottom;
            const QRgb pixel = image.pixel(x, y);
            if (inside) {
                ASSERT_EQ(pixel, red) << "at " << x << "," << y;
            } else {
                ASSERT_EQ(qAlpha(pixel), 0) << "at " << x << "," << y;
            }
        }
    }
}

// Origin (3, 2) with y up puts an 18-high image's top at 22 - 2 - 18 = 2;
// origin (4, 3) puts a 17-high one's top at 22 - 3 - 17 = 2 as well.
INSTANTIATE_TEST_SUITE_P(Images, PlacementTest,
                         ::testing::Values(PlacementRow{"Eighteen", 18, 3, 20, 2, 19},
                                           PlacementRow{"Seventeen", 17, 4, 20, 2, 18}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StatusItemViewTest, ControllerSetsUpTheViewAsTheTrayNeedsIt)
{
    MenubarController controller;
    StatusItemView& view = viewOf(controller);
    EXPECT_EQ(view.frame(), QRectF(0, 0, 24, 22));
    EXPECT_EQ(view.image(), NamedImage::imageNamed(kPlain));
    EXPECT_EQ(view.alternateImage(), NamedImage::imageNamed(kHighlighted));
    EXPECT_EQ(view.action(), QByteArrayLiteral("togglePanel"));
    EXPECT_EQ(view.target(), nullptr);
    EXPECT_FALSE(view.isHighlighted());
    EXPECT_EQ(controller.statusItem(), view.statusItem());
    EXPECT_FALSE(trayOf(controller)->icon().isNull()) << "drawn before it is shown";
}

TEST_F(StatusItemViewTest, TheShippedImagesAreFoundOnceEach)
{
    for (const QString& name : {kPlain, kHighlighted}) {
        const auto image = NamedImage::imageNamed(name);
        ASSERT_NE(image, nullptr) << name.toStdString();
        EXPECT_EQ(image->size(), QSizeF(18, 18));
        EXPECT_EQ(NamedImage::imageNamed(name), image);
    }
    EXPECT_NE(NamedImage::imageNamed(kPlain), NamedImage::imageNamed(kHighlighted));
    EXPECT_EQ(NamedImage::imageNamed(QStringLiteral("NoSuchImage")), nullptr);
    EXPECT_EQ(NamedImage::fromSvg(QByteArrayLiteral("not an image")), nullptr);
}

struct ImageChoiceRow {
    const char* name;
    const char* style; // the forced setting; null for the desktop's (light here)
    bool highlighted;
    const char* expectedImage;
    bool highlightedBackground;
};

void PrintTo(const ImageChoiceRow& row, std::ostream* os)
{
    *os << row.name;
}

class ImageChoiceTest : public StatusItemViewTest,
                        public ::testing::WithParamInterface<ImageChoiceRow> {};

TEST_P(ImageChoiceTest, PicksTheImageAndTheBackground)
{
    const ImageChoiceRow& row = GetParam();
    forceStyle(QString::fromLatin1(row.style));
    MenubarController controller;
    StatusItemView& view = viewOf(controller);
    view.setHighlighted(row.highlighted);
    const QImage image = draw(view);

    EXPECT_EQ(view.image(), NamedImage::imageNamed(QString::fromLatin1(row.expectedImage)));
    // The corner shows the background: the selection colour, or nothing of ours.
    const QColor selection =
        QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
    if (row.highlightedBackground) {
        EXPECT_EQ(image.pixelColor(0, 0), selection);
    } else {
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Styles, ImageChoiceTest,
    ::testing::Values(ImageChoiceRow{"LightPlain", "Light", false, "MivoIcon", false},
                      ImageChoiceRow{"LightHighlighted", "Light", true, "MivoIconHighlighted",
                                     true},
                      ImageChoiceRow{"DarkPlain", "Dark", false, "MivoIconHighlighted", false},
                      ImageChoiceRow{"DarkHighlighted", "Dark", true, "MivoIconHighlighted", true},
                      ImageChoiceRow{"OtherTextIsLight", "Graphite", false, "MivoIcon", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StatusItemViewTest, DarknessFollowsThePaletteWithoutAForcedValue)
{
    QPalette light;
    light.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2a, 0x2a, 0x2a));
    EXPECT_FALSE(paletteIsDark(light));
    EXPECT_TRUE(paletteIsDark(dark));

    setInterfaceStyleOverride([] { return QString(); });
    const QPalette saved = QGuiApplication::palette();
    MenubarController controller;
    viewOf(controller).displayIfNeeded();
    ASSERT_FALSE(viewOf(controller).needsDisplay());
    QGuiApplication::setPalette(dark);
    EXPECT_TRUE(viewOf(controller).needsDisplay()) << "new colours, maybe a new style";
    EXPECT_EQ(interfaceStyle(), QStringLiteral("Dark"));
    QGuiApplication::setPalette(light);
    EXPECT_TRUE(interfaceStyle().isNull());
    QGuiApplication::setPalette(saved);
}

TEST_F(StatusItemViewTest, TheUsersDefaultsForceTheStyle)
{
    QTemporaryDir dir;
    DefaultsStore store(dir.filePath(QStringLiteral("defaults.plist")));
    DefaultsStore::setStandardUserDefaults(&store);
    setInterfaceStyleOverride(nullptr);
    const QString key = QStringLiteral("AppleInterfaceStyle");
    const QPalette saved = QGuiApplication::palette();
    QPalette light;
    light.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    QGuiApplication::setPalette(light);

    EXPECT_TRUE(interfaceStyle().isNull()) << "nothing forced: the light palette decides";
    store.setObject(QStringLiteral("Dark"), key);
    EXPECT_EQ(interfaceStyle(), QStringLiteral("Dark"));
    MenubarController controller;
    draw(viewOf(controller));
    EXPECT_EQ(viewOf(controller).image(), NamedImage::imageNamed(kHighlighted));

    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    QGuiApplication::setPalette(dark);
    store.setObject(QStringLiteral("Light"), key);
    EXPECT_TRUE(interfaceStyle().isNull()) << "forced light on a dark desktop";
    store.setObject(42, key);
    EXPECT_EQ(interfaceStyle(), QStringLiteral("Dark")) << "a number forces nothing";

    QGuiApplication::setPalette(saved);
    DefaultsStore::setStandardUserDefaults(nullptr);
}

TEST_F(StatusItemViewTest, HighlightRedrawsOnlyOnAChange)
{
    MenubarController controller;
    StatusItemView& view = viewOf(controller);
    view.displayIfNeeded();
    ASSERT_FALSE(view.needsDisplay());

    view.setHighlighted(false);
    EXPECT_FALSE(view.needsDisplay());
    view.setHighlighted(true);
    EXPECT_TRUE(view.needsDisplay());
    view.displayIfNeeded();
    // Drawing switched to the highlighted image, which asks for one more pass.
    view.displayIfNeeded();
    EXPECT_FALSE(view.needsDisplay());
    view.setHighlighted(true);
    EXPECT_FALSE(view.needsDisplay());
}

TEST_F(StatusItemViewTest, ImagesRedrawOnlyWhenTheyChange)
{
    MenubarController controller;
    StatusItemView& view = viewOf(controller);
    view.displayIfNeeded();
    const auto other = solidImage(10, 10, "#00ff00");

    view.setImage(view.image());
    EXPECT_FALSE(view.needsDisplay());
    view.setImage(other);
    EXPECT_TRUE(view.needsDisplay());
    // Drawing chooses the named image again, which asks for one more pass.
    view.displayIfNeeded();
    EXPECT_EQ(view.image(), NamedImage::imageNamed(kPlain));
    EXPECT_TRUE(view.needsDisplay());
    view.displayIfNeeded();
    EXPECT_FALSE(view.needsDisplay());

    view.setAlternateImage(other);
    EXPECT_FALSE(view.needsDisplay()) << "the alternate image is never drawn";
    view.setHighlighted(true);
    view.displayIfNeeded();
    view.displayIfNeeded();
    view.setAlternateImage(solidImage(11, 11, "#0000ff"));
    EXPECT_TRUE(view.needsDisplay());
}

TEST_F(StatusItemViewTest, TheEventLoopRedrawsAndTheTrayShowsTheDrawing)
{
    MenubarController controller;
    StatusItemView& view = viewOf(controller);
    QSignalSpy displayed(&view, &StatusItemView::displayed);
    view.setHighlighted(true);
    ASSERT_TRUE(displayed.wait(5000));

    const QImage& drawing = view.drawing();
    EXPECT_GE(drawing.devicePixelRatio(), 2.0);
    EXPECT_EQ(drawing.deviceIndependentSize(), QSizeF(24, 22));
    const QColor selection =
        QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
    EXPECT_EQ(drawing.pixelColor(0, 0), selection);
    EXPECT_FALSE(trayOf(controller)->icon().isNull());
}

// Every opening and closing of the panel flips the highlight. The tray keeps
// a scaled copy of each new icon it is given: the same picture must come back
// as the same icon, or that copy is made again at every flip.
TEST_F(StatusItemViewTest, TheSamePictureIsHandedToTheTrayAsTheSameIcon)
{
    MenubarController controller;
    StatusItemView& view = viewOf(controller);
    const auto drawn = [&](bool highlighted) {
        view.setHighlighted(highlighted);
        view.displayIfNeeded();
        view.displayIfNeeded(); // the image chosen by the first pass is drawn by the second
        return trayOf(controller)->icon().cacheKey();
    };
    const qint64 plain = drawn(false);
    const qint64 highlighted = drawn(true);
    EXPECT_NE(plain, highlighted);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(drawn(false), plain);
        EXPECT_EQ(drawn(true), highlighted);
    }
}

TEST_F(StatusItemViewTest, LeftRightAndDoubleClicksSendTheAction)
{
    MenubarController controller;
    StatusItemView& view = viewOf(controller);
    ActionTarget target;
    view.setTarget(&target);
    QSystemTrayIcon* tray = trayOf(controller);

    Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(target.received, 1);
    Q_EMIT tray->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(target.received, 2);
    Q_EMIT tray->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(target.received, 3) << "the second press of a double click";
    Q_EMIT tray->activated(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(target.received, 3);
    EXPECT_EQ(tray->contextMenu(), nullptr);
}

TEST_F(StatusItemViewTest, WithoutATargetAClickReachesTheApplicationDelegate)
{
    ApplicationDelegate delegate;
    delegate.applicationDidFinishLaunching();
    QSystemTrayIcon* tray = trayOf(*delegate.menubarController());

    Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(delegate.menubarController()->hasActiveIcon());
    EXPECT_TRUE(delegate.panelController() != nullptr);
    Q_EMIT tray->activated(QSystemTrayIcon::Context);
    EXPECT_FALSE(delegate.menubarController()->hasActiveIcon());
}

TEST_F(StatusItemViewTest, WithoutATrayTheGlobalRectIsZero)
{
    MenubarController controller;
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "tests run without a tray";
    EXPECT_EQ(viewOf(controller).globalRect(), QRectF());
}

} // namespace
} // namespace zarvo

#include "statusitemview_test.moc"
