#include "app/commandline.h"

#include "app/desktopkeybinding.h"
#include "app/launcherprogram.h"
#include "app/scancommands.h"
#include "app/singleinstance.h"

#include "panel/listedprojects.h"
#include "platform/defaultsstore.h"
#include "platform/diagnostics.h"
#include "platform/resourcedir.h"
#include "platform/terminalscriptrunner.h"
#include "projects/launcher.h"
#include "projects/projectstore.h"
#include "projects/projectusage.h"
#include "projects/textform.h"
#include "shortcut/globalshortcut.h"
#include "shortcut/shortcut.h"

#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zarvo {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}
void out(const QString& line)
{
    print(stdout, line + QLatin1Char('\n'));
}
void err(const QString& line)
{
    print(stderr, QStringLiteral("zarvo: ") + line + QLatin1Char('\n'));
}

struct Subcommand {
    const char* name;
    const char* usage;
    const char* summary;
    int (*run)(const QStringList& args, const Subcommand& self);
};

int usageError(const Subcommand& command, const QString& problem)
{
    err(problem);
    print(stderr, QStringLiteral("usage: zarvo %1 %2\n")
                      .arg(QString::fromLatin1(command.name), QString::fromLatin1(command.usage)));
    return kExitUsage;
}

// Whether a read gave what the file holds; otherwise says why on stderr. A
// missing file is an empty store, not a failure.
bool readOrComplain(const plist::ReadReport& report)
{
    using Outcome = plist::ReadReport::Outcome;
    if (report.outcome == Outcome::refused || report.outcome == Outcome::notPropertyList) {
        err(report.reason);
        return false;
    }
    return true;
}

int list(const QStringList&, const Subcommand&)
{
    plist::ReadReport report;
    const QStringList names = ProjectStore::projectNames(&report);
    if (!readOrComplain(report)) {
        return kExitFailure;
    }
    for (const QString& name : names) {
        out(name);
    }
    return kExitOk;
}

int search(const QStringList& args, const Subcommand& self)
{
    if (args.size() != 1) {
        return usageError(self, QStringLiteral("search takes one TEXT"));
    }
    // The names the panel lists for the same text, in the same order; the
    // empty text lists none, or the most used with "Order" = "use".
    if (args[0].isEmpty() && !ordersByUse()) {
        return kExitOk;
    }
    plist::ReadReport report;
    const QStringList names = ProjectStore::projectNames(&report);
    if (!readOrComplain(report)) {
        return kExitFailure;
    }
    // One write for all the lines: a search may list thousands.
    QByteArray lines;
    for (const QString& name : listedProjects(args[0], names)) {
        lines += name.toUtf8() + '\n';
    }
    std::fwrite(lines.constData(), 1, size_t(lines.size()), stdout);
    return kExitOk;
}

// Warns on stderr about a path where nothing exists; the project is still stored.
void warnAboutMissingPath(const QString& path)
{
    if (!QFileInfo::exists(path)) {
        err(QStringLiteral("warning: nothing exists at %1; launching the project runs nothing "
                           "until it does")
                .arg(path));
    }
}

int add(const QStringList& args, const Subcommand& self)
{
    QStringList positional;
    bool replace = false;
    ProjectEntry entry{{entry_key::doPull, QStringLiteral("0")},
                       {entry_key::openFinder, QStringLiteral("0")},
                       {entry_key::customOpen, QString()},
                       {entry_key::commands, QString()}};
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--pull")) {
            entry[entry_key::doPull] = QStringLiteral("1");
        } else if (arg == QLatin1String("--finder")) {
            entry[entry_key::openFinder] = QStringLiteral("1");
        } else if (arg == QLatin1String("--replace")) {
            replace = true;
        } else if (arg == QLatin1String("--custom") || arg == QLatin1String("--commands")) {
            if (i + 1 >= args.size()) {
                return usageError(self, QStringLiteral("%1 needs a command").arg(arg));
            }
            entry[arg == QLatin1String("--custom") ? entry_key::customOpen : entry_key::commands] =
                args[++i];
        } else if (arg == QLatin1String("--")) {
            positional += args.mid(i + 1);
            break;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usageError(self, QStringLiteral("unknown option %1").arg(arg));
        } else {
            positional << arg;
        }
    }
    if (positional.size() != 2) {
        return usageError(self, QStringLiteral("add takes a NAME and a PATH"));
    }
    const QString& name = positional[0];
    const QString& path = positional[1];
    if (name.isEmpty() || path.isEmpty()) {
        return usageError(self, QStringLiteral("the name and the path must not be empty"));
    }
    if (!replace && ProjectStore::projectNames().contains(name)) {
        err(QStringLiteral("a project named \"%1\" already exists (--replace replaces it)")
                .arg(name));
        return kExitFailure;
    }
    warnAboutMissingPath(path);
    entry[entry_key::filePath] = path;
    logLine(QStringLiteral("Creating project: %1").arg(name));
    const Status status = ProjectStore::saveProject(name, entry);
    if (!status.ok()) {
        err(QStringLiteral("could not save the project: %1").arg(status.error));
        return kExitFailure;
    }
    return kExitOk;
}

int edit(const QStringList& args, const Subcommand& self)
{
    QStringList positional;
    QString newName;
    bool renamed = false;
    bool replace = false;
    ProjectEntry changes;
    const auto needsValue = [&](qsizetype i) { return i + 1 >= args.size(); };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--pull") || arg == QLatin1String("--no-pull")) {
            changes[entry_key::doPull] =
                arg == QLatin1String("--pull") ? QStringLiteral("1") : QStringLiteral("0");
        } else if (arg == QLatin1String("--finder") || arg == QLatin1String("--no-finder")) {
            changes[entry_key::openFinder] =
                arg == QLatin1String("--finder") ? QStringLiteral("1") : QStringLiteral("0");
        } else if (arg == QLatin1String("--replace")) {
            replace = true;
        } else if (arg == QLatin1String("--name") || arg == QLatin1String("--path") ||
                   arg == QLatin1String("--custom") || arg == QLatin1String("--commands")) {
            if (needsValue(i)) {
                return usageError(self, QStringLiteral("%1 needs a value").arg(arg));
            }
            const QString& value = args[++i];
            if (arg == QLatin1String("--name")) {
                newName = value;
                renamed = true;
            } else if (arg == QLatin1String("--path")) {
                changes[entry_key::filePath] = value;
            } else {
                changes[arg == QLatin1String("--custom") ? entry_key::customOpen
                                                         : entry_key::commands] = value;
            }
        } else if (arg == QLatin1String("--")) {
            positional += args.mid(i + 1);
            break;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usageError(self, QStringLiteral("unknown option %1").arg(arg));
        } else {
            positional << arg;
        }
    }
    if (positional.size() != 1) {
        return usageError(self, QStringLiteral("edit takes one NAME"));
    }
    const QString& name = positional[0];
    if (renamed && newName.isEmpty()) {
        return usageError(self, QStringLiteral("the new name must not be empty"));
    }
    if (changes.contains(entry_key::filePath)) {
        if (changes.value(entry_key::filePath).toString().isEmpty()) {
            return usageError(self, QStringLiteral("the path must not be empty"));
        }
        warnAboutMissingPath(changes.value(entry_key::filePath).toString());
    }
    logLine(QStringLiteral("Saving project: %1").arg(renamed ? newName : name));
    const Status status =
        ProjectStore::editProject(name, renamed ? newName : name, changes, replace);
    if (!status.ok()) {
        err(QStringLiteral("could not change the project: %1").arg(status.error));
        return kExitFailure;
    }
    return kExitOk;
}

int remove(const QStringList& args, const Subcommand& self)
{
    if (args.size() != 1) {
        return usageError(self, QStringLiteral("remove takes one NAME"));
    }
    const QString& name = args[0];
    plist::ReadReport report;
    const QStringList names = ProjectStore::projectNames(&report);
    if (!readOrComplain(report)) {
        return kExitFailure;
    }
    if (!names.contains(name)) {
        err(QStringLiteral("no project named \"%1\"").arg(name));
        return kExitFailure;
    }
    logLine(QStringLiteral("Removing project: %1").arg(name));
    const Status status = ProjectStore::removeProject(name);
    if (!status.ok()) {
        err(QStringLiteral("could not remove the project: %1").arg(status.error));
        return kExitFailure;
    }
    return kExitOk;
}

int shortcut(const QStringList& args, const Subcommand& self)
{
    const std::optional<Shortcut> stored = Shortcut::shortcutWithData(
        DefaultsStore::standardUserDefaults().dataForKey(globalShortcutDefaultsKey()));
    if (args.isEmpty()) {
        out(stored ? stored->description() : QStringLiteral("none"));
        return kExitOk;
    }
    if (args.size() != 1 ||
        (args[0] != QLatin1String("bind") && args[0] != QLatin1String("unbind"))) {
        return usageError(self, QStringLiteral("shortcut takes bind, unbind or nothing"));
    }
    const DesktopKeybindingResult result =
        args[0] == QLatin1String("bind")
            ? bindDesktopKeybinding(stored.value_or(defaultGlobalShortcut()), launcherProgram())
            : unbindDesktopKeybinding();
    for (const QString& line : result.lines) {
        out(line);
    }
    return result.written ? kExitOk : kExitFailure;
}

int settings(const QStringList& args, const Subcommand& self)
{
    if (args.isEmpty()) {
        plist::ReadReport report;
        const std::optional<LaunchSettings> stored =
            ProjectStore::loadSettings(Writers::anyone, &report);
        if (!readOrComplain(report)) {
            return kExitFailure;
        }
        const LaunchSettings values = stored.value_or(LaunchSettings());
        out(QStringLiteral("Editor Command: ") + textForm(values, setting_key::editorCommand));
        out(QStringLiteral("Terminal: ") + textForm(values, setting_key::terminal));
        // The optional ones once set (absent: the store's order, a window).
        for (const QString& key : {setting_key::order, setting_key::openIn}) {
            if (values.contains(key)) {
                out(key + QStringLiteral(": ") + textForm(values, key));
            }
        }
        return kExitOk;
    }
    if (args.size() != 2) {
        return usageError(self, QStringLiteral("settings takes a setting and a value"));
    }
    QString key;
    if (args[0] == QLatin1String("editor")) {
        key = setting_key::editorCommand;
    } else if (args[0] == QLatin1String("terminal")) {
        key = setting_key::terminal;
    } else if (args[0] == QLatin1String("order") || args[0] == QLatin1String("open")) {
        // Settings with a fixed choice of values.
        const bool order = args[0] == QLatin1String("order");
        const QStringList choices =
            order ? QStringList{QStringLiteral("store"), QStringLiteral("use")}
                  : QStringList{QStringLiteral("window"), QStringLiteral("tmux")};
        if (!choices.contains(args[1])) {
            return usageError(
                self, QStringLiteral("%1 is %2").arg(args[0], choices.join(QLatin1Char('|'))));
        }
        key = order ? setting_key::order : setting_key::openIn;
    } else {
        return usageError(self, QStringLiteral("unknown setting %1").arg(args[0]));
    }
    const Status status = ProjectStore::saveSetting(key, args[1]);
    if (!status.ok()) {
        err(QStringLiteral("could not save the setting: %1").arg(status.error));
        return kExitFailure;
    }
    return kExitOk;
}

int toggle(const QStringList& args, const Subcommand& self)
{
    if (!args.isEmpty()) {
        return usageError(self, QStringLiteral("toggle takes no arguments"));
    }
    // The desktop's token for the command it started: the panel may take the focus.
    switch (sendToRunningInstance(InstanceRequest::toggle, activationTokenFromEnvironment())) {
    case Delivery::delivered:
        return kExitOk;
    case Delivery::noInstance:
        err(QStringLiteral("zarvo is not running"));
        return kExitFailure;
    case Delivery::noAnswer:
        break;
    }
    err(QStringLiteral("the running zarvo does not answer"));
    return kExitFailure;
}

int scan(const QStringList& args, const Subcommand& self)
{
    return runScanCommand(args, [&](const QString& problem) { return usageError(self, problem); });
}

int importFromEditor(const QStringList& args, const Subcommand& self)
{
    return runImportCommand(args,
                            [&](const QString& problem) { return usageError(self, problem); });
}

// The script NAME's launch would run, or a message and exit status 1 when
// NAME cannot be launched (the panel stays silent in that case instead).
std::optional<QString> scriptOrComplain(const QStringList& args, const Subcommand& self,
                                        int* status)
{
    if (args.size() != 1) {
        *status = usageError(
            self, QStringLiteral("%1 takes one NAME").arg(QString::fromLatin1(self.name)));
        return std::nullopt;
    }
    ProjectScript built = projectLaunchScript(args[0]);
    if (!built.script) {
        err(built.problem);
        *status = kExitFailure;
    }
    return built.script;
}

int script(const QStringList& args, const Subcommand& self)
{
    int status = kExitOk;
    if (const std::optional<QString> text = scriptOrComplain(args, self, &status)) {
        out(*text);
    }
    return status;
}

int launch(const QStringList& args, const Subcommand& self)
{
    int status = kExitOk;
    if (!scriptOrComplain(args, self, &status)) {
        return status;
    }
    if (const Status trusted = checkLaunchFilesArePrivate(); !trusted.ok()) {
        err(QStringLiteral("refusing to launch: %1").arg(trusted.error));
        return kExitFailure;
    }
    // The real runner, whatever the services hold: it returns once the
    // terminal has started, so exiting right after leaves the launch running.
    TerminalScriptRunner runner;
    return launchProject(args[0], LaunchSender::Panel, {}, &runner) ? kExitOk : kExitFailure;
}

// Every subcommand, in the order --help lists them.
const Subcommand kSubcommands[] = {
    {"list", "", "print every project name, one per line", list},
    {"search", "TEXT", "print the names the panel lists for TEXT, one per line", search},
    {"add", "NAME PATH [--pull] [--finder] [--custom CMD] [--commands CMD] [--replace]",
     "add a project; one of that name is replaced only with --replace", add},
    {"edit",
     "NAME [--name NEW] [--path P] [--pull|--no-pull] [--finder|--no-finder]\n"
     "      [--custom CMD] [--commands CMD] [--replace]",
     "change a project, keeping what is not given; --name renames it (onto an\n"
     "      existing name only with --replace)",
     edit},
    {"remove", "NAME", "remove a project", remove},
    {"scan", "[--dry-run] [--depth N] DIR...",
     "add the project folders in and below each DIR, N levels deep (4 by default),\n"
     "      and print NAME<TAB>PATH for each; --dry-run prints the same and adds nothing",
     scan},
    {"import", "vscode|jetbrains [--dry-run]",
     "add the folders VS Code or a JetBrains IDE opened recently, as scan does", importFromEditor},
    {"settings", "[editor VALUE | terminal VALUE | order store|use | open window|tmux]",
     "print the settings, or set the editor command, the terminal, the order of\n"
     "      the search (use: most used first) or where a launch runs (tmux: a session)",
     settings},
    {"shortcut", "[bind | unbind]",
     "print the global shortcut stored in the user defaults, or none; bind makes\n"
     "      it a keybinding of GNOME's settings that runs \"zarvo toggle\" and prints the\n"
     "      lines for sway, i3 and Hyprland; unbind removes what bind wrote",
     shortcut},
    {"script", "NAME", "print the Terminal script that launching NAME runs; runs nothing", script},
    {"launch", "NAME", "launch NAME: open a terminal window that runs its script", launch},
    {"toggle", "", "open or close the panel of the running launcher", toggle},
};

QString helpText()
{
    QString text = QStringLiteral(
        "Zarvo: a launcher for software projects.\n"
        "\n"
        "Started without a subcommand, Zarvo puts its icon into the system tray. A click\n"
        "on the icon, or the global shortcut Ctrl+Alt+Super+K, drops a panel under the\n"
        "icon: type a few letters of a project's name, choose with Up and Down, and\n"
        "press Return (or click the name) to open a terminal window in the project's\n"
        "folder that, as the project asks, opens the folder, runs git pull and the\n"
        "project's commands and opens the editor. Escape closes the panel. The panel's\n"
        "+ button adds a project; its options button scans a folder for projects,\n"
        "removes one and opens the settings (editor command, second terminal, global\n"
        "shortcut, start at login).\n"
        "\n"
        "usage: zarvo                 start the desktop launcher\n"
        "       zarvo SUBCOMMAND ...\n"
        "       zarvo --help | --version\n"
        "\n"
        "Subcommands:\n");
    for (const Subcommand& command : kSubcommands) {
        const QString usage = QString::fromLatin1(command.usage);
        text += QStringLiteral("  %1%2\n      %3\n")
                    .arg(QString::fromLatin1(command.name),
                         usage.isEmpty() ? usage : QLatin1Char(' ') + usage,
                         QString::fromLatin1(command.summary));
    }
    text +=
        QStringLiteral("\nProjects and settings live in %1 (set ZARVO_RESOURCES to change it).\n")
            .arg(resourceDirectory());
    text +=
        QStringLiteral("The global shortcut (Ctrl+Alt+Super+K until another one is recorded in\n"
                       "the settings) is stored in %1.\n")
            .arg(DefaultsStore::standardPath());
    text += QStringLiteral(
        "\n"
        "Environment:\n"
        "  ZARVO_RESOURCES  the folder of projects.plist and settings.plist\n"
        "  ZARVO_TERMINAL   the terminal a launch opens, as a command line to which the\n"
        "                   shell command is appended (default: the desktop's terminal)\n"
        "  ZARVO_HOTKEY_BACKEND  x11, portal or none: where the global shortcut comes\n"
        "                   from (default: X11 key grabs in an X11 session; in a Wayland\n"
        "                   session the desktop portal's GlobalShortcuts where the\n"
        "                   desktop offers them, else none)\n"
        "\n"
        "In a Wayland session the launcher runs on Xwayland when there is one, so\n"
        "that the panel can sit under the icon (set QT_QPA_PLATFORM to choose\n"
        "otherwise). Where the desktop gives no global shortcut, bind a keyboard\n"
        "shortcut of the desktop's settings to \"zarvo toggle\" (\"zarvo shortcut\n"
        "bind\" does it for GNOME).\n");
    return text;
}

} // namespace

std::optional<int> runCommandLine(const QStringList& args)
{
    if (args.isEmpty()) {
        return std::nullopt;
    }
    const QString& first = args.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") ||
        first == QLatin1String("help")) {
        print(stdout, helpText());
        return kExitOk;
    }
    if (first == QLatin1String("--version")) {
        out(QStringLiteral("zarvo " ZARVO_VERSION));
        return kExitOk;
    }
    for (const Subcommand& command : kSubcommands) {
        if (first == QLatin1String(command.name)) {
            prepareResourceDirectory();
            const int status = command.run(args.mid(1), command);
            // Output that never arrived (a full disk, a closed pipe) is a failure.
            if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
                err(QStringLiteral("cannot write the output: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
                return kExitFailure;
            }
            return status;
        }
    }
    err(QStringLiteral("unknown subcommand \"%1\"").arg(first));
    print(stderr, helpText());
    return kExitUsage;
}

} // namespace zarvo
