#include "app/singleinstance.h"

#include "platform/diagnostics.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <sys/types.h>

namespace zarvo {
namespace {

constexpr int kMaxRequestLength = 64;
constexpr int kConnectTimeoutMs = 500;
constexpr int kAnswerTimeoutMs = 5000;
// How long a request waits for an application that holds the lock but does
// not listen yet.
constexpr int kStartingInstanceWaitMs = 3000;
constexpr int kRetryIntervalMs = 50;

const QByteArray kAnswerOk = QByteArrayLiteral("ok");
const QByteArray kAnswerUnknown = QByteArrayLiteral("unknown");

QByteArray requestText(InstanceRequest request)
{
    switch (request) {
    case InstanceRequest::activate:
        return QByteArrayLiteral("activate");
    case InstanceRequest::toggle:
        return QByteArrayLiteral("toggle");
    }
    return {};
}

// The runtime directory, created private to the user when it is missing.
QString runtimeDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString basePath()
{
    const QString directory = runtimeDirectory();
    if (directory.isEmpty()) {
        return {};
    }
    QString name = QStringLiteral("zarvo");
    // One instance per display: an application on another X server is
    // another session's.
    QString display = qEnvironmentVariable("DISPLAY");
    if (!display.isEmpty()) {
        name += QLatin1Char('-') + display.replace(QLatin1Char('/'), QLatin1Char('_'));
    }
    return directory + QLatin1Char('/') + name;
}

bool processIsAlive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

// True while some living process holds the lock.
bool lockIsHeld(const QString& path)
{
    if (!QFileInfo::exists(path)) {
        return false;
    }
    QLockFile lock(path);
    qint64 pid = 0;
    QString host;
    QString application;
    if (!lock.getLockInfo(&pid, &host, &application)) {
        // Being written right now by a starting application.
        return true;
    }
    return processIsAlive(pid);
}

enum class Attempt { answered, refused, connectionFailed };

Attempt tryRequest(const QString& socketPath, InstanceRequest request)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return Attempt::connectionFailed;
    }
    socket.write(requestText(request) + '\n');
    if (!socket.waitForBytesWritten(kAnswerTimeoutMs)) {
        return Attempt::refused;
    }
    QDeadlineTimer deadline(kAnswerTimeoutMs);
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime()))) {
            return Attempt::refused;
        }
    }
    return socket.readLine(kMaxRequestLength).trimmed() == kAnswerOk ? Attempt::answered
                                                                     : Attempt::refused;
}

} // namespace

SingleInstance::SingleInstance() = default;

SingleInstance::~SingleInstance()
{
    stopListening();
}

void SingleInstance::stopListening()
{
    if (server_) {
        server_->close();
        server_.reset();
    }
}

QString SingleInstance::socketPath()
{
    const QString base = basePath();
    return base.isEmpty() ? QString() : base + QStringLiteral(".socket");
}

QString SingleInstance::lockPath()
{
    const QString base = basePath();
    return base.isEmpty() ? QString() : base + QStringLiteral(".lock");
}

SingleInstance::Claim SingleInstance::claim()
{
    const QString path = lockPath();
    if (path.isEmpty()) {
        logLine(QStringLiteral("No private runtime directory: more than one Zarvo may run"));
        return Claim::unavailable;
    }
    auto lock = std::make_unique<QLockFile>(path);
    // A lock left by a process that is gone is taken over (QLockFile checks
    // the holder's process id); a living holder keeps it however old it is.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        lock_ = std::move(lock);
        return Claim::claimed;
    }
    if (lock->error() == QLockFile::LockFailedError) {
        return Claim::runningElsewhere;
    }
    logLine(QStringLiteral("Cannot take the lock %1: more than one Zarvo may run").arg(path));
    return Claim::unavailable;
}

bool SingleInstance::listen()
{
    const QString path = socketPath();
    if (path.isEmpty() || !lock_) {
        return false;
    }
    // Holding the lock, any socket file there is a dead application's.
    QLocalServer::removeServer(path);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) {
        logLine(QStringLiteral("Cannot listen on %1: %2").arg(path, server_->errorString()));
        server_.reset();
        return false;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::readyRead, this, [this, client] { answer(client); });
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    return true;
}

void SingleInstance::answer(QLocalSocket* client)
{
    if (!client->canReadLine()) {
        if (client->bytesAvailable() > kMaxRequestLength) {
            client->abort();
            client->deleteLater();
        }
        return;
    }
    const QByteArray request = client->readLine(kMaxRequestLength).trimmed();
    QByteArray reply = kAnswerOk;
    if (request == requestText(InstanceRequest::toggle)) {
        Q_EMIT toggleRequested();
    } else if (request == requestText(InstanceRequest::activate)) {
        Q_EMIT activateRequested();
    } else {
        reply = kAnswerUnknown;
    }
    client->write(reply + '\n');
    client->disconnectFromServer();
}

Delivery sendToRunningInstance(InstanceRequest request)
{
    const QString socket = SingleInstance::socketPath();
    const QString lock = SingleInstance::lockPath();
    if (socket.isEmpty()) {
        return Delivery::noInstance;
    }
    const QDeadlineTimer deadline(kStartingInstanceWaitMs);
    while (true) {
        switch (tryRequest(socket, request)) {
        case Attempt::answered:
            return Delivery::delivered;
        case Attempt::refused:
            return Delivery::noAnswer;
        case Attempt::connectionFailed:
            break;
        }
        if (!lockIsHeld(lock)) {
            return Delivery::noInstance;
        }
        if (deadline.hasExpired()) {
            return Delivery::noAnswer;
        }
        QThread::msleep(kRetryIntervalMs);
    }
}

} // namespace zarvo
