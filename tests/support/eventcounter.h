#pragma once

#include <QEvent>
#include <QObject>

namespace zarvo::test {

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
