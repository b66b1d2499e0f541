#include "platform/recordingscriptrunner.h"

namespace zarvo {

Status RecordingScriptRunner::run(const QString& script)
{
    scripts_ << script;
    if (onRun_) {
        onRun_(script);
    }
    return Status::success();
}

} // namespace zarvo
