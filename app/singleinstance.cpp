#include "app/singleinstance.h"

#include "platform/diagnostics.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace zarvo {
namespace {

const QByteArray kAnswerUnknown = QByteArrayLiteral("unknown");

// A request comes with its connection; one that stays silent this long is
// closed. Requests wait up to five seconds for their answer (instancerequest.cpp).
constexpr int kIdleTimeoutMs = 2000;
// Connections kept open at once, waiting for their request; a new one
// beyond them closes the oldest.
constexpr std::size_t kMaxConnections = 16;
// Accepted in one turn of the event loop, so a flood cannot starve it.
constexpr int kMaxAcceptsPerTurn = 64;
// The pause after a connection could not be accepted for want of
// descriptors or memory, before accepting again.
constexpr int kAcceptPauseMs = 100;

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

struct SingleInstance::Connection {
    int fd = -1;
    QByteArray received;
    QDeadlineTimer deadline;
    QSocketNotifier* notifier = nullptr;
};

SingleInstance::SingleInstance() = default;

SingleInstance::~SingleInstance()
{
    stopListening();
}

void SingleInstance::stopListening()
{
    while (!connections_.empty()) {
        drop(connections_.front().get());
    }
    idleTimer_.reset();
    listenNotifier_.reset();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        ::unlink(QFile::encodeName(listenPath_).constData());
    }
}

SingleInstance::Claim SingleInstance::claim()
{
    const QString path = lockPath();
    if (path.isEmpty()) {
        logLine(QStringLiteral("No private runtime directory: more than one Zarvo may run"));
        return Claim::unavailable;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto lock = std::make_unique<QLockFile>(path);
        // A lock left by a process that is gone is taken over (QLockFile checks
        // the holder's process id); a living holder keeps it however old it is.
        lock->setStaleLockTime(0);
        if (lock->tryLock(0)) {
            lock_ = std::move(lock);
            return Claim::claimed;
        }
        if (lock->error() != QLockFile::LockFailedError) {
            break;
        }
        // QLockFile cannot tell an empty or garbled file, or one naming a
        // process id that now belongs to another program, from a living
        // holder's; such a lock would block every start for good.
        if (attempt > 0 || !removeAbandonedInstanceLock(path)) {
            return Claim::runningElsewhere;
        }
        logLine(QStringLiteral("Took over the lock %1, which no running Zarvo held").arg(path));
    }
    logLine(QStringLiteral("Cannot take the lock %1: more than one Zarvo may run").arg(path));
    return Claim::unavailable;
}

bool SingleInstance::listen()
{
    const QString path = socketPath();
    if (path.isEmpty() || !lock_ || listenFd_ >= 0) {
        return listenFd_ >= 0;
    }
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof address.sun_path) {
        logLine(QStringLiteral("Cannot listen on %1: the path is too long").arg(path));
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        logLine(QStringLiteral("Cannot listen on %1: %2").arg(path, errnoText()));
        return false;
    }
    // Holding the lock, any socket file there is a dead application's.
    ::unlink(name.constData());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(name.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        logLine(QStringLiteral("Cannot listen on %1: %2").arg(path, errnoText()));
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    listenPath_ = path;
    listenNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(listenNotifier_.get(), &QSocketNotifier::activated, this,
            &SingleInstance::acceptConnections);
    idleTimer_ = std::make_unique<QTimer>();
    idleTimer_->setInterval(kIdleTimeoutMs / 4);
    connect(idleTimer_.get(), &QTimer::timeout, this, &SingleInstance::dropIdleConnections);
    return true;
}

void SingleInstance::acceptConnections()
{
    for (int accepted = 0; accepted < kMaxAcceptsPerTurn && listenFd_ >= 0; ++accepted) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;
            }
            // Out of descriptors or memory. The connection waits in the
            // socket's queue; the socket stays, and is tried again shortly.
            logLine(QStringLiteral("Cannot accept a connection on %1: %2")
                        .arg(listenPath_, errnoText()));
            if (!connections_.empty()) {
                drop(connections_.front().get());
            }
            listenNotifier_->setEnabled(false);
            QTimer::singleShot(kAcceptPauseMs, this, [this] {
                if (listenNotifier_) {
                    listenNotifier_->setEnabled(true);
                }
            });
            return;
        }
        // A request that arrived with its connection is answered at once.
        QByteArray received;
        if (serve(fd, received)) {
            ::close(fd);
            continue;
        }
        if (connections_.size() >= kMaxConnections) {
            drop(connections_.front().get());
        }
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        connection->received = std::move(received);
        connection->deadline = QDeadlineTimer(kIdleTimeoutMs);
        connection->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        Connection* const raw = connection.get();
        connect(raw->notifier, &QSocketNotifier::activated, this, [this, raw] { readFrom(raw); });
        connections_.push_back(std::move(connection));
        if (!idleTimer_->isActive()) {
            idleTimer_->start();
        }
    }
}

void SingleInstance::readFrom(Connection* connection)
{
    const bool finished = serve(connection->fd, connection->received);
    // What the request set off may have stopped the listening meanwhile.
    const bool kept = std::any_of(connections_.cbegin(), connections_.cend(),
                                  [connection](const auto& it) { return it.get() == connection; });
    if (finished && kept) {
        drop(connection);
    }
}

bool SingleInstance::serve(int fd, QByteArray& received)
{
    char buffer[kMaxInstanceLineLength + 1];
    while (true) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return false;
        }
        if (n <= 0) {
            return true; // gone, or failed: nothing to answer
        }
        received.append(buffer, n);
        const qsizetype end = received.indexOf('\n');
        if (end < 0) {
            // Longer lines are refused.
            return received.size() > kMaxInstanceLineLength;
        }
        const QByteArray line = received.left(end).trimmed();
        const qsizetype space = line.indexOf(' ');
        const QByteArray request = space < 0 ? line : line.left(space);
        QByteArray token = space < 0 ? QByteArray() : line.mid(space + 1).trimmed();
        if (!isActivationToken(token)) {
            token.clear();
        }
        QByteArray reply = kInstanceAnswerOk;
        if (request == requestText(InstanceRequest::toggle)) {
            Q_EMIT toggleRequested(token);
        } else if (request == requestText(InstanceRequest::activate)) {
            Q_EMIT activateRequested(token);
        } else {
            reply = kAnswerUnknown;
        }
        reply += '\n';
        // A few bytes into an empty socket buffer: they always fit. The
        // client reads them even after the socket is closed here.
        [[maybe_unused]] const ssize_t sent =
            ::send(fd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        return true;
    }
}

void SingleInstance::drop(Connection* connection)
{
    connection->notifier->setEnabled(false);
    // Possibly in the middle of its own signal.
    connection->notifier->deleteLater();
    ::close(connection->fd);
    connections_.remove_if([connection](const auto& kept) { return kept.get() == connection; });
    if (connections_.empty() && idleTimer_) {
        idleTimer_->stop();
    }
}

void SingleInstance::dropIdleConnections()
{
    for (auto it = connections_.begin(); it != connections_.end();) {
        Connection* const connection = (it++)->get();
        if (connection->deadline.hasExpired()) {
            drop(connection);
        }
    }
}

} // namespace zarvo
