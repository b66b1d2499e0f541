// The tray icon on a StatusNotifierItem host, end to end: the zarvo
// application on an Xvfb of its own (1440 x 900, no XEmbed tray) and a
// private session bus on which this test is the StatusNotifierWatcher. The
// host's clicks are the watcher's calls of Activate(x, y); the panel's place
// is read back from the X server. Skipped where Xvfb, xdotool or dbus-daemon
// is missing.
#include "support/privatesessionbus.h"
#include "support/wait.h"
#include "support/xvfbserver.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>

QT_BEGIN_NAMESPACE
[[maybe_unused]] static void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")";
}
QT_END_NAMESPACE

namespace zarvo {
namespace {

constexpr int kTimeoutMs = 20000;
// The store is empty: once open, the panel makes room for the first-run
// hint, two rows (2 x 35 + 90).
constexpr int kHintPanelHeight = 160;
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

} // namespace

// The watcher a desktop's tray runs: it keeps the names of the items that
// register with it and says that a host shows them.
class WatcherStandIn final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    explicit WatcherStandIn(const QString& address)
        : connectionName_(QStringLiteral("watcher-") +
                          QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName_);
        registered_ = bus.isConnected() &&
                      bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                                         QDBusConnection::ExportAllSlots |
                                             QDBusConnection::ExportAllProperties) &&
                      bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    }
    ~WatcherStandIn() override { QDBusConnection::disconnectFromBus(connectionName_); }

    bool registered() const { return registered_; }
    bool isHostRegistered() const { return true; }
    QStringList items() const { return items_; }
    int protocolVersion() const { return 0; }
    QDBusConnection bus() const { return QDBusConnection(connectionName_); }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) { items_.append(service); }
    void RegisterStatusNotifierHost(const QString& /*service*/) {}

private:
    QString connectionName_;
    bool registered_ = false;
    QStringList items_;
};

namespace {

// One bus and one application for the whole run: the test's calls and the
// watcher's answers travel through the event loop.
test::PrivateSessionBus& sharedBus()
{
    static int argc = 1;
    static char name[] = "statusnotifier_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static test::PrivateSessionBus bus;
    return bus;
}

struct Pixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;
};

class StatusNotifierTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!sharedBus().started()) {
            GTEST_SKIP() << "no private session bus: " << sharedBus().why().toStdString();
        }
        if (!server.running()) {
            GTEST_SKIP() << "Xvfb or xdotool is not installed, or Xvfb did not start";
        }
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        watcher = std::make_unique<WatcherStandIn>(sharedBus().address());
        ASSERT_TRUE(watcher->registered());
        start();
        ASSERT_TRUE(test::waitUntil([&] { return !watcher->items().isEmpty(); }, kTimeoutMs))
            << "the item never registered with the watcher";
        item = watcher->items().first();
    }

    void TearDown() override
    {
        if (!app) {
            return;
        }
        test::stopProcess(*app, kTimeoutMs);
    }

    void start()
    {
        app = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(server.display()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("ZARVO_RESOURCES"), resources.path());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sharedBus().address());
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        app->setProcessEnvironment(env);
        app->setProcessChannelMode(QProcess::ForwardedChannels);
        app->start(QStringLiteral(ZARVO_EXE_PATH), {});
        ASSERT_TRUE(app->waitForStarted());
    }

    // Calls METHOD(X, Y) on the item, as the host does for a click.
    void click(const QString& method, int x, int y)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(item, kItemPath, kItemInterface, method);
        call << x << y;
        QDBusPendingCall pending = watcher->bus().asyncCall(call);
        ASSERT_TRUE(test::waitUntil([&] { return pending.isFinished(); }, kTimeoutMs));
        ASSERT_FALSE(pending.isError()) << pending.error().message().toStdString();
    }

    QVariant property(const QString& name)
    {
        QDBusMessage get = QDBusMessage::createMethodCall(
            item, kItemPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << kItemInterface << name;
        QDBusPendingCall pending = watcher->bus().asyncCall(get);
        if (!test::waitUntil([&] { return pending.isFinished(); }, kTimeoutMs) ||
            pending.isError() || pending.reply().arguments().isEmpty()) {
            return {};
        }
        return pending.reply().arguments().first().value<QDBusVariant>().variant();
    }

    QList<Pixmap> iconPixmaps()
    {
        QList<Pixmap> pixmaps;
        const QVariant value = property(QStringLiteral("IconPixmap"));
        if (!value.canConvert<QDBusArgument>()) {
            return pixmaps;
        }
        const auto argument = value.value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            Pixmap pixmap;
            argument.beginStructure();
            argument >> pixmap.width >> pixmap.height >> pixmap.argb;
            argument.endStructure();
            pixmaps.append(pixmap);
        }
        argument.endArray();
        return pixmaps;
    }

    // The panel window's frame in the X server's coordinates, once it is
    // open and showing the first-run hint.
    std::optional<QRect> openPanel()
    {
        std::optional<QRect> frame;
        test::waitUntil(
            [&] {
                frame = panelFrame();
                return frame && frame->height() == kHintPanelHeight && frame->width() == 280;
            },
            kTimeoutMs);
        return frame;
    }

    std::optional<QRect> panelFrame() const
    {
        const QString ids = server.output(
            QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--name"), QStringLiteral("^Zarvo$")});
        for (const QString& id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString shell =
                server.output(QStringLiteral("xdotool"),
                              {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
            const auto value = [&](const char* key) {
                const QRegularExpression line(
                    QStringLiteral("^%1=(-?\\d+)$").arg(QLatin1String(key)),
                    QRegularExpression::MultilineOption);
                return line.match(shell).captured(1).toInt();
            };
            return QRect(value("X"), value("Y"), value("WIDTH"), value("HEIGHT"));
        }
        return std::nullopt;
    }

    bool panelClosed() const { return !panelFrame().has_value(); }

    void screenshot(const QString& name) const
    {
        const QString dir = QStringLiteral(ZARVO_ARTEFACTS_DIR);
        QDir().mkpath(dir);
        server.run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                              dir + QLatin1Char('/') + name});
    }

    test::XvfbServer server{QSize(1440, 900)};
    QTemporaryDir home;
    QTemporaryDir runtime;
    QTemporaryDir resources;
    std::unique_ptr<WatcherStandIn> watcher;
    std::unique_ptr<QProcess> app;
    QString item;
};

TEST_F(StatusNotifierTest, TheRegisteredItemIsOursUnderItsOwnName)
{
    EXPECT_TRUE(item.startsWith(QStringLiteral("org.kde.StatusNotifierItem-")))
        << item.toStdString();
    EXPECT_EQ(property(QStringLiteral("Id")).toString(), QStringLiteral("zarvo"));
    EXPECT_EQ(property(QStringLiteral("Status")).toString(), QStringLiteral("Active"));
    EXPECT_EQ(property(QStringLiteral("ItemIsMenu")).toBool(), false);
}

// The host's point is where the icon was clicked: the panel hangs from the
// top bar under x 1200, and stands on the bottom bar above x 300, growing
// upwards for the hint. No bar reserves room here, so both are taken to be
// 22 high.
TEST_F(StatusNotifierTest, ThePanelHangsFromThePointTheHostSends)
{
    click(QStringLiteral("Activate"), 1200, 10);
    const std::optional<QRect> top = openPanel();
    ASSERT_TRUE(top.has_value()) << "the panel did not open";
    EXPECT_EQ(*top, QRect(1060, 22, 280, kHintPanelHeight));
    click(QStringLiteral("Activate"), 1200, 10);
    ASSERT_TRUE(test::waitUntil([&] { return panelClosed(); }, kTimeoutMs));

    click(QStringLiteral("Activate"), 300, 890);
    const std::optional<QRect> bottom = openPanel();
    ASSERT_TRUE(bottom.has_value()) << "the panel did not open";
    EXPECT_EQ(*bottom, QRect(160, 900 - 22 - kHintPanelHeight, 280, kHintPanelHeight))
        << "standing on the bottom bar";
    EXPECT_TRUE(QRect(0, 0, 1440, 900).contains(*bottom));
    screenshot(QStringLiteral("panel-above-bottom-bar.png"));
}

TEST_F(StatusNotifierTest, AWidgetRelativePointDoesNotPutThePanelInTheCorner)
{
    // waybar's kind of point; the pointer rests in the middle of the screen.
    server.run(QStringLiteral("xdotool"),
               {QStringLiteral("mousemove"), QStringLiteral("720"), QStringLiteral("450")});
    click(QStringLiteral("Activate"), 5, 13);
    const std::optional<QRect> frame = openPanel();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(*frame, QRect(580, 22, 280, kHintPanelHeight)) << "the fallback place, top centre";
}

TEST_F(StatusNotifierTest, ServesTheIconPlainOrHighlightedAndTheToolTip)
{
    const QVariant tip = property(QStringLiteral("ToolTip"));
    ASSERT_TRUE(tip.canConvert<QDBusArgument>());
    QString iconName;
    QString title;
    QString description;
    const auto argument = tip.value<QDBusArgument>();
    argument.beginStructure();
    argument >> iconName;
    argument.beginArray();
    while (!argument.atEnd()) {
        int w = 0;
        int h = 0;
        QByteArray bytes;
        argument.beginStructure();
        argument >> w >> h >> bytes;
        argument.endStructure();
    }
    argument.endArray();
    argument >> title >> description;
    argument.endStructure();
    EXPECT_EQ(title, QStringLiteral("Zarvo"));

    const QList<Pixmap> plain = iconPixmaps();
    ASSERT_FALSE(plain.isEmpty());
    for (const Pixmap& p : plain) {
        EXPECT_GT(p.width, 0);
        EXPECT_EQ(p.argb.size(), qsizetype(p.width) * p.height * 4) << "ARGB32, 4 bytes a pixel";
    }
    // Network byte order: alpha first. The icon has opaque pixels somewhere.
    bool opaque = false;
    for (qsizetype i = 0; i < plain.first().argb.size(); i += 4) {
        opaque = opaque || quint8(plain.first().argb[i]) == 0xff;
    }
    EXPECT_TRUE(opaque);

    // While the panel is open the icon is highlighted.
    click(QStringLiteral("Activate"), 1200, 10);
    ASSERT_TRUE(openPanel().has_value());
    ASSERT_TRUE(test::waitUntil(
        [&] {
            const QList<Pixmap> now = iconPixmaps();
            return !now.isEmpty() && now.first().argb != plain.first().argb;
        },
        kTimeoutMs))
        << "the highlighted icon was never served";
}

// A right click on such a host asks for the item's menu at the point.
TEST_F(StatusNotifierTest, ContextMenuShowsTheMenuAtThePoint)
{
    const auto visibleWindows = [&] {
        return server
            .output(QStringLiteral("xdotool"),
                    {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--class"), QStringLiteral("zarvo")})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    ASSERT_TRUE(visibleWindows().isEmpty());
    click(QStringLiteral("ContextMenu"), 1200, 10);
    QStringList shown;
    ASSERT_TRUE(test::waitUntil(
        [&] {
            shown = visibleWindows();
            return !shown.isEmpty();
        },
        kTimeoutMs))
        << "no menu came up";
    const QString shell =
        server.output(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"),
                                                  QStringLiteral("--shell"), shown.first()});
    EXPECT_TRUE(shell.contains(QStringLiteral("X=1200\n")) &&
                shell.contains(QStringLiteral("Y=10\n")))
        << shell.toStdString();
    EXPECT_TRUE(panelClosed()) << "a right click here is not a toggle";
}

// Hosts that draw the item's menu themselves (GNOME's AppIndicator
// extension) read it as a com.canonical.dbusmenu layout and send "clicked".
TEST_F(StatusNotifierTest, TheMenuIsServedToHostsThatDrawItAndOpensThePanel)
{
    const QVariant path = property(QStringLiteral("Menu"));
    ASSERT_TRUE(path.canConvert<QDBusObjectPath>());
    const QString menuPath = path.value<QDBusObjectPath>().path();
    const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");

    QDBusMessage getLayout =
        QDBusMessage::createMethodCall(item, menuPath, menuInterface, QStringLiteral("GetLayout"));
    getLayout << 0 << -1 << QStringList();
    QDBusPendingCall pending = watcher->bus().asyncCall(getLayout);
    ASSERT_TRUE(test::waitUntil([&] { return pending.isFinished(); }, kTimeoutMs));
    ASSERT_FALSE(pending.isError()) << pending.error().message().toStdString();
    ASSERT_EQ(pending.reply().arguments().size(), 2);
    const auto layout = pending.reply().arguments().at(1).value<QDBusArgument>();
    QStringList labels;
    QList<int> ids;
    int rootId = -1;
    QVariantMap rootProperties;
    layout.beginStructure();
    layout >> rootId >> rootProperties;
    layout.beginArray();
    while (!layout.atEnd()) {
        QDBusVariant child;
        layout >> child;
        const auto entry = child.variant().value<QDBusArgument>();
        int id = 0;
        QVariantMap properties;
        entry.beginStructure();
        entry >> id >> properties;
        entry.endStructure();
        ids << id;
        labels << (properties.value(QStringLiteral("type")).toString() == QLatin1String("separator")
                       ? QStringLiteral("-")
                       : properties.value(QStringLiteral("label")).toString());
    }
    layout.endArray();
    layout.endStructure();
    EXPECT_EQ(rootId, 0);
    EXPECT_EQ(labels,
              (QStringList{QStringLiteral("Open Zarvo"), QStringLiteral("Add Project\u2026"),
                           QStringLiteral("Preferences\u2026"), QStringLiteral("-"),
                           QStringLiteral("Quit")}));

    ASSERT_FALSE(ids.isEmpty());
    QDBusMessage event =
        QDBusMessage::createMethodCall(item, menuPath, menuInterface, QStringLiteral("Event"));
    event << ids.first() << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0)) << 0u;
    QDBusPendingCall clicked = watcher->bus().asyncCall(event);
    ASSERT_TRUE(test::waitUntil([&] { return clicked.isFinished(); }, kTimeoutMs));
    ASSERT_FALSE(clicked.isError()) << clicked.error().message().toStdString();
    EXPECT_TRUE(openPanel().has_value()) << "\"Open Zarvo\" did not open the panel";
}

TEST_F(StatusNotifierTest, TheItemRegistersAgainWhenTheWatcherRestarts)
{
    watcher.reset();
    watcher = std::make_unique<WatcherStandIn>(sharedBus().address());
    ASSERT_TRUE(watcher->registered());
    ASSERT_TRUE(test::waitUntil([&] { return !watcher->items().isEmpty(); }, kTimeoutMs))
        << "the item did not register with the new watcher";
    EXPECT_EQ(watcher->items().first(), item);
}

} // namespace
} // namespace zarvo

#include "statusnotifier_test.moc"
