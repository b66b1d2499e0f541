#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QString>
#include <QThread>

#include <functional>

namespace zarvo::test {

// Runs the event loop until CONDITION holds or TIMEOUTMS have passed; returns
// whether it holds. The deadline is a limit, not a wait: a condition that
// holds returns at once.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return condition();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

// Waits until PATH exists and has contents (another process writes it).
// Works with or without an application object.
inline bool waitForFile(const QString& path, int timeoutMs = 30000)
{
    const auto written = [&path] { return QFileInfo(path).size() > 0; };
    if (QCoreApplication::instance() != nullptr) {
        return waitUntil(written, timeoutMs);
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (!written()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

} // namespace zarvo::test
