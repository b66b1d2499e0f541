#include "platform/recordingscriptrunner.h"

namespace zarvo {

void RecordingScriptRunner::run(const QString& script)
{
    scripts_ << script;
    if (onRun_) {
        onRun_(script);
    }
}

} // namespace zarvo
