#include "widgetapplication.h"

#include <QApplication>
#include <QTemporaryDir>

namespace zarvo::test {

void ensureWidgetApplication()
{
    if (qApp) {
        return;
    }
    // The user's own defaults stay out of the tests' way.
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    static int argc = 1;
    static char name[] = "zarvo-tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own globals may be gone by the time static
    // objects are destroyed at exit, and the application's children need them.
    static QApplication* application = new QApplication(argc, argv);
    Q_UNUSED(application);
    QApplication::setQuitOnLastWindowClosed(false);
}

} // namespace zarvo::test
