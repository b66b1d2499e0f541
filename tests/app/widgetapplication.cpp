#include "widgetapplication.h"

#include <QApplication>

namespace zarvo::test {

void ensureWidgetApplication()
{
    if (qApp) {
        return;
    }
    static int argc = 1;
    static char name[] = "zarvo-tests";
    static char* argv[] = {name, nullptr};
    static QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
}

} // namespace zarvo::test
