#include "app/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zarvo {
namespace {

// Characters that make an Exec argument need quotes.
const QString kReservedInExec = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
// Characters escaped with a backslash inside a quoted Exec argument.
const QString kEscapedInQuotes = QStringLiteral("\"`$\\");

// ARG as one argument of an Exec line, as the line is written in the file: a
// quoted argument escapes its own specials, the entry's string escaping then
// doubles every backslash, and a literal '%' is "%%" (it starts field codes).
std::optional<QString> execArgument(const QString& arg)
{
    QString quoted;
    bool needsQuotes = arg.isEmpty();
    for (const QChar c : arg) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            return std::nullopt;
        }
        if (kReservedInExec.contains(c)) {
            needsQuotes = true;
        }
        if (kEscapedInQuotes.contains(c)) {
            quoted += QLatin1Char('\\');
        }
        quoted += c;
    }
    QString text = needsQuotes ? QLatin1Char('"') + quoted + QLatin1Char('"') : arg;
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return text;
}

QString configHome()
{
    const QString base = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        return QDir::homePath() + QStringLiteral("/.config");
    }
    return base;
}

} // namespace

QString autostartEntryPath()
{
    return configHome() + QStringLiteral("/autostart/zarvo.desktop");
}

std::optional<QByteArray> autostartEntry(const QString& executable)
{
    if (!QDir::isAbsolutePath(executable)) {
        return std::nullopt;
    }
    const std::optional<QString> exec = execArgument(executable);
    if (!exec) {
        return std::nullopt;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Zarvo\n"
                                         "Comment=Project launcher in the system tray\n"
                                         "Exec=%1\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(*exec);
    return entry.toUtf8();
}

bool startsAtLogin()
{
    return QFileInfo::exists(autostartEntryPath());
}

Status setStartAtLogin(bool enabled, const QString& executable)
{
    const QString path = autostartEntryPath();
    if (!enabled) {
        if (QFileInfo::exists(path) && !QFile::remove(path)) {
            return Status::failure(QStringLiteral("cannot remove %1").arg(path));
        }
        return Status::success();
    }
    const std::optional<QByteArray> entry = autostartEntry(executable);
    if (!entry) {
        return Status::failure(
            QStringLiteral("cannot start %1 at login: not an absolute path without control "
                           "characters")
                .arg(executable));
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        return Status::failure(QStringLiteral("cannot make the folder of %1").arg(path));
    }
    return writeFileAtomically(path, *entry);
}

} // namespace zarvo
