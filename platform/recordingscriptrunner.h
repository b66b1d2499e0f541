#pragma once

#include "platform/scriptrunner.h"

#include <QStringList>

#include <functional>

namespace zarvo {

// A runner that runs nothing: it keeps every script it is given, and its
// title, in order, and calls an optional hook with each one (tests use it to
// see what else had happened by then).
class RecordingScriptRunner final : public ScriptRunner {
public:
    Status run(const QString& script, const QString& title) override;

    const QStringList& scripts() const { return scripts_; }
    const QStringList& titles() const { return titles_; }
    void setOnRun(std::function<void(const QString&)> hook) { onRun_ = std::move(hook); }
    // What every later run() returns (success unless set).
    void setResult(Status result) { result_ = std::move(result); }

private:
    QStringList scripts_;
    QStringList titles_;
    std::function<void(const QString&)> onRun_;
    Status result_;
};

} // namespace zarvo
