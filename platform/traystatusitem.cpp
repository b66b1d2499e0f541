#include "platform/traystatusitem.h"

#include "platform/diagnostics.h"

#include <QPixmap>
#include <QSystemTrayIcon>

namespace zarvo {

TrayStatusItem::TrayStatusItem() : trayIcon_(std::make_unique<QSystemTrayIcon>())
{
    connect(trayIcon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                case QSystemTrayIcon::Trigger:
                // The second press of a double click is a press like the first.
                case QSystemTrayIcon::DoubleClick:
                    Q_EMIT activated(std::nullopt);
                    break;
                case QSystemTrayIcon::Context:
                    Q_EMIT contextMenuRequested(std::nullopt);
                    break;
                case QSystemTrayIcon::MiddleClick:
                    Q_EMIT secondaryActivated(std::nullopt);
                    break;
                case QSystemTrayIcon::Unknown:
                    break;
                }
            });
}

TrayStatusItem::~TrayStatusItem() = default;

void TrayStatusItem::show()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        logLine(QStringLiteral("No system tray is available: open the panel with the hot key "
                               "or \"zarvo toggle\""));
    }
    trayIcon_->show();
}

void TrayStatusItem::hide()
{
    trayIcon_->hide();
}

bool TrayStatusItem::isVisible() const
{
    return trayIcon_->isVisible();
}

void TrayStatusItem::setIcon(const QImage& picture)
{
    trayIcon_->setIcon(iconFor(picture));
}

void TrayStatusItem::setToolTip(const QString& text)
{
    trayIcon_->setToolTip(text);
}

QRect TrayStatusItem::geometry() const
{
    return trayIcon_->isVisible() ? trayIcon_->geometry() : QRect();
}

bool TrayStatusItem::showMessage(const QString& summary, const QString& body)
{
    if (!trayIcon_->isVisible() || !QSystemTrayIcon::supportsMessages()) {
        return false;
    }
    trayIcon_->showMessage(summary, body, QSystemTrayIcon::Warning);
    return true;
}

QIcon TrayStatusItem::iconFor(const QImage& picture)
{
    for (const auto& [drawn, icon] : icons_) {
        if (drawn == picture) {
            return icon;
        }
    }
    // Plain and highlighted, in a light and a dark bar, at one scale.
    constexpr qsizetype kMaxIcons = 4;
    if (icons_.size() >= kMaxIcons) {
        icons_.removeFirst();
    }
    icons_.append({picture, QIcon(QPixmap::fromImage(picture))});
    return icons_.last().second;
}

} // namespace zarvo
