#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace zarvo::test {

// A session bus of the test's own: a dbus-daemon that activates no services
// (so nothing installed on the machine answers in place of a stand-in),
// reachable at address(). While it lives DBUS_SESSION_BUS_ADDRESS names it,
// so processes the test starts use it too. QDBusConnection::sessionBus()
// connects once per process: create the bus before anything asks for it.
class PrivateSessionBus final {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // Empty when dbus-daemon could not be started; why() tells the reason.
    const QString& address() const { return address_; }
    bool started() const { return !address_.isEmpty(); }
    const QString& why() const { return why_; }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    QString why_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

// The one private session bus of a test process that talks to the session
// bus in many tests, created on first use (before anything asks Qt for the
// session bus) and kept for the whole run, with a QCoreApplication if the
// process has no application object yet.
PrivateSessionBus& sharedSessionBus();

} // namespace zarvo::test
