#include "support/notificationserver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QUuid>

namespace zarvo::test {

NotificationServer::NotificationServer(const QString& address)
    : connectionName_(QStringLiteral("notification-server-") +
                      QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName_);
    registered_ = bus.isConnected() &&
                  bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                     QDBusConnection::ExportAllSlots) &&
                  bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

NotificationServer::~NotificationServer()
{
    QDBusConnection bus(connectionName_);
    bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    QDBusConnection::disconnectFromBus(connectionName_);
}

uint NotificationServer::Notify(const QString& appName, uint /*replacesId*/,
                                const QString& /*appIcon*/, const QString& summary,
                                const QString& body, const QStringList& /*actions*/,
                                const QVariantMap& /*hints*/, int /*expireTimeout*/)
{
    notifications_.append({appName, summary, body});
    Q_EMIT notified();
    return static_cast<uint>(notifications_.size());
}

QStringList NotificationServer::GetCapabilities()
{
    return {QStringLiteral("body")};
}

QString NotificationServer::GetServerInformation(QString& vendor, QString& version,
                                                 QString& specVersion)
{
    vendor = QStringLiteral("zarvo tests");
    version = QStringLiteral("1");
    specVersion = QStringLiteral("1.2");
    return QStringLiteral("notification stand-in");
}

void NotificationServer::CloseNotification(uint /*id*/) {}

} // namespace zarvo::test
