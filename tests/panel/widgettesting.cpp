#include "widgettesting.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWidget>

namespace zarvo::test {

void ensureApplication()
{
    if (qApp) {
        return;
    }
    // The user's own defaults stay out of the tests' way.
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    static int argc = 1;
    static char name[] = "zarvo-panel-tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own globals may be gone by the time static
    // objects are destroyed at exit, and the application's children need them.
    static QApplication* application = new QApplication(argc, argv);
    Q_UNUSED(application);
    QApplication::setQuitOnLastWindowClosed(false);
}

void click(QWidget* widget, const QPoint& point)
{
    const QPointF local(point);
    const QPointF global(widget->mapToGlobal(point));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void pressKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(widget, &release);
}

} // namespace zarvo::test
