#pragma once

#include "platform/notifier.h"

#include <QList>

namespace zarvo {

// Keeps every notification it is given, for tests.
class MemoryNotifier final : public Notifier {
public:
    struct Notification {
        QString summary;
        QString body;
    };

    void notify(const QString& summary, const QString& body) override
    {
        notifications_.append({summary, body});
    }
    const QList<Notification>& notifications() const { return notifications_; }
    void clear() { notifications_.clear(); }

private:
    QList<Notification> notifications_;
};

} // namespace zarvo
