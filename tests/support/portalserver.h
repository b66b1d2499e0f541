#pragma once

#include <QDBusVirtualObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <map>

namespace zarvo::test {

// A stand-in desktop portal (org.freedesktop.portal.Desktop) on the bus at
// ADDRESS, over a connection of its own. With GLOBALSHORTCUTS it serves
// org.freedesktop.portal.GlobalShortcuts as a desktop that binds every
// shortcut to its preferred trigger without asking, unless told otherwise;
// without, it is a portal that lacks the interface. Keeps what it is asked.
class PortalServer final : public QDBusVirtualObject {
    Q_OBJECT
public:
    struct Shortcut {
        QString id;
        QString description;
        QString preferredTrigger;
    };
    struct Bind {
        QString session;
        QList<Shortcut> shortcuts;
    };

    PortalServer(const QString& address, bool globalShortcuts);
    ~PortalServer() override;

    bool registered() const { return registered_; }
    const QList<Bind>& binds() const { return binds_; }
    int sessionsCreated() const { return sessionsCreated_; }
    const QStringList& sessionsClosed() const { return closed_; }

    // The trigger text the desktop answers for ID from now on (as if the
    // user chose it in the desktop's dialog); by default the preferred one.
    void chooseTrigger(const QString& id, const QString& triggerDescription)
    {
        chosen_[id] = triggerDescription;
    }
    // The desktop's dialog is dismissed at the next binds.
    void refuseBinds(bool refuse) { refuse_ = refuse; }

    // The user presses the shortcut ID of the latest session; a portal that
    // hands out activation tokens sends TOKEN with the press.
    void activate(const QString& id, const QString& token = {});
    // The user rebinds ID in the desktop's settings.
    void changeTrigger(const QString& id, const QString& triggerDescription);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

Q_SIGNALS:
    // After a BindShortcuts call has been answered.
    void bound();

private:
    void respond(const QDBusMessage& call, const QDBusConnection& connection, uint response,
                 const QVariantMap& results);
    QString triggerFor(const Shortcut& shortcut) const;

    QString connectionName_;
    bool globalShortcuts_;
    bool registered_ = false;
    bool refuse_ = false;
    int sessionsCreated_ = 0;
    QList<Bind> binds_;
    QStringList closed_;
    std::map<QString, QString> chosen_;
};

} // namespace zarvo::test
