#pragma once

#include <QByteArray>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QSvgRenderer>

#include <memory>

class QPainter;

namespace zarvo {

// A vector image drawn at any scale. Images are looked up by name among the
// application's resources (":/images/NAME.svg"); a lookup hands out the same
// object for the same name for the life of the process, so two images are the
// same exactly when the pointers are.
class NamedImage final {
public:
    // An image from SVG data; null when the data is no image.
    static std::shared_ptr<const NamedImage> fromSvg(const QByteArray& svg);

    // The image registered or shipped under NAME; null when there is none.
    static std::shared_ptr<const NamedImage> imageNamed(const QString& name);
    // Makes IMAGE the one imageNamed() hands out for NAME; a null IMAGE drops
    // the registration, so the shipped image is found again.
    static void setImageNamed(const QString& name, std::shared_ptr<const NamedImage> image);

    // The image's size in points (device-independent pixels).
    QSizeF size() const { return size_; }
    // Draws the whole image at its size with its top-left corner at TOP_LEFT in
    // PAINTER's coordinates, composited over what is there.
    void drawAt(QPainter& painter, QPointF topLeft) const;

    explicit NamedImage(const QByteArray& svg);

private:
    // Rendering changes nothing visible about the image.
    mutable QSvgRenderer renderer_;
    QSizeF size_;
};

} // namespace zarvo
