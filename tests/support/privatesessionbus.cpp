#include "support/privatesessionbus.h"

#include "support/wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>

namespace zarvo::test {
namespace {

// A session bus that anyone of this user may use and that activates nothing.
constexpr char kConfig[] =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

PrivateSessionBus::PrivateSessionBus()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        why_ = QStringLiteral("dbus-daemon is not installed");
        return;
    }
    if (!dir_.isValid()) {
        why_ = QStringLiteral("no temporary folder for the bus");
        return;
    }
    QFile config(dir_.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly)) {
        why_ = QStringLiteral("cannot write the bus configuration");
        return;
    }
    config.write(QString::fromLatin1(kConfig).arg(dir_.path()).toUtf8());
    config.close();

    daemon_.setProgram(daemon);
    daemon_.setArguments({QStringLiteral("--config-file=") + config.fileName(),
                          QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    // Its output would keep the test's own pipes open after the test ends,
    // and it must not outlive a test that crashes.
    daemon_.setStandardErrorFile(QProcess::nullDevice());
    daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    daemon_.start();
    QElapsedTimer clock;
    clock.start();
    while (daemon_.state() != QProcess::NotRunning && !daemon_.canReadLine() &&
           clock.elapsed() < 10000) {
        daemon_.waitForReadyRead(100);
    }
    const QString line = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (line.isEmpty()) {
        why_ = QStringLiteral("dbus-daemon did not start");
        daemon_.kill();
        daemon_.waitForFinished();
        return;
    }
    address_ = line;
    hadPrevious_ = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS");
    previous_ = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
}

PrivateSessionBus::~PrivateSessionBus()
{
    if (!started()) {
        return;
    }
    if (hadPrevious_) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", previous_);
    } else {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    stopProcess(daemon_, 3000);
}

PrivateSessionBus& sharedSessionBus()
{
    static int argc = 1;
    static char name[] = "zarvo-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application =
        QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    Q_UNUSED(application);
    static PrivateSessionBus bus;
    return bus;
}

} // namespace zarvo::test
