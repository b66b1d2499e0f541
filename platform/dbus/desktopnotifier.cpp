#include "platform/dbus/desktopnotifier.h"

#include "platform/diagnostics.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace zarvo::dbus {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

class DesktopNotifier final : public Notifier {
public:
    explicit DesktopNotifier(NotificationFallback fallback) : fallback_(std::move(fallback)) {}

    void notify(const QString& summary, const QString& body) override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            fallBack(summary, body, QStringLiteral("no session bus"));
            return;
        }
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
        // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
        // (-1: the server's default).
        call << QStringLiteral("Zarvo") << 0u << QStringLiteral("zarvo") << summary << body
             << QStringList() << QVariantMap() << -1;
        // Owned by context_, so an answer after this notifier is gone finds nothing.
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), &context_);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [this, summary, body](QDBusPendingCallWatcher* finished) {
                             const QDBusPendingReply<uint> reply = *finished;
                             if (reply.isError()) {
                                 fallBack(summary, body, reply.error().message());
                             }
                             finished->deleteLater();
                         });
    }

private:
    void fallBack(const QString& summary, const QString& body, const QString& why)
    {
        logLine(QStringLiteral("No desktop notification (%1)").arg(why));
        if (fallback_) {
            fallback_(summary, body);
        }
    }

    NotificationFallback fallback_;
    QObject context_;
};

} // namespace

std::unique_ptr<Notifier> createDesktopNotifier(NotificationFallback fallback)
{
    return std::make_unique<DesktopNotifier>(std::move(fallback));
}

} // namespace zarvo::dbus
