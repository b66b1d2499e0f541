#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>

#include <ostream>

class QWidget;

[[maybe_unused]] static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

[[maybe_unused]] static void PrintTo(const QRect& rect, std::ostream* os)
{
    *os << "QRect(" << rect.x() << ", " << rect.y() << ", " << rect.width() << ", " << rect.height()
        << ")";
}

[[maybe_unused]] static void PrintTo(const QColor& color, std::ostream* os)
{
    *os << "rgba(" << color.red() << ", " << color.green() << ", " << color.blue() << ", "
        << color.alpha() << ")";
}

namespace zarvo::test {

// The process's QApplication, made on first use (offscreen under ctest).
void ensureApplication();

// Makes sure of the application where a fixture's widgets need it first.
struct ApplicationGuard {
    ApplicationGuard() { ensureApplication(); }
};

// A press of the primary button at POINT of WIDGET, then its release, as
// events delivered to the widget.
void click(QWidget* widget, const QPoint& point);
// A key press and release delivered to WIDGET.
void pressKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

} // namespace zarvo::test
