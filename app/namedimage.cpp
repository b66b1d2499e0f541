#include "app/namedimage.h"

#include <QFile>
#include <QHash>
#include <QPainter>

namespace zarvo {
namespace {

using ImagePtr = std::shared_ptr<const NamedImage>;

// Registered images first, then the ones loaded from the resources: both keep
// their image for the life of the process.
QHash<QString, ImagePtr>& registeredImages()
{
    static QHash<QString, ImagePtr> images;
    return images;
}

QHash<QString, ImagePtr>& shippedImages()
{
    static QHash<QString, ImagePtr> images;
    return images;
}

} // namespace

NamedImage::NamedImage(const QByteArray& svg) : renderer_(svg), size_(renderer_.defaultSize()) {}

std::shared_ptr<const NamedImage> NamedImage::fromSvg(const QByteArray& svg)
{
    auto image = std::make_shared<const NamedImage>(svg);
    if (!image->renderer_.isValid()) {
        return nullptr;
    }
    return image;
}

std::shared_ptr<const NamedImage> NamedImage::imageNamed(const QString& name)
{
    if (const auto registered = registeredImages().constFind(name);
        registered != registeredImages().constEnd()) {
        return *registered;
    }
    auto& shipped = shippedImages();
    if (const auto found = shipped.constFind(name); found != shipped.constEnd()) {
        return *found;
    }
    QFile file(QStringLiteral(":/images/%1.svg").arg(name));
    ImagePtr image;
    if (file.open(QIODevice::ReadOnly)) {
        image = fromSvg(file.readAll());
    }
    // A missing image is remembered too: resources do not change while we run.
    shipped.insert(name, image);
    return image;
}

void NamedImage::setImageNamed(const QString& name, std::shared_ptr<const NamedImage> image)
{
    if (image) {
        registeredImages().insert(name, std::move(image));
    } else {
        registeredImages().remove(name);
    }
}

void NamedImage::drawAt(QPainter& painter, QPointF topLeft) const
{
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(1.0);
    renderer_.render(&painter, QRectF(topLeft, size_));
    painter.restore();
}

} // namespace zarvo
