#pragma once

#include "platform/status.h"

#include <QString>

namespace zarvo {

// Runs a Terminal script: the text a launch builds, which tells the Terminal
// application to open a window and type commands into it. The call returns
// once the run is under way; failures stay silent to the user (a runner may
// log them) and nothing is returned.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    virtual Status run(const QString& script) = 0;
};

} // namespace zarvo
