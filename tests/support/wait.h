#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QThread>

#include <functional>

namespace zarvo::test {

// Until CONDITION holds or TIMEOUTMS have passed, runs the event loop (or,
// without an application object, polls); returns whether it holds. The
// deadline is a limit, not a wait: a condition that holds returns at once.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return condition();
        }
        if (QCoreApplication::instance() != nullptr) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                            10);
        } else {
            QThread::msleep(20);
        }
    }
    return true;
}

// Waits until PATH exists and has contents (another process writes it).
inline bool waitForFile(const QString& path, int timeoutMs = 30000)
{
    return waitUntil([&path] { return QFileInfo(path).size() > 0; }, timeoutMs);
}

// Asks PROCESS to end and waits up to TIMEOUTMS; kills it when it has not.
inline void stopProcess(QProcess& process, int timeoutMs)
{
    process.terminate();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
}

} // namespace zarvo::test
