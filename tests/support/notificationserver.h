#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace zarvo::test {

// A stand-in desktop notification server (org.freedesktop.Notifications) on
// the bus at ADDRESS, over a connection of its own, so that calls to it
// travel through the bus as they do to a real server. Keeps what it is sent.
class NotificationServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notification {
        QString appName;
        QString summary;
        QString body;
    };

    explicit NotificationServer(const QString& address);
    ~NotificationServer() override;

    // Whether the name and the object could be registered.
    bool registered() const { return registered_; }
    const QList<Notification>& notifications() const { return notifications_; }

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout);
    QStringList GetCapabilities();
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion);
    void CloseNotification(uint id);

Q_SIGNALS:
    // After a notification has been received.
    void notified();

private:
    QString connectionName_;
    bool registered_ = false;
    QList<Notification> notifications_;
};

} // namespace zarvo::test
