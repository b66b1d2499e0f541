#include "support/runzarvo.h"

#include <QProcess>

namespace zarvo::test {

ProcessResult runZarvo(const QStringList& args, const QProcessEnvironment& extra)
{
    constexpr int kTimeoutMs = 30000;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : extra.keys()) {
        env.insert(key, extra.value(key));
    }
    process.setProcessEnvironment(env);
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

} // namespace zarvo::test
