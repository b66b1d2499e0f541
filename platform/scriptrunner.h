#pragma once

#include "platform/status.h"

#include <QString>

namespace zarvo {

// Runs a Terminal script: the text a launch builds, which tells the Terminal
// application to open a window and type commands into it. TITLE names the
// windows (the project's name; empty for none). The call returns once the
// run is under way, with the reason when it could not get there (no
// terminal could start, the folder is gone), so that the caller can tell
// the user.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    virtual Status run(const QString& script, const QString& title) = 0;
};

} // namespace zarvo
