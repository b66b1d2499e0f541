#pragma once

#include "platform/atomicfile.h"

#include <QString>

namespace zarvo {

class ScriptRunner;

// The name of the tmux session of the project NAME: the name with every
// character tmux does not keep as it is replaced by "_": "." and ":" (they
// separate a target's session, window and pane), "$", "\" and control
// characters (tmux stores them escaped).
QString tmuxSessionName(const QString& projectName);

// Whether tmux is on PATH.
bool tmuxIsInstalled();

// Runs a launch's Terminal script in the project's tmux session, on the
// user's default server (the one $TMUX names inside tmux; TMUX_TMPDIR is
// tmux's own business). When the session is not there it is created,
// detached, in the folder the script changes into, and its first window runs
// the script's commands exactly as a terminal window of TerminalScriptRunner
// would (the same shell program: `open`, then the user's shell), except a
// final `exit`, which would end the session. When the session is there
// nothing is run in it. Then the user is attached: `tmux switch-client` when
// this process runs inside tmux, otherwise one terminal window, opened
// through WINDOWS, that runs `tmux attach-session`.
class TmuxSessionRunner final {
public:
    explicit TmuxSessionRunner(ScriptRunner& windows) : windows_(windows) {}

    // Whether the session was there already is in the log line; a failure
    // (no tmux, a script that does not parse, a project folder that is gone,
    // tmux refusing) runs nothing.
    Status run(const QString& projectName, const QString& script);

private:
    ScriptRunner& windows_;
};

} // namespace zarvo
