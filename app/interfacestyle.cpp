#include "app/interfacestyle.h"

#include <QGuiApplication>
#include <QPalette>

namespace zarvo {
namespace {

const QString kDark = QStringLiteral("Dark");

InterfaceStyleOverride& overrideSource()
{
    static InterfaceStyleOverride source;
    return source;
}

} // namespace

bool paletteIsDark(const QPalette& palette)
{
    constexpr int kHalfLightness = 128;
    return palette.color(QPalette::Active, QPalette::Window).lightness() < kHalfLightness;
}

QString interfaceStyle()
{
    if (const auto& source = overrideSource()) {
        const QString forced = source();
        if (!forced.isNull()) {
            return forced == kDark ? kDark : QString();
        }
    }
    return qGuiApp && paletteIsDark(QGuiApplication::palette()) ? kDark : QString();
}

void setInterfaceStyleOverride(InterfaceStyleOverride source)
{
    overrideSource() = std::move(source);
}

} // namespace zarvo
