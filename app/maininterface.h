#pragma once

#include "app/applicationdelegate.h"

#include <QList>
#include <QMenu>
#include <QObject>

#include <memory>

class QAction;

namespace Ui {
class MainMenu;
}

namespace zarvo {

// The objects of the main interface file: the application's delegate and the
// main menu. Each menu item sends the action named by its "sendsAction"
// property through the application (see sendAction()). The menu is never
// shown; its items' key equivalents work in every window of the application.
class MainInterface final : public QObject {
    Q_OBJECT
public:
    MainInterface();
    ~MainInterface() override;

    ApplicationDelegate& delegate() { return delegate_; }
    QMenu& mainMenu() { return menu_; }
    // The items that send actions, submenus searched depth first.
    QList<QAction*> menuItems() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenu menu_;
    std::unique_ptr<Ui::MainMenu> ui_;
    ApplicationDelegate delegate_;
};

} // namespace zarvo
