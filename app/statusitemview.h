#pragma once

#include "app/namedimage.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>

#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QPainter;

namespace zarvo {

class StatusItem;

// The picture shown in the tray: the bar's background, plain or highlighted,
// with the icon centred on it. The view is drawn into an image of its size
// that becomes the tray icon; a click of either button sends its action. On
// hosts that show menus (StatusNotifierItem hosts) a right click shows the
// icon's menu instead.
class StatusItemView final : public QObject {
    Q_OBJECT
public:
    // The view of STATUS_ITEM, which it keeps: LENGTH points wide and as high
    // as the bar's THICKNESS. The tray entry shows the view from now on.
    StatusItemView(std::unique_ptr<StatusItem> statusItem, qreal length, qreal thickness);
    ~StatusItemView() override;

    StatusItem* statusItem() const { return statusItem_.get(); }
    // Origin (0, 0), the status item's length by the bar's thickness.
    QRectF frame() const { return frame_; }
    QRectF bounds() const { return {QPointF(), frame_.size()}; }

    const std::shared_ptr<const NamedImage>& image() const { return image_; }
    // Asks for a redraw only when IMAGE is another image than the stored one.
    void setImage(std::shared_ptr<const NamedImage> image);
    // Kept, never drawn.
    const std::shared_ptr<const NamedImage>& alternateImage() const { return alternateImage_; }
    void setAlternateImage(std::shared_ptr<const NamedImage> image);

    bool isHighlighted() const { return isHighlighted_; }
    // Asks for a redraw only on a change of value.
    void setHighlighted(bool highlighted);

    // What a click sends (a method name) and to whom; with no target the
    // application finds the receiver (see sendAction()).
    const QByteArray& action() const { return action_; }
    void setAction(const QByteArray& action) { action_ = action; }
    QObject* target() const { return target_; }
    void setTarget(QObject* target) { target_ = target; }

    // The tray entry's rectangle in screen coordinates (origin bottom-left of
    // the primary screen, y up); the zero rectangle when the tray reports none.
    QRectF globalRect() const;
    // Where the host last said the icon was clicked, in the same coordinates;
    // none when no click carried a point (XEmbed trays, or no click yet).
    const std::optional<QPointF>& clickPoint() const { return clickPoint_; }
    // Where the pointer was at that click, where the window system tells it
    // (X11): the fall-back for hosts whose points are not the screen's.
    const std::optional<QPointF>& clickCursor() const { return clickCursor_; }

    // Draws the view into PAINTER, whose coordinates are the view's bounds
    // with y growing downwards.
    void drawRect(QPainter& painter, const QRectF& dirtyRect);
    // Where an image of IMAGE_SIZE goes in a view of BOUNDS_SIZE: its
    // bottom-left corner, in the view's own coordinates (y up).
    static QPointF centredImageOrigin(QSizeF boundsSize, QSizeF imageSize);

    // Both buttons send the action.
    void mouseDown();
    void rightMouseDown();
    // The icon's menu, shown for a right click on hosts that show menus:
    // "Open Zarvo", "Add Project…", "Preferences…", "Quit". Made on first use.
    QMenu* menu();

    bool needsDisplay() const { return needsDisplay_; }
    // Marks the view for a redraw, which the event loop carries out.
    void setNeedsDisplay();
    // Redraws now when a redraw is due, and hands the drawing to the tray.
    void displayIfNeeded();
    // The drawing the tray shows, at the backing scale.
    const QImage& drawing() const { return drawing_; }

Q_SIGNALS:
    // After every redraw.
    void displayed();

protected:
    // A change of the desktop's colours may change the dark setting: redraw.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct MenuEntry {
        QString title; // empty: a separator
        std::function<void()> handler;
    };
    QList<MenuEntry> menuEntries();
    // Notes POINT (Qt's global coordinates) as the place of the last click.
    void noteClickPoint(const std::optional<QPoint>& point);
    void contextMenuRequested(const std::optional<QPoint>& point);
    void sendActionFromView();

    std::shared_ptr<const NamedImage> image_;
    std::shared_ptr<const NamedImage> alternateImage_;
    std::unique_ptr<StatusItem> statusItem_;
    std::optional<QPointF> clickPoint_;
    std::optional<QPointF> clickCursor_;
    std::unique_ptr<QMenu> menu_;
    bool isHighlighted_ = false;
    QByteArray action_;
    QPointer<QObject> target_;

    QRectF frame_;
    bool needsDisplay_ = false;
    bool displayScheduled_ = false;
    QImage drawing_;
};

// The bar's background behind a status item in RECT: left as the bar draws
// it, or filled with the selection colour when HIGHLIGHT is true.
void drawStatusBarBackground(QPainter& painter, const QRectF& rect, bool highlight);

} // namespace zarvo
