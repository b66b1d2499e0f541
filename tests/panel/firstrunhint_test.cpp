// The first-run hint: an empty store's panel tells how to add a project.

#include "app/applicationdelegate.h"
#include "panel/backgroundview.h"
#include "panel/firstrunhint.h"
#include "panel/panel.h"
#include "panel/panelcontroller.h"
#include "panel/searchfieldview.h"
#include "platform/resourcedir.h"
#include "projects/projectstore.h"
#include "support/tempresources.h"

#include "support/wait.h"
#include "widgettesting.h"

#include <QDir>
#include <QLabel>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

// Qt's offscreen screen is 800 x 800: a panel of HEIGHT hangs 22 points
// below the screen's top once a search (or the hint) has laid it out.
QRect panelOnScreen(int height)
{
    return {260, 22, 280, height};
}
constexpr int kOpeningHeight = 98;
// Two rows of 35 points and the 90 around them.
constexpr int kHintHeight = 160;
// The list area of a two-row list: 54 below the panel's top, 70 high.
const QRect kHintArea(2, 54, 276, 70);

class FirstRunHintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        prepareResourceDirectory();
        setFirstRunHintEnabled(true);
    }
    void TearDown() override { setFirstRunHintEnabled(false); }

    PanelController& controller() { return *app.panelController(); }
    Panel& window() { return *controller().window(); }
    QLabel* hint() { return firstRunHintLabel(controller()); }
    bool hintShown() { return hint() && hint()->isVisible(); }

    // Opens the panel and waits until its animation is over (full opacity).
    void openAndSettle()
    {
        controller().setHasActivePanel(true);
        ASSERT_TRUE(test::waitUntil([&] { return window().windowOpacity() == 1.0; }));
        QCoreApplication::processEvents();
    }
    void closeAndSettle()
    {
        controller().setHasActivePanel(false);
        ASSERT_TRUE(test::waitUntil([&] { return !window().isVisible(); }));
    }
    void search(const QString& text)
    {
        controller().searchField()->setText(text);
        controller().runSearch();
    }
    void addProject(const QString& name)
    {
        ASSERT_TRUE(
            ProjectStore::saveProject(name, {{entry_key::filePath, QDir::tempPath()}}).ok());
    }

    test::ApplicationGuard guard;
    test::TempResources resources;
    ApplicationDelegate app;
};

TEST_F(FirstRunHintTest, AnEmptyStoreShowsTheHintInATwoRowListArea)
{
    openAndSettle();
    ASSERT_TRUE(test::waitUntil([&] { return hintShown(); }));
    EXPECT_EQ(hint()->text(), first_run_hint::text());
    EXPECT_TRUE(hint()->text().contains(QStringLiteral("zarvo add")));
    EXPECT_EQ(window().geometry(), panelOnScreen(kHintHeight));
    EXPECT_EQ(hint()->geometry(), kHintArea);
    EXPECT_EQ(hint()->parentWidget(), controller().backgroundView());
    EXPECT_FALSE(controller().scrollView()->isVisible()) << "there is no list to show";
}

TEST_F(FirstRunHintTest, AStoreWithProjectsOpensAsUsual)
{
    addProject(QStringLiteral("web"));
    openAndSettle();
    EXPECT_FALSE(hintShown());
    EXPECT_EQ(window().height(), kOpeningHeight);
}

TEST_F(FirstRunHintTest, TurnedOffThePanelKeepsItsOpeningHeight)
{
    setFirstRunHintEnabled(false);
    openAndSettle();
    EXPECT_FALSE(hintShown());
    EXPECT_EQ(window().height(), kOpeningHeight);
}

TEST_F(FirstRunHintTest, TheHintStaysWhateverIsTyped)
{
    openAndSettle();
    ASSERT_TRUE(test::waitUntil([&] { return hintShown(); }));
    for (const char* text : {"x", "xyz", ""}) {
        search(QString::fromLatin1(text));
        EXPECT_TRUE(hintShown()) << text;
        EXPECT_EQ(window().geometry(), panelOnScreen(kHintHeight)) << text;
    }
}

TEST_F(FirstRunHintTest, TheFirstProjectReplacesTheHintWithTheList)
{
    openAndSettle();
    ASSERT_TRUE(test::waitUntil([&] { return hintShown(); }));
    addProject(QStringLiteral("web"));
    search(QStringLiteral("w"));
    EXPECT_FALSE(hintShown());
    EXPECT_TRUE(controller().scrollView()->isVisible());
    EXPECT_EQ(window().geometry(), panelOnScreen(125)) << "one row listed";
    // With the text gone the panel goes back to its opening height, no hint.
    search(QString());
    EXPECT_FALSE(hintShown());
    EXPECT_EQ(window().height(), kOpeningHeight);
}

TEST_F(FirstRunHintTest, AReopenedPanelNeverShowsAStaleHint)
{
    openAndSettle();
    ASSERT_TRUE(test::waitUntil([&] { return hintShown(); }));
    closeAndSettle();
    EXPECT_FALSE(hint()->isVisibleTo(controller().backgroundView())) << "hidden with the panel";

    addProject(QStringLiteral("web"));
    controller().setHasActivePanel(true);
    bool everShown = false;
    ASSERT_TRUE(test::waitUntil([&] {
        everShown = everShown || hintShown();
        return window().windowOpacity() == 1.0;
    }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(everShown);
    EXPECT_FALSE(hintShown());
}

TEST_F(FirstRunHintTest, AClosedPanelHasNoHint)
{
    updateFirstRunHint(controller());
    EXPECT_EQ(hint(), nullptr) << "nothing is made for a panel that is not open";
}

} // namespace
} // namespace zarvo
