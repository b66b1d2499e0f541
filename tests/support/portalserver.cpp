#include "support/portalserver.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTimer>
#include <QUuid>

namespace zarvo::test {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kGlobalShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr uint kVersion = 1;
constexpr uint kCancelled = 1;

// The caller's unique name as the portal puts it into object paths.
QString senderPart(const QDBusMessage& message)
{
    QString sender = message.service().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return sender;
}

QString token(const QVariantMap& options, const QString& key)
{
    return options.value(key).toString();
}

// The portal's shortcut list, a(sa{sv}), read from a call's argument.
QList<PortalServer::Shortcut> readShortcuts(const QVariant& value)
{
    QList<PortalServer::Shortcut> shortcuts;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        PortalServer::Shortcut shortcut;
        QVariantMap properties;
        argument.beginStructure();
        argument >> shortcut.id >> properties;
        argument.endStructure();
        shortcut.description = properties.value(QStringLiteral("description")).toString();
        shortcut.preferredTrigger =
            properties.value(QStringLiteral("preferred_trigger")).toString();
        shortcuts.append(shortcut);
    }
    argument.endArray();
    return shortcuts;
}

// One entry of an answered shortcut list, (sa{sv}).
struct Answered {
    QString id;
    QVariantMap properties;
};

} // namespace
} // namespace zarvo::test

Q_DECLARE_METATYPE(zarvo::test::Answered)

namespace zarvo::test {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const Answered& answered)
{
    argument.beginStructure();
    argument << answered.id << answered.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Answered& answered)
{
    argument.beginStructure();
    argument >> answered.id >> answered.properties;
    argument.endStructure();
    return argument;
}

// (id, {"description", "trigger_description"}) entries as a(sa{sv}).
QVariant writeShortcuts(const QList<Answered>& shortcuts)
{
    static const bool registered = [] {
        qDBusRegisterMetaType<Answered>();
        qDBusRegisterMetaType<QList<Answered>>();
        return true;
    }();
    Q_UNUSED(registered);
    return QVariant::fromValue(shortcuts);
}

} // namespace

PortalServer::PortalServer(const QString& address, bool globalShortcuts)
    : connectionName_(QStringLiteral("portal-server-") +
                      QUuid::createUuid().toString(QUuid::WithoutBraces)),
      globalShortcuts_(globalShortcuts)
{
    QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName_);
    registered_ = bus.isConnected() &&
                  bus.registerVirtualObject(kPath, this, QDBusConnection::SubPath) &&
                  bus.registerService(kService);
}

PortalServer::~PortalServer()
{
    QDBusConnection bus(connectionName_);
    bus.unregisterService(kService);
    bus.unregisterObject(kPath, QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(connectionName_);
}

QString PortalServer::introspect(const QString&) const
{
    return QString();
}

QString PortalServer::triggerFor(const Shortcut& shortcut) const
{
    const auto it = chosen_.find(shortcut.id);
    return it != chosen_.end() ? it->second : shortcut.preferredTrigger;
}

void PortalServer::respond(const QDBusMessage& call, const QDBusConnection& connection,
                           uint response, const QVariantMap& results)
{
    const QVariantMap options = qdbus_cast<QVariantMap>(call.arguments().last());
    const QString request =
        QStringLiteral("%1/request/%2/%3")
            .arg(kPath, senderPart(call), token(options, QStringLiteral("handle_token")));
    connection.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    // The answer comes after the reply, as from a portal that asked the user.
    QDBusMessage signal = QDBusMessage::createSignal(request, kRequest, QStringLiteral("Response"));
    signal << response << results;
    const QString name = connectionName_;
    QTimer::singleShot(0, this, [name, signal] { QDBusConnection(name).send(signal); });
}

bool PortalServer::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QString member = message.member();
    if (message.interface() == kProperties && member == QLatin1String("Get")) {
        if (!globalShortcuts_ || message.arguments().value(0).toString() != kGlobalShortcuts) {
            connection.send(
                message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                         QStringLiteral("No such interface")));
            return true;
        }
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(kVersion))));
        return true;
    }
    if (message.interface() == kSession && member == QLatin1String("Close")) {
        closed_.append(message.path());
        connection.send(message.createReply());
        return true;
    }
    if (!globalShortcuts_ || message.interface() != kGlobalShortcuts) {
        connection.send(
            message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                     QStringLiteral("No such method")));
        return true;
    }
    if (member == QLatin1String("CreateSession")) {
        const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().value(0));
        ++sessionsCreated_;
        const QString session = QStringLiteral("%1/session/%2/%3")
                                    .arg(kPath, senderPart(message),
                                         token(options, QStringLiteral("session_handle_token")));
        QVariantMap results;
        results.insert(QStringLiteral("session_handle"), session);
        respond(message, connection, 0, results);
        return true;
    }
    if (member == QLatin1String("BindShortcuts")) {
        const QList<QVariant> arguments = message.arguments();
        Bind bind;
        bind.session = arguments.value(0).value<QDBusObjectPath>().path();
        bind.shortcuts = readShortcuts(arguments.value(1));
        binds_.append(bind);
        QVariantMap results;
        if (!refuse_) {
            QList<Answered> answered;
            for (const Shortcut& shortcut : bind.shortcuts) {
                QVariantMap properties;
                properties.insert(QStringLiteral("description"), shortcut.description);
                properties.insert(QStringLiteral("trigger_description"), triggerFor(shortcut));
                answered.append({shortcut.id, properties});
            }
            results.insert(QStringLiteral("shortcuts"), writeShortcuts(answered));
        }
        respond(message, connection, refuse_ ? kCancelled : 0, results);
        QTimer::singleShot(0, this, [this] { Q_EMIT bound(); });
        return true;
    }
    connection.send(
        message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                 QStringLiteral("No such method")));
    return true;
}

void PortalServer::activate(const QString& id, const QString& token)
{
    if (binds_.isEmpty()) {
        return;
    }
    QDBusMessage signal =
        QDBusMessage::createSignal(kPath, kGlobalShortcuts, QStringLiteral("Activated"));
    QVariantMap options;
    if (!token.isEmpty()) {
        options.insert(QStringLiteral("activation_token"), token);
    }
    signal << QVariant::fromValue(QDBusObjectPath(binds_.last().session)) << id << qulonglong(0)
           << options;
    QDBusConnection(connectionName_).send(signal);
}

void PortalServer::changeTrigger(const QString& id, const QString& triggerDescription)
{
    if (binds_.isEmpty()) {
        return;
    }
    chosen_[id] = triggerDescription;
    QVariantMap properties;
    properties.insert(QStringLiteral("description"), QStringLiteral("changed"));
    properties.insert(QStringLiteral("trigger_description"), triggerDescription);
    QDBusMessage signal =
        QDBusMessage::createSignal(kPath, kGlobalShortcuts, QStringLiteral("ShortcutsChanged"));
    signal << QVariant::fromValue(QDBusObjectPath(binds_.last().session))
           << writeShortcuts({{id, properties}});
    QDBusConnection(connectionName_).send(signal);
}

} // namespace zarvo::test
