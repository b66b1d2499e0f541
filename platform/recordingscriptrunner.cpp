#include "platform/recordingscriptrunner.h"

namespace zarvo {

Status RecordingScriptRunner::run(const QString& script, const QString& title)
{
    scripts_ << script;
    titles_ << title;
    if (onRun_) {
        onRun_(script);
    }
    return result_;
}

} // namespace zarvo
