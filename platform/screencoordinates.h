#pragma once

#include <QRectF>

namespace zarvo {

// Screen rectangles live in two systems. Ours, used by every geometry rule of
// the application: origin at the bottom-left corner of the primary screen, y
// growing upwards. Qt's: origin at the top-left corner of the virtual desktop,
// y growing downwards. PRIMARY is the primary screen's geometry in Qt's system
// (QScreen::geometry()). The two functions are each other's inverse.
QRectF screenRectFromQt(const QRectF& qtRect, const QRectF& primary);
QRectF qtRectFromScreen(const QRectF& screenRect, const QRectF& primary);

} // namespace zarvo
