#include "platform/watchedstart.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zarvo {
namespace {

// One message from the processes of a start to the caller, written whole
// (it is far below PIPE_BUF).
struct Report {
    enum Kind : int { ExecFailed = 1, ChdirFailed, ForkFailed, Exited, Running };
    int kind = 0;
    int value = 0;
};

// Everything below runs between fork() and exec() or _exit() in a process
// that may have been forked from a threaded one: only async-signal-safe
// calls, no allocation.

void report(int fd, Report::Kind kind, int value)
{
    const Report message{kind, value};
    while (::write(fd, &message, sizeof message) < 0 && errno == EINTR) {
    }
}

long long nowMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

[[noreturn]] void execProgram(int fd, const char* folder, char* const* argv)
{
    if (::chdir(folder) != 0) {
        report(fd, Report::ChdirFailed, errno);
        ::_exit(127);
    }
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO) {
            ::close(null);
        }
    }
    // A new program starts with no signal blocked or ignored, whatever the
    // thread that forked had set up.
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (const int number : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGCHLD, SIGTSTP}) {
        ::sigaction(number, &byDefault, nullptr);
    }
    ::execve(argv[0], argv, environ);
    report(fd, Report::ExecFailed, errno);
    ::_exit(127);
}

// The intermediate process: starts the program as its own child, reports
// how the watch went, and ends, which hands the program over to init.
[[noreturn]] void intermediate(int fd, const char* folder, char* const* argv, long long watchMs,
                               const char* gonePath)
{
    ::setsid();
    const pid_t program = ::fork();
    if (program < 0) {
        report(fd, Report::ForkFailed, errno);
        ::_exit(0);
    }
    if (program == 0) {
        execProgram(fd, folder, argv);
    }
    const long long deadline = nowMs() + watchMs;
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(program, &status, WNOHANG);
        if (ended == program) {
            report(fd, Report::Exited,
                   WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            ::_exit(0);
        }
        if (nowMs() >= deadline || (gonePath && ::access(gonePath, F_OK) != 0)) {
            report(fd, Report::Running, 0);
            ::_exit(0);
        }
        const timespec step{0, 10 * 1000 * 1000};
        ::nanosleep(&step, nullptr);
    }
}

} // namespace

WatchedStart startWatched(const QStringList& commandLine, const QString& folder,
                          std::chrono::milliseconds watch, const QString& gonePath)
{
    WatchedStart result;
    if (commandLine.isEmpty()) {
        result.error = QStringLiteral("no program given");
        return result;
    }
    // Everything the forked processes need, made before they exist.
    std::vector<QByteArray> encoded;
    encoded.reserve(size_t(commandLine.size()));
    for (const QString& word : commandLine) {
        encoded.push_back(QFile::encodeName(word));
    }
    std::vector<char*> argv;
    for (QByteArray& word : encoded) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const QByteArray folderName = QFile::encodeName(folder);
    const QByteArray goneName = QFile::encodeName(gonePath);

    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        result.error = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        result.error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(pipe[0]);
        ::close(pipe[1]);
        return result;
    }
    if (child == 0) {
        ::close(pipe[0]);
        intermediate(pipe[1], folderName.constData(), argv.data(), watch.count(),
                     gonePath.isEmpty() ? nullptr : goneName.constData());
    }
    ::close(pipe[1]);

    // The reports end when the intermediate process has ended and the
    // program has been executed (the pipe closes on exec) or has failed.
    std::vector<Report> reports;
    for (;;) {
        Report message;
        const ssize_t got = ::read(pipe[0], &message, sizeof message);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got != ssize_t(sizeof message)) {
            break;
        }
        reports.push_back(message);
    }
    ::close(pipe[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    result.error = QStringLiteral("it ended before saying how it went");
    for (const Report& message : reports) {
        switch (message.kind) {
        case Report::ExecFailed:
        case Report::ChdirFailed:
        case Report::ForkFailed:
            result.outcome = WatchedStart::Outcome::NotStarted;
            result.error = QString::fromLocal8Bit(std::strerror(message.value));
            if (message.kind == Report::ChdirFailed) {
                result.error =
                    QStringLiteral("cannot change into %1: %2").arg(folder, result.error);
            }
            return result;
        case Report::Exited:
            result.outcome = WatchedStart::Outcome::Exited;
            result.exitStatus = message.value;
            result.error.clear();
            break;
        case Report::Running:
            result.outcome = WatchedStart::Outcome::Running;
            result.error.clear();
            break;
        default:
            break;
        }
    }
    return result;
}

} // namespace zarvo
