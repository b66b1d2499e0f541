// The client side of the one-instance guard (app/singleinstance.h): finding
// the running application and sending it a request. Plain POSIX sockets and
// Qt Core only, so that the command line need not load Qt Network.
#include "app/singleinstance.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

namespace zarvo {
namespace {

constexpr int kAnswerTimeoutMs = 5000;
// How long a request waits for an application that holds the lock but does
// not listen yet.
constexpr int kStartingInstanceWaitMs = 3000;
constexpr int kRetryIntervalMs = 50;

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

class Socket final {
public:
    Socket() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Waits until FD can be read, or written (WRITE), until DEADLINE.
bool waitFor(int fd, bool write, const QDeadlineTimer& deadline)
{
    pollfd entry{fd, short(write ? POLLOUT : POLLIN), 0};
    while (true) {
        const int ready = ::poll(&entry, 1, int(deadline.remainingTime()));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

enum class Attempt { answered, refused, connectionFailed };

Attempt tryRequest(const QString& socketPath, InstanceRequest request)
{
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path) {
        return Attempt::connectionFailed;
    }
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const Socket socket;
    if (socket.fd() < 0 ||
        ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return Attempt::connectionFailed;
    }
    const QDeadlineTimer deadline(kAnswerTimeoutMs);
    const QByteArray line = requestText(request) + '\n';
    for (qsizetype sent = 0; sent < line.size();) {
        if (!waitFor(socket.fd(), true, deadline)) {
            return Attempt::refused;
        }
        // MSG_NOSIGNAL: an application that went away is an answer, not SIGPIPE.
        const ssize_t n =
            ::send(socket.fd(), line.constData() + sent, size_t(line.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR) {
            return Attempt::refused;
        }
        sent += n > 0 ? n : 0;
    }
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (answer.size() > kMaxInstanceLineLength || !waitFor(socket.fd(), false, deadline)) {
            return Attempt::refused;
        }
        char buffer[kMaxInstanceLineLength];
        const ssize_t n = ::read(socket.fd(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Attempt::refused;
        }
        answer.append(buffer, n);
    }
    return answer.left(answer.indexOf('\n')).trimmed() == kInstanceAnswerOk ? Attempt::answered
                                                                            : Attempt::refused;
}

} // namespace

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
