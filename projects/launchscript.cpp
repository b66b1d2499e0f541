#include "projects/launchscript.h"

#include "projects/textform.h"

#include <QFileInfo>
#include <QStringList>

namespace zarvo {
namespace {

constexpr QChar kSlash = QLatin1Char('/');

// PATH without its trailing slashes; "/" (or "//…") stays "/".
QString withoutTrailingSlashes(const QString& path)
{
    qsizetype end = path.size();
    while (end > 1 && path[end - 1] == kSlash) {
        --end;
    }
    return path.left(end);
}

// Double quotes become single quotes in the project's commands, its open
// command and the editor command.
QString replaceQuotes(QString text)
{
    return text.replace(QLatin1Char('"'), QLatin1Char('\''));
}

// TEXT as it may stand between shell single quotes: each ' becomes '\''.
QString shellQuoted(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// TEXT as it may stand inside an AppleScript string literal.
QString appleScriptEscaped(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return escaped;
}

constexpr int kIndent = 17;
constexpr int kEditorIndent = 21;

QString line(int indent, const QString& text)
{
    return QString(indent, QLatin1Char(' ')) + text;
}

// One `do script` line typing COMMAND; into the front window unless it is
// the one that opens the window.
QString doScript(int indent, const QString& command, bool inFrontWindow = true)
{
    QString text = QLatin1String("do script \"") + appleScriptEscaped(command) + QLatin1Char('"');
    if (inFrontWindow) {
        text += QLatin1String(" in window 1");
    }
    return line(indent, text);
}

// The project file's name as the editor gets it: a name that begins with "-"
// or "+" would be read as an option or (vim's "+cmd") a command, so it is
// given as a path in the current folder instead.
QString editorFileName(const QString& fileName)
{
    if (fileName.startsWith(QLatin1Char('-')) || fileName.startsWith(QLatin1Char('+'))) {
        return QLatin1String("./") + fileName;
    }
    return fileName;
}

// A text read as "(null)" or "" means the value is not set.
bool isSet(const QString& text)
{
    return !text.isEmpty() && text != kNullText;
}

} // namespace

QString parentPath(const QString& path)
{
    const QString trimmed = withoutTrailingSlashes(path);
    const qsizetype slash = trimmed.lastIndexOf(kSlash);
    if (slash < 0) {
        return QString(QLatin1String(""));
    }
    if (trimmed == QStringView(u"/")) {
        return trimmed;
    }
    const QString head = withoutTrailingSlashes(trimmed.left(slash));
    return head.isEmpty() ? QString(kSlash) : head;
}

QString lastPathComponent(const QString& path)
{
    const QString trimmed = withoutTrailingSlashes(path);
    if (trimmed == QStringView(u"/")) {
        return trimmed;
    }
    return trimmed.mid(trimmed.lastIndexOf(kSlash) + 1);
}

QString pathExtension(const QString& path)
{
    const QString name = lastPathComponent(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString(QLatin1String("")) : name.mid(dot + 1);
}

bool pathIsDirectory(const QString& path)
{
    // QFileInfo follows symbolic links, and a missing file is not a directory.
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QString buildLaunchScript(const ProjectEntry& entry, const LaunchSettings& settings,
                          bool pathIsDirectory)
{
    // A missing "filePath" leaves path, parent and file name absent: each
    // reads "(null)".
    const bool hasPath = entry.contains(entry_key::filePath);
    const QString path = textForm(entry, entry_key::filePath);
    const QString parent = hasPath ? parentPath(path) : kNullText;
    const QString fileName = hasPath ? lastPathComponent(path) : kNullText;
    const QString extension = hasPath ? pathExtension(path) : QString();

    const QString pull = textForm(entry, entry_key::doPull);
    const QString finder = textForm(entry, entry_key::openFinder);
    const QString custom = replaceQuotes(textForm(entry, entry_key::customOpen));
    const QString commands = replaceQuotes(textForm(entry, entry_key::commands));
    const QString editor = replaceQuotes(textForm(settings, setting_key::editorCommand));
    const QString terminal = textForm(settings, setting_key::terminal);
    const bool terminalSet = isSet(terminal);

    // Xcode projects and workspaces are directories that open as files,
    // from the folder that holds them.
    bool isFolder = pathIsDirectory;
    if (extension == QLatin1String("xcodeproj") || extension == QLatin1String("xcworkspace")) {
        isFolder = false;
    }

    QStringList lines{
        line(kIndent, QStringLiteral("tell application \"Terminal\"")),
        line(kIndent, QStringLiteral("activate")),
        doScript(kIndent, QStringLiteral("clear"), false),
        doScript(kIndent, QLatin1String(" cd ") + shellQuoted(isFolder ? path : parent)),
    };
    if (finder == QLatin1String("1")) {
        lines << doScript(kIndent, QStringLiteral("open ./"));
    }
    if (terminalSet) {
        lines << doScript(kIndent,
                          QLatin1String("open -a ") + shellQuoted(terminal) + QLatin1String(" ./"));
    }
    if (pull == QLatin1String("1")) {
        lines << doScript(kIndent, QStringLiteral("git pull"));
    }
    if (isSet(commands)) {
        lines << doScript(kIndent, commands);
    }
    const QString opener = isSet(custom) ? custom : editor;
    lines << doScript(kEditorIndent, opener + QLatin1Char(' ') +
                                         (isFolder ? QStringLiteral("./")
                                                   : shellQuoted(editorFileName(fileName))));
    if (terminalSet) {
        lines << doScript(kIndent, QStringLiteral("exit"));
    }
    lines << line(kIndent, QStringLiteral("end tell"));
    return lines.join(QLatin1Char('\n'));
}

QString launchScriptFor(const ProjectEntry& entry, const LaunchSettings& settings)
{
    const bool isDirectory = entry.contains(entry_key::filePath) &&
                             pathIsDirectory(textForm(entry, entry_key::filePath));
    return buildLaunchScript(entry, settings, isDirectory);
}

} // namespace zarvo
