#include "app/applicationdelegate.h"

#include "app/menubarcontroller.h"
#include "panel/currentevent.h"
#include "panel/panelcontroller.h"
#include "platform/diagnostics.h"

#include <QMenu>

namespace zarvo {
namespace {

ApplicationDelegate* gShared = nullptr;

} // namespace

ApplicationDelegate::ApplicationDelegate()
{
    gShared = this;
}

ApplicationDelegate::~ApplicationDelegate()
{
    // Stop observing the panel, if one was ever made: never make one for this.
    if (panelController_) {
        disconnect(panelController_.get(), nullptr, this, nullptr);
    }
    if (gShared == this) {
        gShared = nullptr;
    }
}

ApplicationDelegate* ApplicationDelegate::shared()
{
    return gShared;
}

void ApplicationDelegate::applicationDidFinishLaunching()
{
    // The open animation asks which keys the click on the icon held; the
    // very first click comes before the panel controller exists.
    CurrentEvent::install();
    setMenubarController(std::make_unique<MenubarController>());
    setSearchArray(QStringList());
    setSelectedSearch(-1);
    if (installGlobalShortcut_) {
        installGlobalShortcut_([this] { togglePanel(); });
    }
    // The icon is in the tray and the hot key is registered: the moment the
    // start-up benchmark measures to.
    logLine(QStringLiteral("Ready"));
}

bool ApplicationDelegate::applicationShouldTerminate()
{
    setMenubarController(nullptr);
    return true;
}

void ApplicationDelegate::setGlobalShortcutInstaller(GlobalShortcutInstaller installer)
{
    installGlobalShortcut_ = std::move(installer);
}

QMenu* ApplicationDelegate::mainMenu() const
{
    return mainMenu_;
}

void ApplicationDelegate::setMainMenu(QMenu* menu)
{
    mainMenu_ = menu;
}

void ApplicationDelegate::setMenubarController(std::unique_ptr<MenubarController> controller)
{
    menubarController_ = std::move(controller);
}

PanelController* ApplicationDelegate::panelController()
{
    if (!panelController_) {
        panelController_ = std::make_unique<PanelController>(this);
        connect(panelController_.get(), &PanelController::hasActivePanelChanged, this,
                &ApplicationDelegate::panelActiveChanged);
    }
    return panelController_.get();
}

StatusItemView* ApplicationDelegate::statusItemViewForPanelController(PanelController*)
{
    return menubarController_ ? menubarController_->statusItemView() : nullptr;
}

void ApplicationDelegate::togglePanel()
{
    // After termination was asked for there is no icon: it reads as plain.
    if (menubarController_) {
        menubarController_->setHasActiveIcon(!menubarController_->hasActiveIcon());
    }
    const bool active = menubarController_ && menubarController_->hasActiveIcon();
    panelController()->setHasActivePanel(active);
}

void ApplicationDelegate::openPanel()
{
    if (!hasPanelController() || !panelController_->hasActivePanel()) {
        togglePanel();
    }
}

void ApplicationDelegate::AddNew()
{
    panelController()->openCreateProject();
}

void ApplicationDelegate::MenuPreferences()
{
    panelController()->openPreferences();
}

void ApplicationDelegate::panelActiveChanged()
{
    const bool active = panelController()->hasActivePanel();
    if (menubarController_) {
        menubarController_->setHasActiveIcon(active);
    }
}

} // namespace zarvo
