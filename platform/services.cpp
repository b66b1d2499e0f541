#include "platform/services.h"

#include "platform/terminalscriptrunner.h"

namespace zarvo {

Services& services()
{
    // The terminal runner needs nothing set up, so launches work from the start.
    static TerminalScriptRunner terminal;
    static Services installed = [] {
        Services chosen;
        chosen.scriptRunner = &terminal;
        return chosen;
    }();
    return installed;
}

} // namespace zarvo
