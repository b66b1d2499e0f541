#include "app/menubarcontroller.h"

#include "app/namedimage.h"
#include "app/statusitemview.h"
#include "platform/diagnostics.h"

namespace zarvo {

MenubarController::MenubarController()
{
    auto item = std::make_unique<QSystemTrayIcon>();
    item->setToolTip(QStringLiteral("Zarvo"));
    statusItemView_ =
        std::make_unique<StatusItemView>(std::move(item), kStatusItemLength, kStatusBarThickness);
    statusItemView_->setImage(NamedImage::imageNamed(QStringLiteral("MivoIcon")));
    statusItemView_->setAlternateImage(
        NamedImage::imageNamed(QStringLiteral("MivoIconHighlighted")));
    statusItemView_->setAction(QByteArrayLiteral("togglePanel"));

    // The tray needs a picture before it shows the entry.
    statusItemView_->displayIfNeeded();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        logLine(QStringLiteral("No system tray is available: open the panel with the hot key "
                               "or \"zarvo toggle\""));
    }
    statusItem()->show();
}

MenubarController::~MenubarController()
{
    statusItem()->hide();
}

QSystemTrayIcon* MenubarController::statusItem() const
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
    QSystemTrayIcon* item = statusItem();
    if (item && item->isVisible() && QSystemTrayIcon::supportsMessages()) {
        item->showMessage(summary, body, QSystemTrayIcon::Warning);
    }
}

} // namespace zarvo
