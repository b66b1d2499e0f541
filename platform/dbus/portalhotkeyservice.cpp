#include "platform/dbus/portalhotkeyservice.h"

#include "platform/diagnostics.h"
#include "shortcut/shortcuttrigger.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QVariantMap>

#include <algorithm>
#include <map>

namespace zarvo::dbus {
namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kGlobalShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// The portal is started on demand by the bus: its first answer may take a while.
constexpr int kAvailabilityTimeoutMs = 3000;

// What a Request's Response reports (org.freedesktop.portal.Request).
constexpr uint kResponseSuccess = 0;

// One entry of the portal's shortcut lists, a(sa{sv}): the id and its
// properties ("description", "preferred_trigger", "trigger_description").
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcuts = QList<PortalShortcut>;

} // namespace
} // namespace zarvo::dbus

Q_DECLARE_METATYPE(zarvo::dbus::PortalShortcut)

namespace zarvo::dbus {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<PortalShortcuts>();
        return true;
    }();
    Q_UNUSED(registered);
}

// The activation token in the options of an Activated signal, or nothing.
QByteArray activationToken(const QList<QVariant>& arguments)
{
    if (arguments.size() < 4) {
        return {};
    }
    return qdbus_cast<QVariantMap>(arguments[3])
        .value(QStringLiteral("activation_token"))
        .toString()
        .toUtf8();
}

// A session handle or request path, which portals send as a string or as an
// object path.
QString pathText(const QVariant& value)
{
    if (value.userType() == qMetaTypeId<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value.toString();
}

class PortalHotKeyService final : public HotKeyService {
    Q_OBJECT
public:
    PortalHotKeyService(QString description, bool available)
        : description_(std::move(description)), available_(available)
    {
        registerTypes();
        if (!available_) {
            return;
        }
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.connect(kPortalService, kPortalPath, kGlobalShortcuts, QStringLiteral("Activated"),
                    this, SLOT(portalActivated(QDBusMessage)));
        bus.connect(kPortalService, kPortalPath, kGlobalShortcuts,
                    QStringLiteral("ShortcutsChanged"), this,
                    SLOT(portalShortcutsChanged(QDBusMessage)));
    }

    ~PortalHotKeyService() override { closeSession(); }

    HotKeyResult registerShortcut(HotKeyId id, quint64 keyCode, quint64 modifiers) override
    {
        shortcuts_.erase(id);
        if (!available_) {
            return HotKeyResult::failed(HotKeyFailure::unsupported);
        }
        const QString trigger = portalTrigger(keyCode, modifiers);
        if (trigger.isEmpty()) {
            return HotKeyResult::failed(HotKeyFailure::invalid);
        }
        for (const auto& [other, otherTrigger] : shortcuts_) {
            if (otherTrigger == trigger) {
                return HotKeyResult::failed(HotKeyFailure::taken);
            }
        }
        shortcuts_[id] = trigger;
        scheduleBind();
        return HotKeyResult::success();
    }

    void unregisterShortcut(HotKeyId id) override
    {
        if (shortcuts_.erase(id) != 0) {
            scheduleBind();
        }
    }

    // The desktop resolves conflicts itself, in its own dialog.
    bool canTellTaken() const override { return false; }
    std::optional<bool> isHeldByAnotherClient(quint64, quint64) override { return std::nullopt; }

private Q_SLOTS:
    void portalActivated(const QDBusMessage& message)
    {
        const QList<QVariant> arguments = message.arguments();
        if (arguments.size() < 2 || session_.isEmpty() || pathText(arguments[0]) != session_) {
            return;
        }
        const QString portalId = arguments[1].toString();
        const auto pressed =
            std::find_if(shortcuts_.begin(), shortcuts_.end(),
                         [&](const auto& entry) { return entry.second == portalId; });
        if (pressed == shortcuts_.end()) {
            return;
        }
        // Newer portals hand over an activation token with the press.
        if (const QByteArray token = activationToken(arguments); !token.isEmpty()) {
            Q_EMIT activationTokenGiven(token);
        }
        Q_EMIT activated(pressed->first);
    }

    void portalShortcutsChanged(const QDBusMessage& message)
    {
        const QList<QVariant> arguments = message.arguments();
        if (arguments.size() < 2 || session_.isEmpty() || pathText(arguments[0]) != session_) {
            return;
        }
        applyBound(qdbus_cast<PortalShortcuts>(arguments[1]), false);
    }

    void requestAnswered(const QDBusMessage& message)
    {
        const auto it = requests_.find(message.path());
        if (it == requests_.end()) {
            return;
        }
        const Request request = it->second;
        requests_.erase(it);
        QDBusConnection::sessionBus().disconnect(kPortalService, message.path(), kRequest,
                                                 QStringLiteral("Response"), this,
                                                 SLOT(requestAnswered(QDBusMessage)));
        const QList<QVariant> arguments = message.arguments();
        const uint response = arguments.isEmpty() ? 2u : arguments[0].toUInt();
        const QVariantMap results =
            arguments.size() > 1 ? qdbus_cast<QVariantMap>(arguments[1]) : QVariantMap();
        if (request.generation != generation_) {
            // A bind that a newer one replaced: its session is not wanted.
            if (request.kind == Request::Kind::createSession && response == kResponseSuccess) {
                closeSessionAt(pathText(results.value(QStringLiteral("session_handle"))));
            }
            return;
        }
        if (response != kResponseSuccess) {
            logLine(QStringLiteral("The desktop portal did not bind the global shortcut "
                                   "(answer %1)")
                        .arg(response));
            failAll(HotKeyFailure::refused);
            return;
        }
        if (request.kind == Request::Kind::createSession) {
            session_ = pathText(results.value(QStringLiteral("session_handle")));
            if (session_.isEmpty()) {
                failAll(HotKeyFailure::refused);
                return;
            }
            bindShortcuts();
            return;
        }
        applyBound(qdbus_cast<PortalShortcuts>(results.value(QStringLiteral("shortcuts"))), true);
    }

private:
    struct Request {
        enum class Kind { createSession, bindShortcuts };
        Kind kind = Kind::createSession;
        quint64 generation = 0;
    };

    // Registrations come in pairs (the old one goes, the new one comes): the
    // portal is asked once both are made.
    void scheduleBind()
    {
        if (bindQueued_) {
            return;
        }
        bindQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            bindQueued_ = false;
            bind();
        });
    }

    // A session holds the shortcuts bound in it for as long as it lives, and
    // not every portal binds twice in one session: each change binds the
    // whole set in a new session.
    void bind()
    {
        ++generation_;
        closeSession();
        if (shortcuts_.empty()) {
            return;
        }
        const QString token = nextToken();
        QVariantMap options;
        options.insert(QStringLiteral("handle_token"), token);
        options.insert(QStringLiteral("session_handle_token"), nextToken());
        call(QStringLiteral("CreateSession"), {options}, token, Request::Kind::createSession);
    }

    void bindShortcuts()
    {
        PortalShortcuts shortcuts;
        for (const auto& [id, trigger] : shortcuts_) {
            QVariantMap properties;
            properties.insert(QStringLiteral("description"), description_);
            properties.insert(QStringLiteral("preferred_trigger"), trigger);
            shortcuts.append({trigger, properties});
        }
        const QString token = nextToken();
        QVariantMap options;
        options.insert(QStringLiteral("handle_token"), token);
        // No parent window: the panel is not open while the desktop asks.
        call(QStringLiteral("BindShortcuts"),
             {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts),
              QString(), options},
             token, Request::Kind::bindShortcuts);
    }

    // Calls METHOD, whose answer comes as the Response of the request
    // object named after TOKEN. The Response is listened for before the call
    // goes out, so that it cannot come first.
    void call(const QString& method, const QList<QVariant>& arguments, const QString& token,
              Request::Kind kind)
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QString sender = bus.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString expected = QStringLiteral("%1/request/%2/%3").arg(kPortalPath, sender, token);
        listenForResponse(expected, kind);
        QDBusMessage message =
            QDBusMessage::createMethodCall(kPortalService, kPortalPath, kGlobalShortcuts, method);
        message.setArguments(arguments);
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), this);
        const quint64 generation = generation_;
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, expected, kind, generation, method](QDBusPendingCallWatcher* finished) {
                    finished->deleteLater();
                    const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                    if (reply.isError()) {
                        requests_.erase(expected);
                        logLine(QStringLiteral("The desktop portal refused %1: %2")
                                    .arg(method, reply.error().message()));
                        if (generation == generation_) {
                            failAll(HotKeyFailure::refused);
                        }
                        return;
                    }
                    // Older portals name the request otherwise.
                    const QString path = reply.value().path();
                    if (path != expected && requests_.count(expected) != 0) {
                        requests_.erase(expected);
                        listenForResponse(path, kind, generation);
                    }
                });
    }

    void listenForResponse(const QString& path, Request::Kind kind)
    {
        listenForResponse(path, kind, generation_);
    }

    void listenForResponse(const QString& path, Request::Kind kind, quint64 generation)
    {
        requests_[path] = {kind, generation};
        QDBusConnection::sessionBus().connect(kPortalService, path, kRequest,
                                              QStringLiteral("Response"), this,
                                              SLOT(requestAnswered(QDBusMessage)));
    }

    // Reports what the desktop bound: its trigger text for each of ours, and,
    // when it answered a bind (COMPLETE), every one it left out as refused.
    void applyBound(const PortalShortcuts& bound, bool complete)
    {
        // Copied: a receiver may register or unregister.
        const std::map<HotKeyId, QString> shortcuts = shortcuts_;
        for (const auto& [id, ours] : shortcuts) {
            // WORKAROUND: clang 14 (the fuzzers' compiler) cannot capture a
            // structured binding in a lambda.
            const QString& trigger = ours;
            const auto it = std::find_if(bound.cbegin(), bound.cend(),
                                         [&](const PortalShortcut& s) { return s.id == trigger; });
            if (it != bound.cend()) {
                Q_EMIT triggerChanged(
                    id, it->properties.value(QStringLiteral("trigger_description")).toString());
            } else if (complete) {
                Q_EMIT registrationFailed(id, HotKeyFailure::refused);
            }
        }
    }

    void failAll(HotKeyFailure why)
    {
        const std::map<HotKeyId, QString> shortcuts = shortcuts_;
        for (const auto& [id, trigger] : shortcuts) {
            Q_EMIT registrationFailed(id, why);
        }
    }

    void closeSession()
    {
        closeSessionAt(session_);
        session_.clear();
    }

    void closeSessionAt(const QString& session)
    {
        if (session.isEmpty()) {
            return;
        }
        QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
            kPortalService, session, kSession, QStringLiteral("Close")));
    }

    QString nextToken() { return QStringLiteral("zarvo%1").arg(++tokenCounter_); }

    QString description_;
    bool available_;
    // The portal's id of each registration is its trigger: the same
    // combination keeps its id from one start to the next, so the desktop
    // remembers what the user made of it.
    std::map<HotKeyId, QString> shortcuts_;
    QString session_;
    std::map<QString, Request> requests_;
    quint64 generation_ = 0;
    quint64 tokenCounter_ = 0;
    bool bindQueued_ = false;
};

} // namespace

bool portalOffersGlobalShortcuts()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kProperties,
                                                      QStringLiteral("Get"));
    get << kGlobalShortcuts << QStringLiteral("version");
    // WORKAROUND: a plain blocking call would also block the answers of a
    // portal served from this very thread (the tests' stand-in); this one
    // keeps the event loop going while it waits.
    const QDBusMessage reply = bus.call(get, QDBus::BlockWithGui, kAvailabilityTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        logLine(QStringLiteral("The desktop portal offers no global shortcuts: %1")
                    .arg(reply.errorMessage()));
        return false;
    }
    return true;
}

std::unique_ptr<HotKeyService> createPortalHotKeyService(const QString& description)
{
    return std::make_unique<PortalHotKeyService>(description, portalOffersGlobalShortcuts());
}

} // namespace zarvo::dbus

#include "portalhotkeyservice.moc"
