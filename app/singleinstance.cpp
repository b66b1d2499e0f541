#include "app/singleinstance.h"

#include "platform/diagnostics.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

namespace zarvo {
namespace {

const QByteArray kAnswerUnknown = QByteArrayLiteral("unknown");

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
        if (client->bytesAvailable() > kMaxInstanceLineLength) {
            client->abort();
            client->deleteLater();
        }
        return;
    }
    const QByteArray request = client->readLine(kMaxInstanceLineLength).trimmed();
    QByteArray reply = kInstanceAnswerOk;
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

} // namespace zarvo
