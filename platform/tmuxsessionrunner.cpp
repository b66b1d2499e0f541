#include "platform/tmuxsessionrunner.h"

#include "platform/diagnostics.h"
#include "platform/scriptrunner.h"
#include "platform/terminalscriptrunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace zarvo {
namespace {

// tmux answers at once; a server that does not is not waited for longer.
constexpr int kTmuxTimeoutMs = 5000;

struct TmuxOutcome {
    bool ok = false;
    QString error;
};

TmuxOutcome runTmux(const QString& tmux, const QStringList& args)
{
    QProcess process;
    process.setProgram(tmux);
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(kTmuxTimeoutMs)) {
        return {false, QStringLiteral("cannot start %1").arg(tmux)};
    }
    if (!process.waitForFinished(kTmuxTimeoutMs)) {
        process.kill();
        process.waitForFinished(kTmuxTimeoutMs);
        return {false, QStringLiteral("tmux %1 did not finish").arg(args.value(0))};
    }
    const QString err = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    const bool ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return {ok, err.isEmpty() ? QStringLiteral("tmux %1 failed").arg(args.value(0)) : err};
}

QString singleQuoted(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// TEXT as an AppleScript string literal.
QString scriptString(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    escaped.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    escaped.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    escaped.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// The one-window Terminal script whose shell goes to FOLDER and attaches to
// SESSION (replacing itself, so the window closes when the user detaches).
QString attachScript(const QString& folder, const QString& session, bool leaveOuterTmux)
{
    QStringList commands{QStringLiteral("cd ") + singleQuoted(folder)};
    if (leaveOuterTmux) {
        commands << QStringLiteral("unset TMUX");
    }
    commands << QStringLiteral("exec tmux attach-session -t ") +
                    singleQuoted(QLatin1Char('=') + session);
    QString script = QStringLiteral("tell application \"Terminal\"\ndo script ") +
                     scriptString(commands.first()) + QLatin1Char('\n');
    for (qsizetype i = 1; i < commands.size(); ++i) {
        script += QStringLiteral("do script ") + scriptString(commands[i]) +
                  QStringLiteral(" in window 1\n");
    }
    return script + QStringLiteral("end tell");
}

// Writes the shell program of one window's COMMANDS to a new owner-only file
// (it deletes itself as it starts); the file's path, or empty on failure.
QString writeWindowProgram(const QStringList& commands, QString* error)
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/zarvo-tmux-XXXXXX.sh"));
    file.setAutoRemove(false);
    if (!file.open()) {
        *error = QStringLiteral("cannot create a file in %1: %2")
                     .arg(QDir::tempPath(), file.errorString());
        return {};
    }
    const QByteArray program = windowShellProgram(commands);
    if (file.write(program) != program.size() || !file.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        file.close();
        QFile::remove(file.fileName());
        return {};
    }
    file.close();
    return file.fileName();
}

} // namespace

QString tmuxSessionName(const QString& projectName)
{
    QString name = projectName;
    for (QChar& c : name) {
        // tmux itself changes "." and ":" to "_" and writes "$", "\\" and
        // control characters as escapes, which a target could not name.
        if (c == QLatin1Char('.') || c == QLatin1Char(':') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7F) {
            c = QLatin1Char('_');
        }
    }
    return name;
}

bool tmuxIsInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("tmux")).isEmpty();
}

Status TmuxSessionRunner::run(const QString& projectName, const QString& script)
{
    const QString tmux = QStandardPaths::findExecutable(QStringLiteral("tmux"));
    if (tmux.isEmpty()) {
        return Status::failure(QStringLiteral("tmux is not installed (it is not on PATH)"));
    }
    const ParsedTerminalScript parsed = parseTerminalScript(script);
    if (!parsed.error.isEmpty()) {
        return Status::failure(parsed.error);
    }
    const QString session = tmuxSessionName(projectName);
    const QString target = QLatin1Char('=') + session;
    const QString home = QDir::homePath();
    QString folder = home;
    if (!parsed.script.windows.isEmpty()) {
        folder = changedFolder(parsed.script.windows.first(), home).value_or(home);
        // The commands would run in whatever folder the session starts in.
        if (!QFileInfo(folder).isDir()) {
            return Status::failure(QStringLiteral("the folder %1 is gone").arg(folder));
        }
    }

    if (runTmux(tmux, {QStringLiteral("has-session"), QStringLiteral("-t"), target}).ok) {
        logLine(QStringLiteral("Attaching to the tmux session %1").arg(session));
    } else {
        logLine(QStringLiteral("Starting the tmux session %1").arg(session));
        for (qsizetype i = 0; i < parsed.script.windows.size(); ++i) {
            QStringList commands = parsed.script.windows[i];
            // The exit that closes a window would end the session.
            if (!commands.isEmpty() && commands.last().trimmed() == QLatin1String("exit")) {
                commands.removeLast();
            }
            QString error;
            const QString program = writeWindowProgram(commands, &error);
            if (program.isEmpty()) {
                return Status::failure(error);
            }
            QString shell = QStandardPaths::findExecutable(QStringLiteral("bash"));
            if (shell.isEmpty()) {
                shell = QStringLiteral("/bin/sh");
            }
            // With a program and its arguments tmux runs them without a shell.
            QStringList args =
                i == 0 ? QStringList{QStringLiteral("new-session"), QStringLiteral("-d"),
                                     QStringLiteral("-s"), session}
                       : QStringList{QStringLiteral("new-window"), QStringLiteral("-d"),
                                     QStringLiteral("-t"), target + QLatin1Char(':')};
            args << QStringLiteral("-c") << folder << shell << program;
            const TmuxOutcome made = runTmux(tmux, args);
            if (!made.ok) {
                QFile::remove(program);
                // Another launch may have made it a moment ago: then only attach.
                if (i > 0 ||
                    !runTmux(tmux, {QStringLiteral("has-session"), QStringLiteral("-t"), target})
                         .ok) {
                    return Status::failure(QStringLiteral("tmux: %1").arg(made.error));
                }
                break;
            }
        }
    }

    const bool insideTmux = !qEnvironmentVariableIsEmpty("TMUX");
    if (insideTmux &&
        runTmux(tmux, {QStringLiteral("switch-client"), QStringLiteral("-t"), target}).ok) {
        return Status::success();
    }
    return windows_.run(attachScript(folder, session, insideTmux), projectName);
}

} // namespace zarvo
