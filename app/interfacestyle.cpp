#include "app/interfacestyle.h"

#include "platform/defaultsstore.h"

#include <QGuiApplication>
#include <QPalette>

namespace zarvo {
namespace {

const QString kDark = QStringLiteral("Dark");
const QString kInterfaceStyleKey = QStringLiteral("AppleInterfaceStyle");

InterfaceStyleOverride& overrideSource()
{
    static InterfaceStyleOverride source;
    return source;
}

// The user's forced value; a null string when there is none.
QString forcedStyle()
{
    if (const auto& source = overrideSource()) {
        return source();
    }
    const std::optional<QVariant> stored =
        DefaultsStore::standardUserDefaults().objectForKey(kInterfaceStyleKey);
    if (stored && stored->typeId() == QMetaType::QString) {
        return stored->toString();
    }
    return {};
}

} // namespace

bool paletteIsDark(const QPalette& palette)
{
    constexpr int kHalfLightness = 128;
    return palette.color(QPalette::Active, QPalette::Window).lightness() < kHalfLightness;
}

QString interfaceStyle()
{
    const QString forced = forcedStyle();
    if (!forced.isNull()) {
        return forced == kDark ? kDark : QString();
    }
    return qGuiApp && paletteIsDark(QGuiApplication::palette()) ? kDark : QString();
}

void setInterfaceStyleOverride(InterfaceStyleOverride source)
{
    overrideSource() = std::move(source);
}

} // namespace zarvo
