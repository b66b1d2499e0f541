#include "app/menubarcontroller.h"

#include "app/namedimage.h"
#include "app/statusitemview.h"
#include "platform/services.h"
#include "platform/statusitem.h"
#include "platform/traystatusitem.h"

namespace zarvo {

MenubarController::MenubarController()
{
    std::unique_ptr<StatusItem> item;
    if (services().createStatusItem) {
        item = services().createStatusItem();
    }
    if (!item) {
        item = std::make_unique<TrayStatusItem>();
    }
    item->setToolTip(QStringLiteral("Zarvo"));
    statusItemView_ =
        std::make_unique<StatusItemView>(std::move(item), kStatusItemLength, kStatusBarThickness);
    statusItemView_->setImage(NamedImage::imageNamed(QStringLiteral("MivoIcon")));
    statusItemView_->setAlternateImage(
        NamedImage::imageNamed(QStringLiteral("MivoIconHighlighted")));
    statusItemView_->setAction(QByteArrayLiteral("togglePanel"));

    // The tray needs a picture before it shows the entry.
    statusItemView_->displayIfNeeded();
    statusItem()->show();
}

MenubarController::~MenubarController()
{
    statusItem()->hide();
}

StatusItem* MenubarController::statusItem() const
{
    return statusItemView_->statusItem();
}

bool MenubarController::hasActiveIcon() const
{
    return statusItemView_->isHighlighted();
}

void MenubarController::setHasActiveIcon(bool active)
{
    statusItemView_->setHighlighted(active);
}

void MenubarController::showMessage(const QString& summary, const QString& body) const
{
    statusItem()->showMessage(summary, body);
}

} // namespace zarvo
