#include <QApplication>

#include <gtest/gtest.h>

// The panel tests use widgets: one QApplication for the whole run, on the
// platform QT_QPA_PLATFORM names (offscreen under ctest).
int main(int argc, char** argv)
{
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
