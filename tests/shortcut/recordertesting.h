#pragma once

#include "shortcut/shortcut.h"

#include <QKeyEvent>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

namespace zarvo::test {

// The recorder's alert sound and taken-combination alert replaced by
// recorders of the calls while it lives.
class RecorderSeams final {
public:
    struct Alert {
        QString title;
        QString message;
        QWidget* parent = nullptr;
    };
    RecorderSeams();
    ~RecorderSeams();
    RecorderSeams(const RecorderSeams&) = delete;
    RecorderSeams& operator=(const RecorderSeams&) = delete;

    int beeps = 0;
    std::vector<Alert> alerts;
    // Runs inside the alert, while it is "up".
    std::function<void()> duringAlert;
};

// Sends one key event through the application, as the platform would.
void sendKey(QObject* receiver, QEvent::Type type, int key,
             Qt::KeyboardModifiers modifiers = Qt::NoModifier, quint32 nativeScanCode = 0);
// A press and a release.
void typeKey(QObject* receiver, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

} // namespace zarvo::test
