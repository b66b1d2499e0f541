#include "platform/terminalscriptrunner.h"

#include "platform/diagnostics.h"
#include "platform/terminalemulators.h"
#include "platform/watchedstart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace zarvo {
namespace {

// ---- Reading the script -------------------------------------------------

enum class TokenKind { Word, Number, String };

struct Token {
    TokenKind kind;
    QString text;
};

struct Statement {
    int line = 0;
    QList<Token> tokens;
};

bool isWord(const Token& token, QLatin1String word)
{
    return token.kind == TokenKind::Word && token.text.compare(word, Qt::CaseInsensitive) == 0;
}

// Splits TEXT into statements, one per line, except that a string may run
// over several lines. Returns an error message, empty on success.
QString tokenize(const QString& text, QList<Statement>* statements)
{
    int line = 1;
    Statement current{line, {}};
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        const QChar c = text[i];
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            i += (c == QLatin1Char('\r') && i + 1 < size && text[i + 1] == QLatin1Char('\n')) ? 2
                                                                                              : 1;
            statements->append(current);
            current = {++line, {}};
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            ++i;
        } else if (c == QLatin1Char('"')) {
            QString value;
            bool closed = false;
            ++i;
            while (i < size && !closed) {
                const QChar d = text[i++];
                if (d == QLatin1Char('"')) {
                    closed = true;
                } else if (d == QLatin1Char('\\')) {
                    if (i >= size) {
                        break;
                    }
                    switch (text[i++].unicode()) {
                    case '"':
                        value += QLatin1Char('"');
                        break;
                    case '\\':
                        value += QLatin1Char('\\');
                        break;
                    case 'n':
                        value += QLatin1Char('\n');
                        break;
                    case 't':
                        value += QLatin1Char('\t');
                        break;
                    case 'r':
                        value += QLatin1Char('\r');
                        break;
                    default:
                        return QStringLiteral("line %1: unknown escape \\%2")
                            .arg(line)
                            .arg(text[i - 1]);
                    }
                } else if (d.isNull()) {
                    return QStringLiteral("line %1: a NUL character in a string").arg(line);
                } else {
                    if (d == QLatin1Char('\n')) {
                        ++line;
                    }
                    value += d;
                }
            }
            if (!closed) {
                return QStringLiteral("line %1: unterminated string").arg(current.line);
            }
            current.tokens.append({TokenKind::String, value});
        } else if (c.isLetter() || c == QLatin1Char('_')) {
            const qsizetype start = i;
            while (i < size && (text[i].isLetterOrNumber() || text[i] == QLatin1Char('_'))) {
                ++i;
            }
            current.tokens.append({TokenKind::Word, text.mid(start, i - start)});
        } else if (c.isDigit()) {
            const qsizetype start = i;
            while (i < size && text[i].isDigit()) {
                ++i;
            }
            current.tokens.append({TokenKind::Number, text.mid(start, i - start)});
        } else {
            return QStringLiteral("line %1: unexpected character \"%2\"").arg(line).arg(c);
        }
    }
    statements->append(current);
    return {};
}

// ---- The shell side -----------------------------------------------------

// Runs before the commands of every window. Written for any POSIX shell with
// `local`, so that it also works where bash is missing.
constexpr char kShellPreamble[] =
    R"sh(# Zarvo: the commands of one project launch, run as if typed into this
# terminal one after another. This file deletes itself as it starts.
rm -f -- "$0"
# Ctrl-C stops the running command only, as it would at a prompt.
trap : INT

# __zarvo_stay: stays in the user's shell, in the folder the commands left.
__zarvo_stay() {
    if [ -n "${SHELL:-}" ] && [ -x "$SHELL" ]; then
        exec "$SHELL"
    fi
    exec /bin/sh
}

# __zarvo_folder_gone FOLDER: the launch could not change into FOLDER. Says so
# in one line and stays in this shell, where it is, running nothing more of
# the launch: the project's commands are meant for that folder only.
__zarvo_folder_gone() {
    if [ -e "$1" ]; then
        printf 'Zarvo: cannot change into %s, so nothing more of this launch runs.\n' "$1" >&2
    else
        printf 'Zarvo: the folder %s is gone, so nothing more of this launch runs.\n' "$1" >&2
    fi
    __zarvo_stay
}

# When `open -a` found no application, an `exit` among the commands waits for
# Return, so that the window does not close before its message can be read.
__zarvo_on_exit() {
    if [ -n "${__zarvo_open_failed:-}" ]; then
        printf '%s' 'Press Return to close this window. '
        read -r __zarvo_answer || :
    fi
}
trap __zarvo_on_exit EXIT

# __zarvo_absolute PATH: PATH as an absolute path.
__zarvo_absolute() {
    if [ -d "$1" ]; then
        (CDPATH= cd -- "$1" && pwd)
    else
        case $1 in
        /*) printf '%s\n' "$1" ;;
        *) printf '%s\n' "$PWD/$1" ;;
        esac
    fi
}

# __zarvo_start FOLDER PROGRAM [ARGUMENT...]: starts PROGRAM in FOLDER in a
# session of its own, with its standard streams away from this terminal, and
# returns as soon as it has left this terminal's session, so that neither the
# end of this window nor its hang-up can reach it. It is not waited for.
__zarvo_start() {
    local folder
    folder=$1
    shift
    if command -v setsid >/dev/null 2>&1; then
        # setsid --fork returns at once. Its child prints only once it is in
        # a session of its own, and the output ends as PROGRAM starts, which
        # is what the command substitution waits for.
        : "$(CDPATH= cd -- "$folder" &&
            exec setsid -f /bin/sh -c 'printf x; exec "$@" </dev/null >/dev/null 2>&1' sh "$@" \
                </dev/null 2>/dev/null)"
    else
        (
            CDPATH= cd -- "$folder" || exit
            nohup "$@" </dev/null >/dev/null 2>&1 &
        )
    fi
}

# __zarvo_printable TEXT: TEXT with each control character shown as "?".
__zarvo_printable() {
    printf '%s' "$1" | LC_ALL=C tr '\000-\037\177' '?'
}

# __zarvo_desktop_file ID: the desktop entry ID.desktop in the applications
# folder of the first XDG data folder that has it.
__zarvo_desktop_file() {
    local dirs dir
    dirs="${XDG_DATA_HOME:-$HOME/.local/share}:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}"
    while [ -n "$dirs" ]; do
        dir=${dirs%%:*}
        case $dirs in
        *:*) dirs=${dirs#*:} ;;
        *) dirs= ;;
        esac
        case $dir in
        /*) ;;
        *) continue ;;
        esac
        if [ -f "$dir/applications/$1.desktop" ]; then
            printf '%s\n' "$dir/applications/$1.desktop"
            return 0
        fi
    done
    return 1
}

# __zarvo_open_application NAME FOLDER: the program NAME on PATH (or its
# lower-case form), otherwise the desktop application whose id is NAME,
# started detached in FOLDER. A name with "/" or a control character names
# no application and is refused.
__zarvo_open_application() {
    local candidate found entry
    case $1 in
    */*)
        printf 'open: refusing the application name "%s": it contains "/"\n' \
            "$(__zarvo_printable "$1")" >&2
        __zarvo_open_failed=1
        return 1
        ;;
    esac
    if [ "$(printf '%s.' "$1" | LC_ALL=C tr -d '\000-\037\177')" != "$1." ]; then
        printf 'open: refusing the application name "%s": it contains a control character\n' \
            "$(__zarvo_printable "$1")" >&2
        __zarvo_open_failed=1
        return 1
    fi
    for candidate in "$1" "$(printf '%s' "$1" | tr '[:upper:]' '[:lower:]')"; do
        case $candidate in
        '' | -*) continue ;;
        esac
        found=$(command -v "$candidate" 2>/dev/null) || continue
        case $found in
        /*)
            __zarvo_start "$2" "$found"
            return
            ;;
        esac
    done
    case $1 in
    '' | -* | .*) ;;
    *)
        if entry=$(__zarvo_desktop_file "$1"); then
            if command -v gtk-launch >/dev/null 2>&1; then
                __zarvo_start "$2" gtk-launch "$1"
                return
            fi
            if command -v gio >/dev/null 2>&1; then
                __zarvo_start "$2" gio launch "$entry"
                return
            fi
            echo "open: cannot start the desktop entry $entry: gtk-launch (libgtk-3-bin) and gio are missing" >&2
            __zarvo_open_failed=1
            return 1
        fi
        ;;
    esac
    echo "open: no application named $1: no program of that name on PATH and no desktop entry $1.desktop" >&2
    __zarvo_open_failed=1
    return 1
}

# open PATH...: shows each path in its default application (a folder in the
# file manager). open -a NAME [FOLDER]: starts the application NAME in FOLDER.
# Both return at once and leave what they started running on its own.
open() {
    if [ "$1" = -a ]; then
        if [ $# -lt 2 ]; then
            echo 'open: -a needs an application name' >&2
            return 1
        fi
        __zarvo_open_application "$2" "${3:-.}"
        return
    fi
    if [ $# -eq 0 ]; then
        echo 'usage: open PATH... | open -a APPLICATION [FOLDER]' >&2
        return 1
    fi
    if ! command -v xdg-open >/dev/null 2>&1; then
        echo 'open: xdg-open is not installed (it comes with xdg-utils)' >&2
        return 1
    fi
    local target status=0
    for target in "$@"; do
        case $target in
        -*)
            echo "open: unsupported option $target" >&2
            status=1
            continue
            ;;
        *://*) ;;
        *) target=$(__zarvo_absolute "$target") ;;
        esac
        __zarvo_start "$PWD" xdg-open "$target"
    done
    return $status
}

)sh";

QString singleQuoted(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// The word TEXT stands for in the shell, when it is one word made of plain
// characters, single-quoted runs and backslash escapes only.
std::optional<QString> plainShellWord(QStringView text)
{
    static const QString kSpecial = QStringLiteral(" \t\n\"$`;&|<>(){}*?[]~#!");
    QString word;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == QLatin1Char('\'')) {
            const qsizetype close = text.indexOf(QLatin1Char('\''), i + 1);
            if (close < 0) {
                return std::nullopt;
            }
            word += text.mid(i + 1, close - i - 1);
            i = close + 1;
        } else if (c == QLatin1Char('\\')) {
            if (i + 1 >= text.size() || text[i + 1] == QLatin1Char('\n')) {
                return std::nullopt;
            }
            word += text[i + 1];
            i += 2;
        } else if (kSpecial.contains(c)) {
            return std::nullopt;
        } else {
            word += c;
            ++i;
        }
    }
    if (word.isEmpty()) {
        return std::nullopt;
    }
    return word;
}

// The index of the first command that is a `cd`, or -1.
qsizetype firstChangeOfFolder(const QStringList& commands)
{
    for (qsizetype i = 0; i < commands.size(); ++i) {
        const QString trimmed = commands[i].trimmed();
        if (trimmed == QLatin1String("cd") || trimmed.startsWith(QLatin1String("cd ")) ||
            trimmed.startsWith(QLatin1String("cd\t"))) {
            return i;
        }
    }
    return -1;
}

// The folder the `cd` command COMMAND names as it is written, when it is one
// plain word; "" for a bare `cd`.
std::optional<QString> folderWord(const QString& command)
{
    const QString argument = command.trimmed().mid(2).trimmed();
    if (argument.isEmpty()) {
        return QString();
    }
    return plainShellWord(argument);
}

// How long an emulator that fails is given to say so: long enough for one
// that cannot reach its display or server, short enough not to be noticed.
constexpr std::chrono::milliseconds kQuickFailure{500};

// Opens one window running COMMANDS, titled TITLE.
Status openWindow(const QStringList& commands, const QString& title)
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/zarvo-launch-XXXXXX.sh"));
    file.setAutoRemove(false);
    if (!file.open()) {
        return Status::failure(QStringLiteral("cannot create a file in %1: %2")
                                   .arg(QDir::tempPath(), file.errorString()));
    }
    const QString path = file.fileName();
    const QByteArray program = windowShellProgram(commands);
    if (file.write(program) != program.size() || !file.flush()) {
        const QString error = file.errorString();
        file.close();
        QFile::remove(path);
        return Status::failure(QStringLiteral("cannot write %1: %2").arg(path, error));
    }
    file.close();

    QString shell = QStandardPaths::findExecutable(QStringLiteral("bash"));
    if (shell.isEmpty()) {
        shell = QStringLiteral("/bin/sh");
    }
    const TerminalCandidates found = terminalCandidates(
        {shell, path}, title, QProcessEnvironment::systemEnvironment(),
        [](const QString& name) { return QStandardPaths::findExecutable(name); },
        [](const QString& link) {
            const QString real = QFileInfo(link).canonicalFilePath();
            return real.isEmpty() ? link : real;
        });
    if (!found.problem.isEmpty() || found.candidates.isEmpty()) {
        QFile::remove(path);
        return Status::failure(
            !found.problem.isEmpty()
                ? found.problem
                : QStringLiteral("no terminal emulator found (install xterm, or set "
                                 "ZARVO_TERMINAL to a terminal and its option that runs a "
                                 "command, such as \"xterm -e\")"));
    }

    const QString home = QDir::homePath();
    const std::optional<QString> target = changedFolder(commands, home);
    const bool gone = target && !QFileInfo(*target).isDir();
    const QString folder = target && !gone ? *target : home;

    QStringList failures;
    for (const TerminalCandidate& candidate : found.candidates) {
        if (!candidate.passedOver.isEmpty()) {
            failures
                << QStringLiteral("%1 passed over: %2").arg(candidate.label, candidate.passedOver);
            continue;
        }
        const WatchedStart started =
            startWatched(candidate.commandLine, folder, kQuickFailure, path);
        // An emulator whose shell has started (it removes its file first)
        // runs the launch, however the emulator itself ended: trying another
        // one would run the commands twice.
        if (!started.failed() || !QFileInfo::exists(path)) {
            for (const QString& failure : failures) {
                logLine(QStringLiteral("Terminal %1; tried the next one").arg(failure));
            }
            logLine(QStringLiteral("Launch runs in %1").arg(candidate.label));
            if (gone) {
                return Status::failure(
                    QStringLiteral("the folder %1 is gone; nothing of the launch ran")
                        .arg(*target));
            }
            return Status::success();
        }
        failures << (started.outcome == WatchedStart::Outcome::NotStarted
                         ? QStringLiteral("%1 could not be started: %2")
                               .arg(candidate.label, started.error)
                         : QStringLiteral("%1 ended at once with exit status %2")
                               .arg(candidate.label, QString::number(started.exitStatus)));
    }
    QFile::remove(path);
    return Status::failure(
        QStringLiteral("no terminal could start: %1").arg(failures.join(QLatin1String("; "))));
}

} // namespace

ParsedTerminalScript parseTerminalScript(const QString& text)
{
    ParsedTerminalScript result;
    auto fail = [&result](const QString& error) {
        result.script = {};
        result.error = error;
        return result;
    };

    QList<Statement> statements;
    if (const QString error = tokenize(text, &statements); !error.isEmpty()) {
        return fail(error);
    }

    enum class Place { BeforeTell, InsideTell, AfterTell } place = Place::BeforeTell;
    for (const Statement& statement : statements) {
        const QList<Token>& t = statement.tokens;
        if (t.isEmpty()) {
            continue;
        }
        const QString where = QStringLiteral("line %1: ").arg(statement.line);
        switch (place) {
        case Place::BeforeTell:
            if (t.size() == 3 && isWord(t[0], QLatin1String("tell")) &&
                isWord(t[1], QLatin1String("application")) && t[2].kind == TokenKind::String &&
                t[2].text == QLatin1String("Terminal")) {
                place = Place::InsideTell;
                continue;
            }
            return fail(where + QStringLiteral("expected tell application \"Terminal\""));
        case Place::AfterTell:
            return fail(where + QStringLiteral("text after end tell"));
        case Place::InsideTell:
            break;
        }
        if (t.size() == 2 && isWord(t[0], QLatin1String("end")) &&
            isWord(t[1], QLatin1String("tell"))) {
            place = Place::AfterTell;
        } else if (t.size() == 1 && isWord(t[0], QLatin1String("activate"))) {
            // Our windows come to the front by themselves.
        } else if (t.size() >= 3 && isWord(t[0], QLatin1String("do")) &&
                   isWord(t[1], QLatin1String("script")) && t[2].kind == TokenKind::String) {
            if (t.size() == 3) {
                result.script.windows.append(QStringList{t[2].text});
            } else if (t.size() == 6 && isWord(t[3], QLatin1String("in")) &&
                       isWord(t[4], QLatin1String("window")) && t[5].kind == TokenKind::Number &&
                       t[5].text == QLatin1String("1")) {
                if (result.script.windows.isEmpty()) {
                    return fail(where + QStringLiteral("no window is open"));
                }
                result.script.windows.last().append(t[2].text);
            } else {
                return fail(where + QStringLiteral("do script takes a text and \"in window 1\""));
            }
        } else {
            return fail(where + QStringLiteral("unknown statement"));
        }
    }
    if (place != Place::AfterTell) {
        return fail(QStringLiteral("missing tell application \"Terminal\" … end tell"));
    }
    return result;
}

QByteArray windowShellProgram(const QStringList& commands)
{
    QByteArray program(kShellPreamble);
    const qsizetype guarded = firstChangeOfFolder(commands);
    for (qsizetype i = 0; i < commands.size(); ++i) {
        const QByteArray run = "eval " + singleQuoted(commands[i]).toUtf8();
        if (i != guarded) {
            program += run + '\n';
            continue;
        }
        const QString folder = folderWord(commands[i]).value_or(commands[i].trimmed());
        program += run + " 2>/dev/null || __zarvo_folder_gone " +
                   singleQuoted(folder.isEmpty() ? QStringLiteral("~") : folder).toUtf8() + '\n';
    }
    program += "__zarvo_stay\n";
    return program;
}

std::optional<QString> changedFolder(const QStringList& commands, const QString& home)
{
    const qsizetype index = firstChangeOfFolder(commands);
    if (index < 0) {
        return std::nullopt;
    }
    const std::optional<QString> folder = folderWord(commands[index]);
    if (!folder) {
        return std::nullopt;
    }
    if (folder->isEmpty()) {
        return home;
    }
    return folder->startsWith(QLatin1Char('/')) ? *folder : home + QLatin1Char('/') + *folder;
}

Status TerminalScriptRunner::run(const QString& script, const QString& title)
{
    const ParsedTerminalScript parsed = parseTerminalScript(script);
    if (!parsed.error.isEmpty()) {
        return Status::failure(
            QStringLiteral("the launch script cannot be read: %1").arg(parsed.error));
    }
    Status outcome = Status::success();
    for (const QStringList& commands : parsed.script.windows) {
        if (Status opened = openWindow(commands, title); !opened.ok() && outcome.ok()) {
            outcome = std::move(opened);
        }
    }
    return outcome;
}

} // namespace zarvo
