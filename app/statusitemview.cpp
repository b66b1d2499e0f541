#include "app/statusitemview.h"

#include "app/actiondispatch.h"
#include "app/interfacestyle.h"
#include "panel/currentevent.h"
#include "platform/screencoordinates.h"
#include "platform/statusitem.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace zarvo {
namespace {

const QString kPlainImageName = QStringLiteral("MivoIcon");
const QString kHighlightedImageName = QStringLiteral("MivoIconHighlighted");
const QString kDarkStyle = QStringLiteral("Dark");

// Trays show icons larger than the bar's nominal height; drawing at twice the
// size keeps the icon sharp when the tray scales it.
constexpr qreal kMinimumBackingScale = 2.0;

qreal backingScale()
{
    const QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    return std::max(kMinimumBackingScale, screen ? screen->devicePixelRatio() : 1.0);
}

// Single precision, then the nearest whole number with halves away from zero.
qreal roundedCoordinate(qreal value)
{
    return std::round(static_cast<float>(value));
}

} // namespace

void drawStatusBarBackground(QPainter& painter, const QRectF& rect, bool highlight)
{
    if (highlight) {
        painter.fillRect(rect,
                         QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight));
    }
}

StatusItemView::StatusItemView(std::unique_ptr<StatusItem> statusItem, qreal length,
                               qreal thickness)
    : statusItem_(std::move(statusItem)), frame_(0, 0, length, thickness)
{
    connect(statusItem_.get(), &StatusItem::activated, this,
            [this](const std::optional<QPoint>& point) {
                noteClickPoint(point);
                if (point) {
                    // A click the host reports over the bus passes through
                    // none of our input events: take the keys held now.
                    CurrentEvent::noteClick(QGuiApplication::queryKeyboardModifiers());
                }
                mouseDown();
            });
    // Nothing happens on other buttons; the place is still worth knowing.
    connect(statusItem_.get(), &StatusItem::secondaryActivated, this,
            &StatusItemView::noteClickPoint);
    connect(statusItem_.get(), &StatusItem::contextMenuRequested, this,
            &StatusItemView::contextMenuRequested);
    // Hosts that draw the menu themselves get the same entries.
    QStringList titles;
    for (const MenuEntry& entry : menuEntries()) {
        titles << entry.title;
    }
    statusItem_->setMenuEntries(titles);
    connect(statusItem_.get(), &StatusItem::menuEntryTriggered, this, [this](int index) {
        const QList<MenuEntry> entries = menuEntries();
        if (index >= 0 && index < entries.size() && entries[index].handler) {
            entries[index].handler();
        }
    });
    if (qApp) {
        qApp->installEventFilter(this);
    }
    setNeedsDisplay();
}

bool StatusItemView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        setNeedsDisplay();
    }
    return QObject::eventFilter(watched, event);
}

StatusItemView::~StatusItemView() = default;

void StatusItemView::setImage(std::shared_ptr<const NamedImage> image)
{
    if (image != image_) {
        image_ = std::move(image);
        setNeedsDisplay();
    }
}

void StatusItemView::setAlternateImage(std::shared_ptr<const NamedImage> image)
{
    if (image != alternateImage_) {
        alternateImage_ = std::move(image);
        if (isHighlighted_) {
            setNeedsDisplay();
        }
    }
}

void StatusItemView::setHighlighted(bool highlighted)
{
    if (highlighted == isHighlighted_) {
        return;
    }
    isHighlighted_ = highlighted;
    setNeedsDisplay();
}

QRectF StatusItemView::globalRect() const
{
    const QRect geometry = statusItem_->geometry();
    const QScreen* primary = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    if (!statusItem_->isVisible() || geometry.isEmpty() || !primary) {
        return {};
    }
    return screenRectFromQt(QRectF(geometry), QRectF(primary->geometry()));
}

void StatusItemView::noteClickPoint(const std::optional<QPoint>& point)
{
    const QScreen* primary = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    if (!point || !primary) {
        return;
    }
    const auto fromQt = [&](QPoint p) {
        return screenRectFromQt(QRectF(QPointF(p), QSizeF()), QRectF(primary->geometry()))
            .topLeft();
    };
    clickPoint_ = fromQt(*point);
    // Only X11 tells where the pointer is; elsewhere QCursor::pos() is stale.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        clickCursor_ = fromQt(QCursor::pos());
    } else {
        clickCursor_.reset();
    }
}

void StatusItemView::contextMenuRequested(const std::optional<QPoint>& point)
{
    noteClickPoint(point);
    if (!statusItem_->showsContextMenus()) {
        rightMouseDown();
        return;
    }
    menu()->popup(point.value_or(QCursor::pos()));
}

QList<StatusItemView::MenuEntry> StatusItemView::menuEntries()
{
    return {
        {QStringLiteral("Open Zarvo"),
         [this] {
             if (!isHighlighted_) {
                 sendActionFromView();
             }
         }},
        {QStringLiteral("Add Project\u2026"),
         [this] { sendAction(QByteArrayLiteral("AddNew"), target_); }},
        {QStringLiteral("Preferences\u2026"),
         [this] { sendAction(QByteArrayLiteral("MenuPreferences"), target_); }},
        {QString(), {}},
        {QStringLiteral("Quit"), [] { terminateApplication(); }},
    };
}

QMenu* StatusItemView::menu()
{
    if (menu_) {
        return menu_.get();
    }
    menu_ = std::make_unique<QMenu>();
    for (const MenuEntry& entry : menuEntries()) {
        if (entry.title.isEmpty()) {
            menu_->addSeparator();
        } else {
            menu_->addAction(entry.title, this, entry.handler);
        }
    }
    return menu_.get();
}

QPointF StatusItemView::centredImageOrigin(QSizeF boundsSize, QSizeF imageSize)
{
    return {roundedCoordinate((boundsSize.width() - imageSize.width()) * 0.5),
            roundedCoordinate((boundsSize.height() - imageSize.height()) * 0.5)};
}

void StatusItemView::drawRect(QPainter& painter, const QRectF& dirtyRect)
{
    const bool dark = interfaceStyle() == kDarkStyle;
    setImage(
        NamedImage::imageNamed(dark || isHighlighted_ ? kHighlightedImageName : kPlainImageName));
    drawStatusBarBackground(painter, dirtyRect, isHighlighted_);
    if (!image_) {
        return;
    }
    const QPointF origin = centredImageOrigin(bounds().size(), image_->size());
    // The origin is the image's bottom-left corner with y up; the painter's y runs down.
    const QPointF topLeft(origin.x(), bounds().height() - origin.y() - image_->size().height());
    image_->drawAt(painter, topLeft);
}

void StatusItemView::mouseDown()
{
    sendActionFromView();
}

void StatusItemView::rightMouseDown()
{
    sendActionFromView();
}

void StatusItemView::sendActionFromView()
{
    sendAction(action_, target_);
}

void StatusItemView::setNeedsDisplay()
{
    needsDisplay_ = true;
    if (displayScheduled_) {
        return;
    }
    displayScheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            displayScheduled_ = false;
            displayIfNeeded();
        },
        Qt::QueuedConnection);
}

void StatusItemView::displayIfNeeded()
{
    if (!needsDisplay_) {
        return;
    }
    needsDisplay_ = false;
    const qreal scale = backingScale();
    const QSize pixels = (bounds().size() * scale).toSize();
    QImage drawing(pixels, QImage::Format_ARGB32_Premultiplied);
    drawing.setDevicePixelRatio(scale);
    drawing.fill(Qt::transparent);
    {
        QPainter painter(&drawing);
        painter.setRenderHint(QPainter::Antialiasing);
        drawRect(painter, bounds());
    }
    drawing_ = drawing;
    statusItem_->setIcon(drawing_);
    Q_EMIT displayed();
}

} // namespace zarvo
