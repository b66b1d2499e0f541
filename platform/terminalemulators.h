#pragma once

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

namespace zarvo {

// Finds an executable by name on PATH (or checks an absolute path); "" when
// there is none.
using ExecutableLookup = std::function<QString(const QString& name)>;

// The file a path finally names once every symbolic link on the way is
// followed (the path itself when it is no link).
using LinkResolver = std::function<QString(const QString& path)>;

// The command line that makes the terminal emulator PROGRAM (a path) open one
// window running SHELLCOMMAND (a program and its arguments, each one argument
// of the emulator's, never joined into a string unless the emulator takes
// its command as one string), titled TITLE when TITLE is not empty. OPTIONS
// (the user's own) come right after PROGRAM. The emulator is recognised by
// NAME, its file name ("xterm", "kitty", ...); one that is not known gets the
// xterm convention `-e PROGRAM ARGUMENT...` and no title, except
// "x-terminal-emulator", which also takes the xterm title option `-T`.
QStringList emulatorCommandLine(const QString& name, const QString& program,
                                const QStringList& options, const QString& title,
                                const QStringList& shellCommand);

// Whether the emulator NAME can only open windows on a Wayland display.
bool needsWayland(const QString& name);

// One terminal emulator to try, or one passed over.
struct TerminalCandidate {
    QString label;           // for the log: "xterm", "$TERMINAL (kitty)", ...
    QStringList commandLine; // program first, with SHELLCOMMAND at its end
    QString passedOver;      // why it is not tried; then commandLine is empty
};

struct TerminalCandidates {
    QList<TerminalCandidate> candidates; // best first
    // Not empty when a terminal the user configured cannot be used; then
    // candidates is empty and nothing may be started.
    QString problem;
};

// The terminal emulators that may open the window running SHELLCOMMAND
// titled TITLE, in the order to try them:
//   $ZARVO_TERMINAL, split like shell words, with SHELLCOMMAND appended and
//       nothing else (the user says how it takes a command);
//   xdg-terminal-exec;
//   $TERMINAL, with its own words and the way the emulator takes a command;
//   x-terminal-emulator, taken for the emulator its alternative links to
//       when that is a known one (a Debian ".wrapper" stands for the emulator
//       it wraps);
//   gnome-terminal, konsole, xfce4-terminal, mate-terminal, tilix,
//       terminator, kitty, alacritty, foot, lxterminal, qterminal, sakura,
//       urxvt, st and xterm.
// Each program appears once. Wayland-only emulators are passed over (they
// stay in the list, with the reason) when ENV has no WAYLAND_DISPLAY. A $ZARVO_TERMINAL or
// $TERMINAL that cannot be read as words or whose program is not found is a problem.
TerminalCandidates terminalCandidates(const QStringList& shellCommand, const QString& title,
                                      const QProcessEnvironment& env,
                                      const ExecutableLookup& findExecutable,
                                      const LinkResolver& resolveLinks);

} // namespace zarvo
