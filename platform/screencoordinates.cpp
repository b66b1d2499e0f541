#include "platform/screencoordinates.h"

namespace zarvo {

QRectF screenRectFromQt(const QRectF& qtRect, const QRectF& primary)
{
    const qreal primaryBottom = primary.y() + primary.height();
    return {qtRect.x() - primary.x(), primaryBottom - (qtRect.y() + qtRect.height()),
            qtRect.width(), qtRect.height()};
}

QRectF qtRectFromScreen(const QRectF& screenRect, const QRectF& primary)
{
    const qreal primaryBottom = primary.y() + primary.height();
    return {screenRect.x() + primary.x(), primaryBottom - (screenRect.y() + screenRect.height()),
            screenRect.width(), screenRect.height()};
}

} // namespace zarvo
