#include "app/applicationdelegate.h"
#include "app/menubarcontroller.h"
#include "app/statusitemview.h"
#include "panel/panelcontroller.h"
#include "platform/statusitem.h"
#include "widgetapplication.h"

#include <QApplication>
#include <QPointer>

#include <gtest/gtest.h>

#include <memory>

namespace zarvo {
namespace {

class ApplicationDelegateTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureWidgetApplication(); }

    // A delegate that has finished launching.
    std::unique_ptr<ApplicationDelegate> launched()
    {
        auto delegate = std::make_unique<ApplicationDelegate>();
        delegate->applicationDidFinishLaunching();
        return delegate;
    }

    static bool iconActive(ApplicationDelegate& delegate)
    {
        return delegate.menubarController()->hasActiveIcon();
    }
};

TEST_F(ApplicationDelegateTest, LaunchingShowsTheIconAndResetsTheSearchStateButMakesNoPanel)
{
    ApplicationDelegate delegate;
    delegate.setSearchArray(std::nullopt);
    delegate.setSelectedSearch(7);
    delegate.applicationDidFinishLaunching();

    ASSERT_NE(delegate.menubarController(), nullptr);
    EXPECT_FALSE(iconActive(delegate));
    ASSERT_TRUE(delegate.searchArray().has_value());
    EXPECT_TRUE(delegate.searchArray()->isEmpty());
    EXPECT_EQ(delegate.selectedSearch(), -1);
    EXPECT_TRUE(delegate.selectedProject().isNull());
    EXPECT_TRUE(delegate.searchDirection().isNull());
    EXPECT_FALSE(delegate.hasPanelController());
}

TEST_F(ApplicationDelegateTest, TheGlobalShortcutIsInstalledLastAndTogglesThePanel)
{
    ApplicationDelegate delegate;
    std::function<void()> handler;
    bool iconExistedFirst = false;
    qint64 selectedSearchThen = 0;
    delegate.setGlobalShortcutInstaller([&](std::function<void()> toggle) {
        iconExistedFirst = delegate.menubarController() != nullptr;
        selectedSearchThen = delegate.selectedSearch();
        handler = std::move(toggle);
    });
    delegate.applicationDidFinishLaunching();

    EXPECT_TRUE(iconExistedFirst);
    EXPECT_EQ(selectedSearchThen, -1);
    ASSERT_TRUE(handler);
    EXPECT_FALSE(delegate.hasPanelController());

    handler();
    ASSERT_TRUE(delegate.hasPanelController());
    EXPECT_TRUE(delegate.panelController()->hasActivePanel());
    EXPECT_TRUE(iconActive(delegate));

    handler();
    EXPECT_FALSE(delegate.panelController()->hasActivePanel());
    EXPECT_FALSE(iconActive(delegate));
}

TEST_F(ApplicationDelegateTest, ToggleLetsTheIconLeadAndThePanelFollow)
{
    auto delegate = launched();
    // The panel reports every assignment; record what the icon showed then.
    std::vector<std::pair<bool, bool>> seen;
    QObject::connect(
        delegate->panelController(), &PanelController::hasActivePanelChanged, delegate.get(), [&] {
            seen.emplace_back(delegate->panelController()->hasActivePanel(), iconActive(*delegate));
        });

    delegate->togglePanel();
    delegate->togglePanel();
    delegate->togglePanel();

    const std::vector<std::pair<bool, bool>> expected{{true, true}, {false, false}, {true, true}};
    EXPECT_EQ(seen, expected);
}

TEST_F(ApplicationDelegateTest, PanelClosingByItselfTurnsTheIconPlain)
{
    auto delegate = launched();
    delegate->togglePanel();
    ASSERT_TRUE(iconActive(*delegate));

    // Escape, lost focus or a closed window: the panel sets its own state.
    delegate->panelController()->setHasActivePanel(false);
    EXPECT_FALSE(iconActive(*delegate));

    // The next toggle opens it again rather than closing a closed panel.
    delegate->togglePanel();
    EXPECT_TRUE(delegate->panelController()->hasActivePanel());
    EXPECT_TRUE(iconActive(*delegate));
}

TEST_F(ApplicationDelegateTest, PanelOpeningByItselfHighlightsTheIcon)
{
    auto delegate = launched();
    delegate->panelController()->setHasActivePanel(true);
    EXPECT_TRUE(iconActive(*delegate));
}

TEST_F(ApplicationDelegateTest, TheFormActionsMakeThePanelControllerOnDemand)
{
    for (const auto action :
         {&ApplicationDelegate::AddNew, &ApplicationDelegate::MenuPreferences}) {
        auto delegate = launched();
        (delegate.get()->*action)();
        EXPECT_TRUE(delegate->hasPanelController());
        EXPECT_FALSE(iconActive(*delegate)) << "a form does not open the panel";
    }
}

TEST_F(ApplicationDelegateTest, ThePanelHangsFromTheMenubarIcon)
{
    auto delegate = launched();
    EXPECT_EQ(delegate->statusItemViewForPanelController(delegate->panelController()),
              delegate->menubarController()->statusItemView());
    EXPECT_EQ(delegate->panelController()->delegate(), delegate.get());
}

TEST_F(ApplicationDelegateTest, TerminationRemovesTheIconAndGoesAheadAtOnce)
{
    auto delegate = launched();
    delegate->togglePanel();
    QPointer<StatusItem> trayIcon = delegate->menubarController()->statusItem();
    ASSERT_FALSE(trayIcon.isNull());

    EXPECT_TRUE(delegate->applicationShouldTerminate());
    EXPECT_EQ(delegate->menubarController(), nullptr);
    EXPECT_TRUE(trayIcon.isNull()) << "the tray entry is gone";
    EXPECT_EQ(delegate->statusItemViewForPanelController(nullptr), nullptr);

    // Without an icon, which reads as plain, a toggle can only close the panel.
    delegate->togglePanel();
    EXPECT_FALSE(delegate->panelController()->hasActivePanel());
    delegate->togglePanel();
    EXPECT_FALSE(delegate->panelController()->hasActivePanel());
    EXPECT_TRUE(delegate->applicationShouldTerminate()) << "asking twice is harmless";
}

TEST_F(ApplicationDelegateTest, DestructionMakesNoPanelControllerAndUnregisters)
{
    const auto windowsBefore = QApplication::topLevelWidgets().size();
    {
        auto delegate = launched();
        EXPECT_EQ(ApplicationDelegate::shared(), delegate.get());
        ASSERT_FALSE(delegate->hasPanelController());
    }
    EXPECT_EQ(ApplicationDelegate::shared(), nullptr);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore);
}

} // namespace
} // namespace zarvo
