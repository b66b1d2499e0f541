#include "support/runzarvo.h"

#include <QProcess>

#include <grp.h>
#include <unistd.h>

namespace zarvo::test {

namespace {

ProcessResult run(const QStringList& args, const QProcessEnvironment& extra, bool unprivileged,
                  const QString& outputFile = {})
{
    constexpr int kTimeoutMs = 30000;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : extra.keys()) {
        env.insert(key, extra.value(key));
    }
    process.setProcessEnvironment(env);
    if (unprivileged && runsAsRoot()) {
        process.setChildProcessModifier([] {
            constexpr uid_t kNobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
                ::_exit(127);
            }
        });
    }
    if (!outputFile.isEmpty()) {
        process.setStandardOutputFile(outputFile);
    }
    process.start(QStringLiteral(ZARVO_EXE_PATH), args);
    process.closeWriteChannel();
    if (!process.waitForFinished(kTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

bool runsAsRoot()
{
    return ::geteuid() == 0;
}

ProcessResult runZarvo(const QStringList& args, const QProcessEnvironment& extra,
                       const QString& outputFile)
{
    return run(args, extra, false, outputFile);
}

ProcessResult runZarvoUnprivileged(const QStringList& args, const QProcessEnvironment& extra)
{
    return run(args, extra, true);
}

} // namespace zarvo::test
