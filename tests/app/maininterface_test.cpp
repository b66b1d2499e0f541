#include "app/actiondispatch.h"
#include "app/maininterface.h"
#include "panel/panelcontroller.h"
#include "shortcut/shortcutvalidator.h"
#include "widgetapplication.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

class MainInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureWidgetApplication(); }
};

struct MenuItemRow {
    const char* name;
    const char* action;
    const char* keys;
};

void PrintTo(const MenuItemRow& row, std::ostream* os)
{
    *os << row.name;
}

class MenuItemTest : public MainInterfaceTest, public ::testing::WithParamInterface<MenuItemRow> {};

TEST_P(MenuItemTest, TheMainMenuHoldsTheItemWithItsKeyEquivalent)
{
    MainInterface interface;
    const MenuItemRow& row = GetParam();
    QAction* found = nullptr;
    for (QAction* item : interface.menuItems()) {
        if (item->property("sendsAction").toByteArray() == row.action) {
            found = item;
        }
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->shortcut(), QKeySequence(QString::fromLatin1(row.keys)));
    EXPECT_FALSE(found->text().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Items, MenuItemTest,
                         ::testing::Values(MenuItemRow{"AddNew", "AddNew", "Ctrl+N"},
                                           MenuItemRow{"Preferences", "MenuPreferences", "Ctrl+,"},
                                           MenuItemRow{"Quit", "terminate", "Ctrl+Q"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainInterfaceTest, TheDelegateKnowsTheMainMenu)
{
    MainInterface interface;
    EXPECT_EQ(ApplicationDelegate::shared(), &interface.delegate());
    EXPECT_EQ(interface.delegate().mainMenu(), &interface.mainMenu());
    // The key equivalents sit in a submenu, as the validation's search expects.
    ASSERT_FALSE(interface.mainMenu().actions().isEmpty());
    EXPECT_NE(interface.mainMenu().actions().first()->menu(), nullptr);
}

TEST_F(MainInterfaceTest, TheShortcutValidationSearchesTheMainMenu)
{
    {
        MainInterface interface;
        EXPECT_EQ(mainMenu(), &interface.mainMenu());
        ShortcutError error;
        EXPECT_TRUE(isKeyEquivalent(QStringLiteral("n"), modifier::kControl, mainMenu(), &error));
        EXPECT_FALSE(error.localizedDescription.isEmpty());
        EXPECT_FALSE(isKeyEquivalent(QStringLiteral("k"), modifier::kControl, mainMenu()));
    }
    EXPECT_EQ(mainMenu(), nullptr) << "gone with the interface";
}

TEST_F(MainInterfaceTest, AddNewReachesTheDelegate)
{
    MainInterface interface;
    interface.delegate().applicationDidFinishLaunching();
    ASSERT_FALSE(interface.delegate().hasPanelController());
    for (QAction* item : interface.menuItems()) {
        if (item->property("sendsAction").toByteArray() == "AddNew") {
            item->trigger();
        }
    }
    EXPECT_TRUE(interface.delegate().hasPanelController());
}

TEST_F(MainInterfaceTest, KeyEquivalentsWorkInAWindowOfTheApplication)
{
    MainInterface interface;
    interface.delegate().applicationDidFinishLaunching();
    QWidget window;
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QTest::keyClick(&window, Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_TRUE(interface.delegate().hasPanelController()) << "Ctrl+, sent MenuPreferences";
}

TEST_F(MainInterfaceTest, QuitRemovesTheIconAndEndsTheEventLoop)
{
    MainInterface interface;
    interface.delegate().applicationDidFinishLaunching();
    ASSERT_NE(interface.delegate().menubarController(), nullptr);

    int status = -1;
    QMetaObject::invokeMethod(
        qApp, [] { EXPECT_TRUE(sendAction(QByteArrayLiteral("terminate"), nullptr)); },
        Qt::QueuedConnection);
    status = QApplication::exec();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(interface.delegate().menubarController(), nullptr);
}

TEST_F(MainInterfaceTest, AnActionNobodyHandlesDoesNothing)
{
    MainInterface interface;
    EXPECT_FALSE(sendAction(QByteArrayLiteral("noSuchAction"), nullptr));
    QObject plain;
    EXPECT_FALSE(sendAction(QByteArrayLiteral("togglePanel"), &plain));
    EXPECT_FALSE(interface.delegate().hasPanelController());
}

} // namespace
} // namespace zarvo
