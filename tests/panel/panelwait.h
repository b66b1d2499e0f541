#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

#include <functional>

namespace zarvo::test {

// Runs the event loop until CONDITION holds or TIMEOUTMS have passed; returns
// whether it holds. The deadline is a limit, not a wait: a condition that
// holds returns at once.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

// Counts the events of one type that reach an object.
class EventCounter final : public QObject {
public:
    EventCounter(QObject* watched, QEvent::Type type, int* count) : type_(type), count_(count)
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == type_) {
            ++*count_;
        }
        return false;
    }

private:
    QEvent::Type type_;
    int* count_;
};

} // namespace zarvo::test
