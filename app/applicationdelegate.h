#pragma once

#include "panel/panelcontrollerdelegate.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

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

    void applicationDidFinishLaunching();
    // Removes the tray icon; termination then goes ahead at once.
    bool applicationShouldTerminate();

    void togglePanel();
    void AddNew();
    void MenuPreferences();

    MenubarController* menubarController() const { return menubarController_.get(); }
    void setMenubarController(std::unique_ptr<MenubarController> controller);
    // Created on first use.
    PanelController* panelController();

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

private:
    void panelActiveChanged();

    std::unique_ptr<MenubarController> menubarController_;
    std::unique_ptr<PanelController> panelController_;
    std::optional<QStringList> searchArray_;
    QString selectedProject_;
    qint64 selectedSearch_ = 0;
    QString searchDirection_;
};

} // namespace zarvo
