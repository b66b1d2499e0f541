#include "shortcut/shortcuttrigger.h"

#include "platform/xkbkeyboardlayout.h"

#include <QStringList>

namespace zarvo {
namespace {

// Each syntax's names of Control, Alt, Shift and Super, in that order.
struct ModifierNames {
    const char* control;
    const char* option;
    const char* shift;
    const char* command;
};

QStringList modifierNames(quint64 flags, const ModifierNames& names)
{
    QStringList parts;
    if (flags & modifier::kControl) {
        parts << QString::fromLatin1(names.control);
    }
    if (flags & modifier::kOption) {
        parts << QString::fromLatin1(names.option);
    }
    if (flags & modifier::kShift) {
        parts << QString::fromLatin1(names.shift);
    }
    if (flags & modifier::kCommand) {
        parts << QString::fromLatin1(names.command);
    }
    return parts;
}

} // namespace

QString portalTrigger(quint64 keyCode, quint64 modifierFlags)
{
    const QString key = usKeysymName(keyCode);
    if (key.isEmpty()) {
        return QString();
    }
    QStringList parts = modifierNames(modifierFlags, {"CTRL", "ALT", "SHIFT", "LOGO"});
    parts << key;
    return parts.join(QLatin1Char('+'));
}

QString gnomeAccelerator(const Shortcut& shortcut)
{
    const QString key = usKeysymName(shortcut.keyCode());
    if (key.isEmpty()) {
        return QString();
    }
    QString accelerator;
    for (const QString& name :
         modifierNames(shortcut.modifierFlags(), {"Control", "Alt", "Shift", "Super"})) {
        accelerator += QLatin1Char('<') + name + QLatin1Char('>');
    }
    return accelerator + key;
}

QString swayBinding(const Shortcut& shortcut, const QString& command)
{
    const QString key = usKeysymName(shortcut.keyCode());
    if (key.isEmpty()) {
        return QString();
    }
    QStringList parts = modifierNames(shortcut.modifierFlags(), {"Ctrl", "Mod1", "Shift", "Mod4"});
    parts << key;
    return QStringLiteral("bindsym %1 exec %2").arg(parts.join(QLatin1Char('+')), command);
}

QString hyprlandBinding(const Shortcut& shortcut, const QString& command)
{
    const QString key = usKeysymName(shortcut.keyCode());
    if (key.isEmpty()) {
        return QString();
    }
    const QStringList parts =
        modifierNames(shortcut.modifierFlags(), {"CTRL", "ALT", "SHIFT", "SUPER"});
    return QStringLiteral("bind = %1, %2, exec, %3")
        .arg(parts.join(QLatin1Char(' ')), key, command);
}

} // namespace zarvo
