// The client side of the one-instance guard (app/singleinstance.h): finding
// the running application and sending it a request. Plain POSIX sockets and
// Qt Core only, so that the command line need not load Qt Network.
#include "app/singleinstance.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

// A lock file changed this recently and not yet complete may be one that a
// starting application has created but not yet locked and written.
constexpr qint64 kFreshLockMs = 1000;

// Opens the lock file at PATH without blocking on whatever is there.
int openLockFile(const QString& path)
{
    return ::open(QFile::encodeName(path).constData(),
                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// Whether the lock file open at FD holds all that QLockFile writes: the
// process id, the application's name and the host name, a line each.
bool isComplete(int fd)
{
    char buffer[4096];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
        return false;
    }
    const QByteArray text(buffer, n);
    bool isNumber = false;
    return text.count('\n') >= 3 && text.left(text.indexOf('\n')).toLongLong(&isNumber) > 0 &&
           isNumber;
}

bool isFresh(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return true;
    }
    const qint64 changedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1'000'000;
    return std::abs(QDateTime::currentMSecsSinceEpoch() - changedMs) < kFreshLockMs;
}

// Whether someone holds the lock file open at FD, or may be about to: a
// living QLockFile keeps a lock on its file (flock) from just after creating
// it until it is released. When nobody holds it, takes that lock itself
// (OPERATION) until FD is closed.
bool heldByAnother(int fd, int operation)
{
    while (::flock(fd, operation | LOCK_NB) != 0) {
        if (errno != EINTR) {
            return true;
        }
    }
    return !isComplete(fd) && isFresh(fd);
}

class Fd final {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

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

Attempt tryRequest(const QString& socketPath, InstanceRequest request,
                   const QByteArray& activationToken)
{
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path) {
        return Attempt::connectionFailed;
    }
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const Fd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0 ||
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return Attempt::connectionFailed;
    }
    const QDeadlineTimer deadline(kAnswerTimeoutMs);
    const QByteArray line = requestText(request, activationToken) + '\n';
    for (qsizetype sent = 0; sent < line.size();) {
        if (!waitFor(socket.get(), true, deadline)) {
            return Attempt::refused;
        }
        // MSG_NOSIGNAL: an application that went away is an answer, not SIGPIPE.
        const ssize_t n =
            ::send(socket.get(), line.constData() + sent, size_t(line.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR) {
            return Attempt::refused;
        }
        sent += n > 0 ? n : 0;
    }
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (answer.size() > kMaxInstanceLineLength || !waitFor(socket.get(), false, deadline)) {
            return Attempt::refused;
        }
        char buffer[kMaxInstanceLineLength];
        const ssize_t n = ::read(socket.get(), buffer, sizeof buffer);
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

QByteArray requestText(InstanceRequest request, const QByteArray& activationToken)
{
    QByteArray word;
    switch (request) {
    case InstanceRequest::activate:
        word = QByteArrayLiteral("activate");
        break;
    case InstanceRequest::toggle:
        word = QByteArrayLiteral("toggle");
        break;
    }
    return isActivationToken(activationToken) ? word + ' ' + activationToken : word;
}

bool isActivationToken(const QByteArray& text)
{
    return !text.isEmpty() && text.size() <= kMaxActivationTokenLength &&
           std::all_of(text.cbegin(), text.cend(), [](char c) { return c > ' ' && c < 0x7F; });
}

QByteArray activationTokenFromEnvironment()
{
    for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        const QByteArray token = qgetenv(name);
        if (isActivationToken(token)) {
            return token;
        }
    }
    return {};
}

bool instanceLockIsHeld(const QString& path)
{
    const Fd fd(openLockFile(path));
    if (fd.get() < 0) {
        // Gone, or something there that cannot be opened: then it is not
        // known to be abandoned either.
        return errno != ENOENT;
    }
    return heldByAnother(fd.get(), LOCK_SH);
}

bool removeAbandonedInstanceLock(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const Fd fd(openLockFile(path));
    if (fd.get() < 0 || heldByAnother(fd.get(), LOCK_EX)) {
        return false;
    }
    // Holding its lock, the file is removed if it is still the one at PATH:
    // another start may have removed it and put a lock of its own there.
    struct stat opened {};
    struct stat there {};
    if (::fstat(fd.get(), &opened) != 0 || ::lstat(name.constData(), &there) != 0 ||
        opened.st_dev != there.st_dev || opened.st_ino != there.st_ino) {
        return false;
    }
    return ::unlink(name.constData()) == 0;
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

Delivery sendToRunningInstance(InstanceRequest request, const QByteArray& activationToken)
{
    const QString socket = SingleInstance::socketPath();
    const QString lock = SingleInstance::lockPath();
    if (socket.isEmpty()) {
        return Delivery::noInstance;
    }
    const QDeadlineTimer deadline(kStartingInstanceWaitMs);
    while (true) {
        switch (tryRequest(socket, request, activationToken)) {
        case Attempt::answered:
            return Delivery::delivered;
        case Attempt::refused:
            return Delivery::noAnswer;
        case Attempt::connectionFailed:
            break;
        }
        if (!instanceLockIsHeld(lock)) {
            return Delivery::noInstance;
        }
        if (deadline.hasExpired()) {
            return Delivery::noAnswer;
        }
        QThread::msleep(kRetryIntervalMs);
    }
}

} // namespace zarvo
