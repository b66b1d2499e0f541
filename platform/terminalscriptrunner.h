#pragma once

#include "platform/scriptrunner.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace zarvo {

// What a Terminal script asks for: the windows it opens, each with the
// commands typed into it, in order.
struct TerminalScript {
    QList<QStringList> windows;
};

// The outcome of reading a Terminal script; error is empty when it parsed.
struct ParsedTerminalScript {
    TerminalScript script;
    QString error;
};

// Reads the part of AppleScript that launch scripts use:
//     tell application "Terminal"
//         activate
//         do script "COMMAND"               -- opens a new window
//         do script "COMMAND" in window 1   -- types into the newest window
//     end tell
// Keywords are matched in any letter case. Strings decode \" \\ \n \t \r;
// any other escape, any other statement or a NUL character is an error.
ParsedTerminalScript parseTerminalScript(const QString& text);

// The shell program one window runs: gives `open` its Linux meaning
// (`open PATH` through xdg-open, `open -a NAME [FOLDER]` starts the program
// or desktop application NAME in FOLDER; both start it detached and return
// at once), runs each command with eval exactly as written, in one shell so
// that a `cd` holds, going on after a failing command, and finally replaces
// itself with the user's $SHELL unless a command ended the shell. The first
// `cd` is the exception: when it fails, the shell says so in one line and
// runs nothing more of the commands, staying open where it is. When `open -a`
// found no application, the window waits for Return before an `exit` closes
// it, so that its message can be read. The program deletes its own file as it
// starts.
QByteArray windowShellProgram(const QStringList& commands);

// The folder that the first `cd` among COMMANDS changes into, when that
// command is `cd` and one plainly quoted word; relative folders are taken
// from HOME. Absent when there is no such command.
std::optional<QString> changedFolder(const QStringList& commands, const QString& home);

// Carries out a Terminal script in real terminal emulator windows. Each window
// of the script becomes one new terminal window, titled with the run's title,
// whose shell runs the window's commands (see windowShellProgram()). The
// commands reach the shell through a file created exclusively and readable by
// its owner only; nothing of them is ever put into another command line. The
// emulators of terminalCandidates() are tried in turn, each started in the
// project's folder in a session of its own: one that cannot be executed, or
// that ends with an error within half a second before its shell has started,
// is followed by the next. The log says which one runs the window. run()
// fails, with the reason, when the script cannot be read, a configured
// terminal is not there, no terminal could start (its file is then removed),
// or the folder of the first `cd` is gone (the window still opens and says
// so).
class TerminalScriptRunner final : public ScriptRunner {
public:
    Status run(const QString& script, const QString& title) override;
};

} // namespace zarvo
