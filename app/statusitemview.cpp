#include "app/statusitemview.h"

#include "app/actiondispatch.h"
#include "app/interfacestyle.h"
#include "platform/screencoordinates.h"

#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
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

StatusItemView::StatusItemView(std::unique_ptr<QSystemTrayIcon> statusItem, qreal length,
                               qreal thickness)
    : statusItem_(std::move(statusItem)), frame_(0, 0, length, thickness)
{
    connect(statusItem_.get(), &QSystemTrayIcon::activated, this,
            &StatusItemView::statusItemActivated);
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

void StatusItemView::statusItemActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    // The second press of a double click is a press like the first.
    case QSystemTrayIcon::DoubleClick:
        mouseDown();
        break;
    case QSystemTrayIcon::Context:
        rightMouseDown();
        break;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
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
    statusItem_->setIcon(iconFor(drawing_));
    Q_EMIT displayed();
}

QIcon StatusItemView::iconFor(const QImage& drawing)
{
    for (const auto& [picture, icon] : icons_) {
        if (picture == drawing) {
            return icon;
        }
    }
    // Plain and highlighted, in a light and a dark bar, at one scale.
    constexpr qsizetype kMaxIcons = 4;
    if (icons_.size() >= kMaxIcons) {
        icons_.removeFirst();
    }
    icons_.append({drawing, QIcon(QPixmap::fromImage(drawing))});
    return icons_.last().second;
}

} // namespace zarvo
