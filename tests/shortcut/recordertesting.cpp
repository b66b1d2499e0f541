#include "recordertesting.h"

#include "shortcut/shortcutrecorder.h"

#include <QCoreApplication>

namespace zarvo::test {

RecorderSeams::RecorderSeams()
{
    setRecorderBeep([this] { ++beeps; });
    setRecorderAlert([this](QWidget* parent, const QString& title, const QString& message) {
        alerts.push_back({title, message, parent});
        if (duringAlert) {
            duringAlert();
        }
    });
}

RecorderSeams::~RecorderSeams()
{
    setRecorderBeep(nullptr);
    setRecorderAlert(nullptr);
}

void sendKey(QObject* receiver, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
             quint32 nativeScanCode)
{
    QKeyEvent event(type, key, modifiers, nativeScanCode, 0, 0);
    QCoreApplication::sendEvent(receiver, &event);
}

void typeKey(QObject* receiver, int key, Qt::KeyboardModifiers modifiers)
{
    sendKey(receiver, QEvent::KeyPress, key, modifiers);
    sendKey(receiver, QEvent::KeyRelease, key, modifiers);
}

} // namespace zarvo::test
