#pragma once

#include "platform/scriptrunner.h"

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
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
// or desktop application NAME in FOLDER), runs each command with eval exactly
// as written, in one shell so that a `cd` holds, going on after a failing
// command, and finally replaces itself with the user's $SHELL unless a
// command ended the shell. The program deletes its own file as it starts.
QByteArray windowShellProgram(const QStringList& commands);

// The folder that the first `cd` among COMMANDS changes into, when that
// command is `cd` and one plainly quoted word; relative folders are taken
// from HOME. Absent when there is no such command.
std::optional<QString> changedFolder(const QStringList& commands, const QString& home);

// Finds an executable by name on PATH (or checks an absolute path); "" when
// there is none.
using ExecutableLookup = std::function<QString(const QString& name)>;

// The command line that opens a terminal window running SHELLCOMMAND (the
// program and its arguments), or an empty list when no terminal emulator is
// found. In order: $ZARVO_TERMINAL (split like shell words, SHELLCOMMAND
// appended), xdg-terminal-exec, $TERMINAL, x-terminal-emulator, then
// gnome-terminal, konsole, xfce4-terminal, kitty, alacritty, foot and xterm,
// each with its own way of taking a command.
QStringList terminalCommandLine(const QStringList& shellCommand, const QProcessEnvironment& env,
                                const ExecutableLookup& findExecutable);

// Carries out a Terminal script in real terminal emulator windows. Each window
// of the script becomes one new terminal window whose shell runs the window's
// commands (see windowShellProgram()). The commands reach the shell through a
// file created exclusively and readable by its owner only; nothing of them is
// ever put into another command line. The emulator is started detached, with
// an argument list, in the project's folder; run() returns once it has
// started. A window that cannot be opened makes run() fail with the reason.
class TerminalScriptRunner final : public ScriptRunner {
public:
    Status run(const QString& script) override;
};

} // namespace zarvo
