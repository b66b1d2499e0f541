#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

class QImage;

namespace zarvo {

// The application's icon in the desktop's tray, whatever hosts it: an XEmbed
// tray (platform/traystatusitem.h) or a StatusNotifierItem host on the session
// bus (platform/dbus/statusnotifieritem.h). Points are in Qt's global
// coordinates (origin at the top left of the virtual desktop, y down, device-
// independent pixels).
class StatusItem : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~StatusItem() override = default;

    virtual void show() = 0;
    virtual void hide() = 0;
    virtual bool isVisible() const = 0;

    // The picture the tray shows: the plain or the highlighted icon, as the
    // caller drew it for the icon's present state.
    virtual void setIcon(const QImage& picture) = 0;
    virtual void setToolTip(const QString& text) = 0;

    // The icon's rectangle where the host tells it (XEmbed trays); the empty
    // rectangle where it does not (then the clicks carry a point).
    virtual QRect geometry() const = 0;

    // Whether contextMenuRequested asks for a menu (StatusNotifierItem hosts
    // show the item's menu on a right click) rather than reporting a plain
    // right click on the icon (XEmbed trays).
    virtual bool showsContextMenus() const = 0;

    // Shows SUMMARY and BODY in the host's own message balloon; false where
    // the host has none.
    virtual bool showMessage(const QString& summary, const QString& body) = 0;

    // The titles of the icon's menu, for hosts that draw the item's menu
    // themselves (com.canonical.dbusmenu); an empty title is a separator.
    // Hosts without menus ignore them.
    virtual void setMenuEntries(const QStringList& titles) = 0;

Q_SIGNALS:
    // A click on the icon (the left button), at POINT where the host said
    // where it was clicked.
    void activated(std::optional<QPoint> point);
    // The middle button, or what the host counts as a secondary activation.
    void secondaryActivated(std::optional<QPoint> point);
    // A right click.
    void contextMenuRequested(std::optional<QPoint> point);
    // The host's own drawing of the menu: entry INDEX of setMenuEntries()'s was chosen.
    void menuEntryTriggered(int index);
};

} // namespace zarvo
