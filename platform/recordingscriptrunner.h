#pragma once

#include "platform/scriptrunner.h"

#include <QStringList>

#include <functional>

namespace zarvo {

// A runner that runs nothing: it keeps every script it is given, in order,
// and calls an optional hook with each one (tests use it to see what else had
// happened by then).
class RecordingScriptRunner final : public ScriptRunner {
public:
    Status run(const QString& script) override;

    const QStringList& scripts() const { return scripts_; }
    void setOnRun(std::function<void(const QString&)> hook) { onRun_ = std::move(hook); }

private:
    QStringList scripts_;
    std::function<void(const QString&)> onRun_;
};

} // namespace zarvo
