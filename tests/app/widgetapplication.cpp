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
    static QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
}

} // namespace zarvo::test
