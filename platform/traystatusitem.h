#pragma once

#include "platform/statusitem.h"

#include <QIcon>
#include <QImage>
#include <QList>

#include <memory>
#include <utility>

class QSystemTrayIcon;

namespace zarvo {

// The status item as Qt's QSystemTrayIcon, the XEmbed tray protocol where no
// StatusNotifierWatcher is on the session bus. The tray tells where the icon
// is (geometry()); its clicks carry no point, and a right click is a click
// like the others (no context menu).
class TrayStatusItem final : public StatusItem {
    Q_OBJECT
public:
    TrayStatusItem();
    ~TrayStatusItem() override;

    void show() override;
    void hide() override;
    bool isVisible() const override;
    void setIcon(const QImage& picture) override;
    void setToolTip(const QString& text) override;
    QRect geometry() const override;
    bool showsContextMenus() const override { return false; }
    bool showMessage(const QString& summary, const QString& body) override;
    void setMenuEntries(const QStringList& /*titles*/) override {}

    QSystemTrayIcon* trayIcon() const { return trayIcon_.get(); }

private:
    // The icon of PICTURE: the same icon for the same picture.
    QIcon iconFor(const QImage& picture);

    std::unique_ptr<QSystemTrayIcon> trayIcon_;
    // The icons handed to the tray so far, with their pictures. The tray
    // keeps a scaled copy of every new icon it is given (in QPixmapCache,
    // up to 10 MiB), and the picture changes at every opening and closing of
    // the panel: each picture keeps its one icon.
    QList<std::pair<QImage, QIcon>> icons_;
};

} // namespace zarvo
