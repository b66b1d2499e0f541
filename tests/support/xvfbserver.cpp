#include "support/xvfbserver.h"

#include "support/wait.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>

namespace zarvo::test {
namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr int kRunTimeoutMs = 10000;

} // namespace

XvfbServer::XvfbServer(QSize size)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        return;
    }
    // Xvfb picks a free display itself and writes its number once ready.
    server_ = std::make_unique<QProcess>();
    // A test binary that crashes or is killed takes its server along instead
    // of leaving it to the next run.
    server_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    server_->start(xvfb,
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                    QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height())});
    const QDeadlineTimer deadline(kStartTimeoutMs);
    QByteArray number;
    while (!number.contains('\n') && !deadline.hasExpired() &&
           server_->state() != QProcess::NotRunning) {
        server_->waitForReadyRead(100);
        number += server_->readAllStandardOutput();
    }
    if (number.contains('\n')) {
        display_ = ":" + number.trimmed();
    }
}

XvfbServer::~XvfbServer()
{
    if (!server_) {
        return;
    }
    stopProcess(*server_, 5000);
}

QString XvfbServer::output(const QString& program, const QStringList& args) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display_));
    process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForFinished(kRunTimeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool XvfbServer::run(const QString& program, const QStringList& args) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display_));
    process.setProcessEnvironment(env);
    process.start(program, args);
    return process.waitForFinished(kRunTimeoutMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool XvfbServer::pressKeys(const QString& keys) const
{
    return run(QStringLiteral("xdotool"), {QStringLiteral("key"), keys});
}

} // namespace zarvo::test
