#pragma once

#include "panel/panelcontrollerdelegate.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QMenu;

namespace zarvo {

class MenubarController;
class PanelController;
class StatusItemView;

// The hub of the tray application: owns the tray icon's controller and the
// panel controller, keeps the icon's highlight in step with the panel, and
// holds the search state that the panel, the results list and the launch
// share. Reached everywhere through ApplicationDelegate::shared().
class ApplicationDelegate final : public QObject, public PanelControllerDelegate {
    Q_OBJECT
public:
    ApplicationDelegate();
    ~ApplicationDelegate() override;

    // The application's delegate; null before it is created and after it is gone.
    static ApplicationDelegate* shared();

    // Start-up, once the event loop runs: the tray icon, the search state,
    // then the global shortcut (see setGlobalShortcutInstaller()).
    void applicationDidFinishLaunching();
    // Removes the tray icon; termination then goes ahead at once.
    bool applicationShouldTerminate();

    // Stores the default global shortcut and registers it so that pressing it
    // calls TOGGLE. Runs as the last step of start-up; without an installer
    // (tests, a desktop without key grabs) there is no global shortcut.
    using GlobalShortcutInstaller = std::function<void(std::function<void()> toggle)>;
    void setGlobalShortcutInstaller(GlobalShortcutInstaller installer);

    // The application's main menu (from the main interface), which the
    // shortcut validation searches; null when none was loaded.
    QMenu* mainMenu() const;
    void setMainMenu(QMenu* menu);

    MenubarController* menubarController() const { return menubarController_.get(); }
    void setMenubarController(std::unique_ptr<MenubarController> controller);
    // Created on first use.
    PanelController* panelController();
    // Whether the panel controller exists yet; creates nothing.
    bool hasPanelController() const { return panelController_ != nullptr; }

    StatusItemView* statusItemViewForPanelController(PanelController* controller) override;

    // Shared search state. A null QString or an empty optional is "nil".
    const std::optional<QStringList>& searchArray() const { return searchArray_; }
    void setSearchArray(std::optional<QStringList> array) { searchArray_ = std::move(array); }
    const QString& selectedProject() const { return selectedProject_; }
    void setSelectedProject(const QString& name) { selectedProject_ = name; }
    qint64 selectedSearch() const { return selectedSearch_; }
    void setSelectedSearch(qint64 index) { selectedSearch_ = index; }
    const QString& searchDirection() const { return searchDirection_; }
    void setSearchDirection(const QString& direction) { searchDirection_ = direction; }

    // The actions the tray icon and the main menu send (see sendAction()).
public Q_SLOTS:
    // The icon's highlight flips and the panel follows it.
    void togglePanel();
    // Opens the panel unless it is open already.
    void openPanel();
    void AddNew();
    void MenuPreferences();

private:
    void panelActiveChanged();

    std::unique_ptr<MenubarController> menubarController_;
    std::unique_ptr<PanelController> panelController_;
    std::optional<QStringList> searchArray_;
    QString selectedProject_;
    qint64 selectedSearch_ = 0;
    QString searchDirection_;
    GlobalShortcutInstaller installGlobalShortcut_;
    QPointer<QMenu> mainMenu_;
};

} // namespace zarvo
