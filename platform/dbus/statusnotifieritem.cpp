#include "platform/dbus/statusnotifieritem.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QScreen>
#include <QVariantMap>
#include <QtEndian>

#include <unistd.h>

namespace zarvo::dbus {

// One picture as the protocol carries it: ARGB32 pixels in network byte order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray bytes;
};
using SniPixmaps = QList<SniPixmap>;

// The tool tip: icon name, icon pixmaps, title, description.
struct SniToolTip {
    QString iconName;
    SniPixmaps pixmaps;
    QString title;
    QString description;
};

// One entry of a com.canonical.dbusmenu layout, (ia{sv}av): its id, its
// properties and its children.
struct MenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<MenuLayout> children;
};

// An entry's properties, (ia{sv}).
struct MenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
using MenuItemPropertiesList = QList<MenuItemProperties>;

} // namespace zarvo::dbus

Q_DECLARE_METATYPE(zarvo::dbus::SniPixmap)
Q_DECLARE_METATYPE(zarvo::dbus::SniToolTip)
Q_DECLARE_METATYPE(zarvo::dbus::MenuLayout)
Q_DECLARE_METATYPE(zarvo::dbus::MenuItemProperties)

namespace zarvo::dbus {

QDBusArgument& operator<<(QDBusArgument& out, const SniPixmap& pixmap)
{
    out.beginStructure();
    out << pixmap.width << pixmap.height << pixmap.bytes;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, SniPixmap& pixmap)
{
    in.beginStructure();
    in >> pixmap.width >> pixmap.height >> pixmap.bytes;
    in.endStructure();
    return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const SniToolTip& tip)
{
    out.beginStructure();
    out << tip.iconName << tip.pixmaps << tip.title << tip.description;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, SniToolTip& tip)
{
    in.beginStructure();
    in >> tip.iconName >> tip.pixmaps >> tip.title >> tip.description;
    in.endStructure();
    return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const MenuLayout& layout)
{
    out.beginStructure();
    out << layout.id << layout.properties;
    out.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const MenuLayout& child : layout.children) {
        out << QDBusVariant(QVariant::fromValue(child));
    }
    out.endArray();
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, MenuLayout& layout)
{
    in.beginStructure();
    in >> layout.id >> layout.properties;
    in.beginArray();
    while (!in.atEnd()) {
        QDBusVariant child;
        in >> child;
        layout.children.append(qvariant_cast<MenuLayout>(child.variant()));
    }
    in.endArray();
    in.endStructure();
    return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const MenuItemProperties& item)
{
    out.beginStructure();
    out << item.id << item.properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, MenuItemProperties& item)
{
    in.beginStructure();
    in >> item.id >> item.properties;
    in.endStructure();
    return in;
}

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kWatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<SniPixmaps>();
        qDBusRegisterMetaType<SniToolTip>();
        qDBusRegisterMetaType<MenuLayout>();
        qDBusRegisterMetaType<MenuItemProperties>();
        qDBusRegisterMetaType<MenuItemPropertiesList>();
        return true;
    }();
    Q_UNUSED(registered);
}

SniPixmap pixmapOf(const QImage& picture)
{
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    SniPixmap pixmap{argb.width(), argb.height(), {}};
    pixmap.bytes.resize(qsizetype(argb.width()) * argb.height() * 4);
    auto* out = reinterpret_cast<quint32*>(pixmap.bytes.data());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            *out++ = qToBigEndian(line[x]);
        }
    }
    return pixmap;
}

// Hosts send points in the screen's device pixels; Qt's global coordinates
// keep each screen's top-left corner and divide the rest by its scale. A point
// on no screen is left as it came (a host that sends its own widget's
// coordinates): the panel's geometry judges it.
QPoint logicalFromDevice(QPoint device)
{
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect logical = screen->geometry();
        const qreal scale = screen->devicePixelRatio();
        const QRect inDevicePixels(logical.topLeft(), (QSizeF(logical.size()) * scale).toSize());
        if (inDevicePixels.contains(device)) {
            const QPointF offset = QPointF(device - logical.topLeft()) / scale;
            return logical.topLeft() + offset.toPoint();
        }
    }
    return device;
}

class StatusNotifierItem;

// org.kde.StatusNotifierItem on the item's object.
class ItemAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(zarvo::dbus::SniPixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyName)
    Q_PROPERTY(zarvo::dbus::SniPixmaps OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ emptyName)
    Q_PROPERTY(zarvo::dbus::SniPixmaps AttentionIconPixmap READ iconPixmap)
    Q_PROPERTY(QString AttentionMovieName READ emptyName)
    Q_PROPERTY(zarvo::dbus::SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
public:
    explicit ItemAdaptor(StatusNotifierItem* item);

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const;
    QString title() const;
    QString status() const;
    int windowId() const { return 0; }
    QString iconName() const { return QString(); }
    SniPixmaps iconPixmap() const;
    QString emptyName() const { return QString(); }
    SniPixmaps noPixmaps() const { return {}; }
    SniToolTip toolTip() const;
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(kMenuPath); }

public Q_SLOTS:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    StatusNotifierItem* item_;
};

// The item's menu, drawn by hosts that show it themselves: a flat list of
// entries with ids 1, 2, … under the root 0 (com.canonical.dbusmenu, the
// parts hosts use: the layout, the properties, the "clicked" event).
class MenuAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)
public:
    explicit MenuAdaptor(QObject* menu, StatusNotifierItem* item)
        : QDBusAbstractAdaptor(menu), item_(item)
    {
    }

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

    // After the entries changed.
    void layoutChanged()
    {
        ++revision_;
        Q_EMIT LayoutUpdated(revision_, 0);
    }

public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   zarvo::dbus::MenuLayout& layout);
    zarvo::dbus::MenuItemPropertiesList GetGroupProperties(const QList<int>& ids,
                                                           const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    bool AboutToShow(int id);

Q_SIGNALS:
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    QVariantMap propertiesOf(int id) const;

    StatusNotifierItem* item_;
    uint revision_ = 1;
};

class StatusNotifierItem final : public StatusItem {
    Q_OBJECT
public:
    StatusNotifierItem(QString id, QString title)
        : bus_(QDBusConnection::sessionBus()), id_(std::move(id)), title_(std::move(title)),
          service_(QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(::getpid())),
          watcher_(kWatcherService, bus_, QDBusServiceWatcher::WatchForRegistration)
    {
        registerTypes();
        adaptor_ = new ItemAdaptor(this);
        menuAdaptor_ = new MenuAdaptor(&menuObject_, this);
        // The watcher came back (it restarted, or the desktop's panel did):
        // it knows nothing of us any more.
        connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
            if (shown_) {
                registerWithWatcher();
            }
        });
    }

    ~StatusNotifierItem() override { hide(); }

    void show() override
    {
        if (shown_ || !bus_.isConnected()) {
            return;
        }
        shown_ = true;
        bus_.registerObject(kItemPath, this, QDBusConnection::ExportAdaptors);
        bus_.registerObject(kMenuPath, &menuObject_, QDBusConnection::ExportAdaptors);
        bus_.registerService(service_);
        registerWithWatcher();
        Q_EMIT adaptor_->NewStatus(adaptor_->status());
    }

    void hide() override
    {
        if (!shown_) {
            return;
        }
        shown_ = false;
        // The watcher forgets an item whose name leaves the bus.
        bus_.unregisterService(service_);
        bus_.unregisterObject(kItemPath);
        bus_.unregisterObject(kMenuPath);
    }

    bool isVisible() const override { return shown_; }

    void setIcon(const QImage& picture) override
    {
        pixmaps_.clear();
        if (!picture.isNull()) {
            pixmaps_.append(pixmapOf(picture));
            // Hosts pick the size closest to theirs: also the picture at one
            // pixel per point.
            const QSize points = picture.deviceIndependentSize().toSize();
            if (points != picture.size() && !points.isEmpty()) {
                pixmaps_.append(pixmapOf(
                    picture.scaled(points, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
            }
        }
        Q_EMIT adaptor_->NewIcon();
        Q_EMIT adaptor_->NewAttentionIcon();
    }

    void setToolTip(const QString& text) override
    {
        toolTip_ = text;
        Q_EMIT adaptor_->NewToolTip();
    }

    QRect geometry() const override { return {}; }
    bool showsContextMenus() const override { return true; }
    bool showMessage(const QString&, const QString&) override { return false; }
    void setMenuEntries(const QStringList& titles) override
    {
        menuEntries_ = titles;
        menuAdaptor_->layoutChanged();
    }
    const QStringList& menuEntries() const { return menuEntries_; }
    // Entry ID of the menu (1 for the first) was chosen in the host's menu.
    void menuEntryChosen(int id) { Q_EMIT menuEntryTriggered(id - 1); }

    const QString& id() const { return id_; }
    const QString& title() const { return title_; }
    const QString& toolTip() const { return toolTip_; }
    const SniPixmaps& pixmaps() const { return pixmaps_; }

    // From the adaptor.
    void activate(QPoint point) { Q_EMIT activated(logicalFromDevice(point)); }
    void secondaryActivate(QPoint point) { Q_EMIT secondaryActivated(logicalFromDevice(point)); }
    void contextMenu(QPoint point) { Q_EMIT contextMenuRequested(logicalFromDevice(point)); }

private:
    void registerWithWatcher()
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kWatcherService, kWatcherPath, kWatcherInterface,
                                           QStringLiteral("RegisterStatusNotifierItem"));
        call << service_;
        // No answer is awaited: a watcher that is not there yet registers
        // us when its name appears.
        bus_.asyncCall(call);
    }

    QDBusConnection bus_;
    QString id_;
    QString title_;
    QString service_;
    QString toolTip_;
    SniPixmaps pixmaps_;
    QDBusServiceWatcher watcher_;
    ItemAdaptor* adaptor_ = nullptr; // owned as a child
    QObject menuObject_;
    MenuAdaptor* menuAdaptor_ = nullptr; // owned by menuObject_
    QStringList menuEntries_;
    bool shown_ = false;
};

QVariantMap MenuAdaptor::propertiesOf(int id) const
{
    const QStringList& titles = item_->menuEntries();
    if (id == 0) {
        return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
    }
    if (id < 1 || id > titles.size()) {
        return {};
    }
    const QString& title = titles[id - 1];
    if (title.isEmpty()) {
        return {{QStringLiteral("type"), QStringLiteral("separator")}};
    }
    return {{QStringLiteral("label"), title},
            {QStringLiteral("enabled"), true},
            {QStringLiteral("visible"), true}};
}

uint MenuAdaptor::GetLayout(int parentId, int recursionDepth, const QStringList& /*propertyNames*/,
                            MenuLayout& layout)
{
    layout = {parentId, propertiesOf(parentId), {}};
    if (parentId == 0 && recursionDepth != 0) {
        for (int id = 1; id <= item_->menuEntries().size(); ++id) {
            layout.children.append({id, propertiesOf(id), {}});
        }
    }
    return revision_;
}

MenuItemPropertiesList MenuAdaptor::GetGroupProperties(const QList<int>& ids,
                                                       const QStringList& /*propertyNames*/)
{
    MenuItemPropertiesList list;
    for (const int id : ids) {
        list.append({id, propertiesOf(id)});
    }
    return list;
}

QDBusVariant MenuAdaptor::GetProperty(int id, const QString& name)
{
    return QDBusVariant(propertiesOf(id).value(name));
}

void MenuAdaptor::Event(int id, const QString& eventId, const QDBusVariant& /*data*/,
                        uint /*timestamp*/)
{
    if (eventId == QLatin1String("clicked") && id > 0) {
        item_->menuEntryChosen(id);
    }
}

bool MenuAdaptor::AboutToShow(int /*id*/)
{
    return false; // the entries never change while shown
}

ItemAdaptor::ItemAdaptor(StatusNotifierItem* item) : QDBusAbstractAdaptor(item), item_(item) {}

QString ItemAdaptor::id() const
{
    return item_->id();
}

QString ItemAdaptor::title() const
{
    return item_->title();
}

QString ItemAdaptor::status() const
{
    return item_->isVisible() ? QStringLiteral("Active") : QStringLiteral("Passive");
}

SniPixmaps ItemAdaptor::iconPixmap() const
{
    return item_->pixmaps();
}

SniToolTip ItemAdaptor::toolTip() const
{
    return {QString(), {}, item_->toolTip(), QString()};
}

void ItemAdaptor::Activate(int x, int y)
{
    item_->activate({x, y});
}

void ItemAdaptor::SecondaryActivate(int x, int y)
{
    item_->secondaryActivate({x, y});
}

void ItemAdaptor::ContextMenu(int x, int y)
{
    item_->contextMenu({x, y});
}

void ItemAdaptor::Scroll(int /*delta*/, const QString& /*orientation*/)
{
    // The icon does nothing on scrolling.
}

} // namespace

bool statusNotifierHostPresent()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(kWatcherService).value()) {
        return false;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kWatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
    constexpr int kTimeoutMs = 2000;
    const QDBusMessage reply = bus.call(get, QDBus::Block, kTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

std::unique_ptr<StatusItem> createStatusNotifierItem(const QString& id, const QString& title)
{
    return std::make_unique<StatusNotifierItem>(id, title);
}

} // namespace zarvo::dbus

#include "statusnotifieritem.moc"
