#include "app/maininterface.h"

#include "app/actiondispatch.h"
#include "shortcut/shortcutvalidator.h"

#include "ui_MainMenu.h"

#include <QAction>
#include <QApplication>
#include <QEvent>

namespace zarvo {
namespace {

const char* const kSendsAction = "sendsAction";

void collectMenuItems(const QMenu& menu, QList<QAction*>& items)
{
    for (QAction* action : menu.actions()) {
        if (const QMenu* submenu = action->menu()) {
            collectMenuItems(*submenu, items);
        } else if (!action->isSeparator()) {
            items << action;
        }
    }
}

} // namespace

MainInterface::MainInterface() : ui_(std::make_unique<Ui::MainMenu>())
{
    ui_->setupUi(&menu_);
    for (QAction* item : menuItems()) {
        const QByteArray action = item->property(kSendsAction).toByteArray();
        connect(item, &QAction::triggered, this, [action] { sendAction(action, nullptr); });
    }
    delegate_.setMainMenu(&menu_);
    // The shortcut recorder refuses the key equivalents of these items.
    setMainMenu(&menu_);
    if (qApp) {
        qApp->installEventFilter(this);
    }
}

MainInterface::~MainInterface()
{
    if (qApp) {
        qApp->removeEventFilter(this);
    }
}

QList<QAction*> MainInterface::menuItems() const
{
    QList<QAction*> items;
    collectMenuItems(menu_, items);
    return items;
}

bool MainInterface::eventFilter(QObject* watched, QEvent* event)
{
    // Qt only honours an action's shortcut in a window that holds the action,
    // and the main menu is never shown: hand its items to every window of the
    // application as it appears, so the key equivalents work wherever the
    // user types (a focused control that wants the keys still gets them first).
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && widget->windowType() != Qt::ToolTip &&
            !qobject_cast<QMenu*>(widget)) {
            for (QAction* item : menuItems()) {
                if (!widget->actions().contains(item)) {
                    widget->addAction(item);
                }
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zarvo
