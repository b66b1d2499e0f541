#include "app/desktopkeybinding.h"

#include "shortcut/shortcuttrigger.h"

#include <QProcess>
#include <QRegularExpression>

namespace zarvo {
namespace {

const QString kListSchema = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
const QString kListKey = QStringLiteral("custom-keybindings");
const QString kEntrySchema =
    QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding");
constexpr int kGsettingsTimeoutMs = 10000;

struct Run {
    bool ok = false;
    QString output;
    QString error;
};

Run gsettings(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral("gsettings"), args);
    Run run;
    if (!process.waitForStarted(kGsettingsTimeoutMs)) {
        run.error = QStringLiteral("gsettings cannot be started (%1)").arg(process.errorString());
        return run;
    }
    if (!process.waitForFinished(kGsettingsTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.error = QStringLiteral("gsettings did not finish");
        return run;
    }
    run.output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    run.error = QString::fromUtf8(process.readAllStandardError()).trimmed();
    run.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return run;
}

QString entrySchema()
{
    return kEntrySchema + QLatin1Char(':') + QLatin1String(kGnomeKeybindingPath);
}

// A string in GVariant's text form.
QString quoted(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

// The custom keybinding paths, read from "['/a/', '/b/']" or "@as []".
// Nothing when the text is not such a list.
std::optional<QStringList> parsePaths(const QString& text)
{
    QString list = text;
    if (list.startsWith(QLatin1String("@as "))) {
        list = list.mid(4);
    }
    if (!list.startsWith(QLatin1Char('[')) || !list.endsWith(QLatin1Char(']'))) {
        return std::nullopt;
    }
    QStringList paths;
    static const QRegularExpression item(QStringLiteral("'([^'\\\\]*)'"));
    for (const QRegularExpressionMatch& match : item.globalMatch(list)) {
        paths << match.captured(1);
    }
    return paths;
}

QString pathList(const QStringList& paths)
{
    QStringList items;
    for (const QString& path : paths) {
        items << quoted(path);
    }
    return QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']');
}

// The list as it is now, or the reason it cannot be read.
std::optional<QStringList> readPaths(QString* problem)
{
    const Run read = gsettings({QStringLiteral("get"), kListSchema, kListKey});
    if (!read.ok) {
        *problem = read.error.isEmpty() ? QStringLiteral("gsettings failed") : read.error;
        return std::nullopt;
    }
    const std::optional<QStringList> paths = parsePaths(read.output);
    if (!paths) {
        *problem = QStringLiteral("gsettings answered %1").arg(read.output);
    }
    return paths;
}

QString notWritten(const QString& problem)
{
    return QStringLiteral("GNOME's keyboard settings were not changed: %1").arg(problem);
}

// TEXT as one word of a command line that desktops split as a shell does.
QString shellWord(const QString& text)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._+-]+$"));
    if (plain.match(text).hasMatch()) {
        return text;
    }
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

DesktopKeybindingResult bindDesktopKeybinding(const Shortcut& shortcut, const QString& program)
{
    const QString command = shellWord(program) + QStringLiteral(" toggle");
    DesktopKeybindingResult result;
    const QString accelerator = gnomeAccelerator(shortcut);
    if (accelerator.isEmpty()) {
        result.lines << QStringLiteral("%1 has no key a desktop's settings can name")
                            .arg(shortcut.description());
        return result;
    }
    QString problem;
    std::optional<QStringList> paths = readPaths(&problem);
    if (paths) {
        const QString path = QLatin1String(kGnomeKeybindingPath);
        // The entry first, then the list that makes GNOME look at it.
        const struct {
            const char* key;
            QString value;
        } values[] = {
            {"name", QStringLiteral("Zarvo")},
            {"command", command},
            {"binding", accelerator},
        };
        for (const auto& value : values) {
            const Run set = gsettings({QStringLiteral("set"), entrySchema(),
                                       QString::fromLatin1(value.key), value.value});
            if (!set.ok) {
                problem = set.error;
                paths.reset();
                break;
            }
        }
        if (paths && !paths->contains(path)) {
            paths->append(path);
            const Run set =
                gsettings({QStringLiteral("set"), kListSchema, kListKey, pathList(*paths)});
            if (!set.ok) {
                problem = set.error;
                paths.reset();
            }
        }
    }
    result.written = paths.has_value();
    result.lines << (result.written ? QStringLiteral("GNOME: %1 now runs \"%2\" (Settings → "
                                                     "Keyboard → Custom Shortcuts)")
                                          .arg(accelerator, command)
                                    : notWritten(problem));
    result.lines << QStringLiteral("sway or i3: add to the configuration");
    result.lines << QStringLiteral("  ") + swayBinding(shortcut, command);
    result.lines << QStringLiteral("Hyprland: add to hyprland.conf");
    result.lines << QStringLiteral("  ") + hyprlandBinding(shortcut, command);
    return result;
}

DesktopKeybindingResult unbindDesktopKeybinding()
{
    DesktopKeybindingResult result;
    QString problem;
    std::optional<QStringList> paths = readPaths(&problem);
    if (paths) {
        const QString path = QLatin1String(kGnomeKeybindingPath);
        if (paths->removeAll(path) > 0) {
            const Run set =
                gsettings({QStringLiteral("set"), kListSchema, kListKey, pathList(*paths)});
            if (!set.ok) {
                problem = set.error;
                paths.reset();
            }
        }
        for (const char* key : {"name", "command", "binding"}) {
            if (paths) {
                gsettings({QStringLiteral("reset"), entrySchema(), QString::fromLatin1(key)});
            }
        }
    }
    result.written = paths.has_value();
    result.lines << (result.written ? QStringLiteral("GNOME: the Zarvo shortcut is removed")
                                    : notWritten(problem));
    result.lines << QStringLiteral("sway, i3 or Hyprland: remove the line that runs \"zarvo "
                                   "toggle\" from the configuration");
    return result;
}

} // namespace zarvo
