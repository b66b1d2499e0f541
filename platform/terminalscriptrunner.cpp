#include "platform/terminalscriptrunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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

# __zarvo_start FOLDER PROGRAM [ARGUMENT...]: starts PROGRAM in FOLDER, in a
# session of its own so that it outlives this terminal.
__zarvo_start() {
    (
        CDPATH= cd -- "$1" || exit
        shift
        if command -v setsid >/dev/null 2>&1; then
            setsid "$@" </dev/null >/dev/null 2>&1 &
        else
            nohup "$@" </dev/null >/dev/null 2>&1 &
        fi
    )
}

# __zarvo_desktop_file NAME: the desktop entry NAME.desktop, or the one whose
# Name is NAME in any letter case, from the XDG data folders.
__zarvo_desktop_file() {
    local dirs dir entry
    dirs="${XDG_DATA_HOME:-$HOME/.local/share}:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}"
    while [ -n "$dirs" ]; do
        dir=${dirs%%:*}
        case $dirs in
        *:*) dirs=${dirs#*:} ;;
        *) dirs= ;;
        esac
        [ -n "$dir" ] && [ -d "$dir/applications" ] || continue
        if [ -f "$dir/applications/$1.desktop" ]; then
            printf '%s\n' "$dir/applications/$1.desktop"
            return 0
        fi
        for entry in "$dir/applications"/*.desktop; do
            if [ -f "$entry" ] && grep -Fxqi -e "Name=$1" -- "$entry"; then
                printf '%s\n' "$entry"
                return 0
            fi
        done
    done
    return 1
}

# __zarvo_open_application NAME FOLDER: the program NAME on PATH (or its
# lower-case form), otherwise the desktop application NAME, started in FOLDER.
__zarvo_open_application() {
    local candidate found entry
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
    if entry=$(__zarvo_desktop_file "$1"); then
        if command -v gtk-launch >/dev/null 2>&1; then
            entry=${entry##*/}
            __zarvo_start "$2" gtk-launch "${entry%.desktop}"
            return
        fi
        if command -v gio >/dev/null 2>&1; then
            __zarvo_start "$2" gio launch "$entry"
            return
        fi
    fi
    echo "open: no application named $1" >&2
    return 1
}

# open PATH...: shows each path in its default application (a folder in the
# file manager). open -a NAME [FOLDER]: starts the application NAME in FOLDER.
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
        xdg-open "$target" || status=1
    done
    return $status
}

)sh";

// After the commands: stay in the user's shell, in the folder the commands
// left, unless one of them ended this shell.
constexpr char kShellEnding[] = R"sh(
if [ -n "${SHELL:-}" ] && [ -x "$SHELL" ]; then
    exec "$SHELL"
fi
exec /bin/sh
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

// TEXT split into words as a shell splits them, with its quotes and
// backslashes removed; nothing is expanded. Absent when a quote is not closed.
std::optional<QStringList> shellWords(const QString& text)
{
    QStringList words;
    QString word;
    bool inWord = false;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inWord) {
                words << word;
                word.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('\'')) {
            const qsizetype close = text.indexOf(QLatin1Char('\''), i + 1);
            if (close < 0) {
                return std::nullopt;
            }
            word += text.mid(i + 1, close - i - 1);
            i = close;
        } else if (c == QLatin1Char('"')) {
            for (++i; i < size && text[i] != QLatin1Char('"'); ++i) {
                if (text[i] == QLatin1Char('\\') && i + 1 < size &&
                    QStringView(u"$`\"\\\n").contains(text[i + 1])) {
                    ++i;
                    if (text[i] == QLatin1Char('\n')) {
                        continue;
                    }
                }
                word += text[i];
            }
            if (i >= size) {
                return std::nullopt;
            }
        } else if (c == QLatin1Char('\\')) {
            if (++i < size && text[i] != QLatin1Char('\n')) {
                word += text[i];
            }
        } else {
            word += c;
        }
    }
    if (inWord) {
        words << word;
    }
    return words;
}

// How each known emulator takes the command it runs.
struct Emulator {
    QLatin1String name;
    QStringList beforeCommand;
};

const QList<Emulator>& knownEmulators()
{
    static const QList<Emulator> emulators{
        {QLatin1String("gnome-terminal"), {QStringLiteral("--")}},
        {QLatin1String("konsole"), {QStringLiteral("-e")}},
        {QLatin1String("xfce4-terminal"), {QStringLiteral("-x")}},
        {QLatin1String("kitty"), {}},
        {QLatin1String("alacritty"), {QStringLiteral("-e")}},
        {QLatin1String("foot"), {}},
        {QLatin1String("xterm"), {QStringLiteral("-e")}},
    };
    return emulators;
}

// The arguments that come before the command for the emulator PROGRAM; the
// xterm convention "-e" for one we do not know.
QStringList optionsBeforeCommand(const QString& program)
{
    const QString name = QFileInfo(program).fileName();
    for (const Emulator& emulator : knownEmulators()) {
        if (name == emulator.name) {
            return emulator.beforeCommand;
        }
    }
    return {QStringLiteral("-e")};
}

Status openWindow(const QStringList& commands)
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
        const QString reason = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        file.close();
        QFile::remove(path);
        return Status::failure(reason);
    }
    file.close();

    QString shell = QStandardPaths::findExecutable(QStringLiteral("bash"));
    if (shell.isEmpty()) {
        shell = QStringLiteral("/bin/sh");
    }
    const QStringList command = terminalCommandLine(
        {shell, path}, QProcessEnvironment::systemEnvironment(),
        [](const QString& name) { return QStandardPaths::findExecutable(name); });
    if (command.isEmpty()) {
        QFile::remove(path);
        return Status::failure(QStringLiteral("no terminal emulator found (set ZARVO_TERMINAL)"));
    }

    const QString home = QDir::homePath();
    QString folder = changedFolder(commands, home).value_or(home);
    if (!QFileInfo(folder).isDir()) {
        folder = home;
    }

    // startDetached() forks twice, so the emulator is never our zombie, and
    // returns once it has been executed or has failed to be.
    QProcess process;
    process.setProgram(command.first());
    process.setArguments(command.mid(1));
    process.setWorkingDirectory(folder);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        QFile::remove(path);
        return Status::failure(QStringLiteral("cannot start the terminal %1").arg(command.first()));
    }
    return Status::success();
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
    for (const QString& command : commands) {
        program += "eval " + singleQuoted(command).toUtf8() + '\n';
    }
    program += kShellEnding;
    return program;
}

std::optional<QString> changedFolder(const QStringList& commands, const QString& home)
{
    for (const QString& command : commands) {
        const QString trimmed = command.trimmed();
        if (trimmed != QLatin1String("cd") && !trimmed.startsWith(QLatin1String("cd ")) &&
            !trimmed.startsWith(QLatin1String("cd\t"))) {
            continue;
        }
        const QString argument = trimmed.mid(2).trimmed();
        if (argument.isEmpty()) {
            return home;
        }
        const std::optional<QString> folder = plainShellWord(argument);
        if (!folder) {
            return std::nullopt;
        }
        return folder->startsWith(QLatin1Char('/')) ? *folder : home + QLatin1Char('/') + *folder;
    }
    return std::nullopt;
}

QStringList terminalCommandLine(const QStringList& shellCommand, const QProcessEnvironment& env,
                                const ExecutableLookup& findExecutable)
{
    if (env.contains(QStringLiteral("ZARVO_TERMINAL"))) {
        const QStringList words =
            shellWords(env.value(QStringLiteral("ZARVO_TERMINAL"))).value_or(QStringList());
        if (!words.isEmpty()) {
            return words + shellCommand;
        }
    }
    if (const QString found = findExecutable(QStringLiteral("xdg-terminal-exec"));
        !found.isEmpty()) {
        return QStringList{found} + shellCommand;
    }
    QStringList terminal =
        shellWords(env.value(QStringLiteral("TERMINAL"))).value_or(QStringList());
    if (!terminal.isEmpty()) {
        const QString found = findExecutable(terminal.first());
        if (!found.isEmpty()) {
            const QStringList options = optionsBeforeCommand(terminal.first());
            terminal.first() = found;
            return terminal + options + shellCommand;
        }
    }
    if (const QString found = findExecutable(QStringLiteral("x-terminal-emulator"));
        !found.isEmpty()) {
        return QStringList{found, QStringLiteral("-e")} + shellCommand;
    }
    for (const Emulator& emulator : knownEmulators()) {
        const QString found = findExecutable(emulator.name);
        if (!found.isEmpty()) {
            return QStringList{found} + emulator.beforeCommand + shellCommand;
        }
    }
    return {};
}

Status TerminalScriptRunner::run(const QString& script)
{
    const ParsedTerminalScript parsed = parseTerminalScript(script);
    if (!parsed.error.isEmpty()) {
        return Status::failure(
            QStringLiteral("the launch script cannot be carried out: %1").arg(parsed.error));
    }
    // Every window is tried; the first one that did not open is the answer.
    Status outcome = Status::success();
    for (const QStringList& commands : parsed.script.windows) {
        if (Status opened = openWindow(commands); !opened.ok() && outcome.ok()) {
            outcome = std::move(opened);
        }
    }
    return outcome;
}

} // namespace zarvo
