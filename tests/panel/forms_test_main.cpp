#include "app/applicationdelegate.h"
#include "app/applicationmain.h"
#include "panel/panelcontroller.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

// Exit statuses of the child run that tell a failed close from a passed one.
constexpr int kChildNeverClosed = 3;
constexpr int kChildFormNotShown = 4;
constexpr int kChildNoQuitItem = 5;
constexpr int kChildTimeoutMs = 20000;

// Runs in the child's application, once its event loop runs: waits for the
// start-up to finish, opens the new-project form and chooses Quit in the
// panel's options menu while the form is open.
void quitThroughTheOptionsMenu()
{
    zarvo::ApplicationDelegate* delegate = zarvo::ApplicationDelegate::shared();
    if (!delegate || !delegate->menubarController()) {
        QTimer::singleShot(10, &quitThroughTheOptionsMenu);
        return;
    }
    delegate->AddNew();
    zarvo::PanelController* panel = delegate->panelController();
    if (!panel->createProject()->isVisible()) {
        std::_Exit(kChildFormNotShown);
    }
    for (QAction* action : panel->launchMenu()->actions()) {
        if (action->property("sendsAction").toByteArray() == "close") {
            action->trigger();
            return;
        }
    }
    std::_Exit(kChildNoQuitItem);
}

void scheduleQuit()
{
    QTimer::singleShot(kChildTimeoutMs, [] { std::_Exit(kChildNeverClosed); });
    QTimer::singleShot(0, &quitThroughTheOptionsMenu);
}

} // namespace

// With "--close-child" this runs the application itself, as `zarvo` does, and
// quits it through the panel's options menu; the exit status is the
// application's. Otherwise the tests, with one QApplication for the run.
int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--close-child") == 0) {
        qAddPreRoutine(&scheduleQuit);
        return zarvo::runApplication(argc, argv);
    }
    // Autostart entries and defaults of the tests stay out of the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    // ctest lists the tests with no environment of ours: without a display
    // the application could not be made and the listing would fail.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// widgettesting.cpp holds the sanitizer's fontconfig suppression.
