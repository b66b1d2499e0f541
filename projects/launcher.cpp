#include "projects/launcher.h"

#include "platform/diagnostics.h"
#include "platform/filetrust.h"
#include "platform/notifier.h"
#include "platform/scriptrunner.h"
#include "platform/services.h"
#include "platform/tmuxsessionrunner.h"
#include "projects/launchscript.h"
#include "projects/projectstore.h"
#include "projects/projectusage.h"
#include "projects/textform.h"

#include <QDateTime>

namespace zarvo {
namespace {

// Uses are recorded only while the search orders by them: with the store's
// order nothing about launches is kept.
void recordLaunch(const QString& name)
{
    if (!ordersByUse()) {
        return;
    }
    if (const Status recorded = ProjectUsage::recordUse(name, QDateTime::currentSecsSinceEpoch());
        !recorded.ok()) {
        logLine(QStringLiteral("Could not record the use: %1").arg(recorded.error));
    }
}

} // namespace

ProjectScript projectLaunchScript(const QString& name, Writers writers)
{
    plist::ReadReport store;
    const std::optional<ProjectEntry> entry = ProjectStore::projectEntry(name, writers, &store);
    if (!entry) {
        if (!store.reason.isEmpty()) {
            return {std::nullopt, store.reason};
        }
        return {std::nullopt, QStringLiteral("no project named \"%1\"").arg(name)};
    }
    if (!entry->contains(entry_key::filePath)) {
        return {std::nullopt,
                QStringLiteral("project \"%1\" has no \"%2\"").arg(name, entry_key::filePath)};
    }
    // Settings that are missing or not a property list read as none; a file
    // that may not be read stops the launch.
    plist::ReadReport read;
    const auto settings = ProjectStore::loadSettings(writers, &read);
    if (read.outcome == plist::ReadReport::Outcome::refused) {
        return {std::nullopt, read.reason};
    }
    return {launchScriptFor(*entry, settings.value_or(LaunchSettings())), QString(),
            textForm(*entry, entry_key::filePath)};
}

Status checkLaunchFilesArePrivate()
{
    for (const auto& path : {ProjectStore::projectsPath(), ProjectStore::settingsPath()}) {
        if (!path) {
            continue;
        }
        if (Status status = checkOnlyOwnerCanWrite(*path); !status.ok()) {
            return status;
        }
    }
    return Status::success();
}

bool launchProject(const QString& name, LaunchSender sender,
                   const std::function<void()>& closePanel, ScriptRunner* runner)
{
    if (name.isEmpty()) {
        return false;
    }
    logLine(QStringLiteral("Launching project: %1").arg(name));
    if (const Status trusted = checkLaunchFilesArePrivate(); !trusted.ok()) {
        logLine(QStringLiteral("Launch refused: %1").arg(trusted.error));
        notifyUser(
            QStringLiteral("Zarvo did not launch \u201c%1\u201d").arg(name),
            QStringLiteral("Others could change the projects it would run: %1").arg(trusted.error));
        return false;
    }
    // The check above names the fix; this read checks again what it opens,
    // so files or folders exchanged after that check are refused, never read.
    const ProjectScript built = projectLaunchScript(name, Writers::ownerOnly);
    if (!built.script) {
        logLine(QStringLiteral("Launch not run: %1").arg(built.problem));
        notifyUser(QStringLiteral("Zarvo did not launch \u201c%1\u201d").arg(name),
                   QStringLiteral("Nothing was run: %1. Open the panel again to see the "
                                  "projects as they are stored now.")
                       .arg(built.problem));
        return false;
    }
    if (sender == LaunchSender::Button && closePanel) {
        closePanel();
    }
    if (!runner) {
        runner = services().scriptRunner;
    }
    if (!runner) {
        logLine(QStringLiteral("Launch not run: no script runner is installed"));
        return false;
    }
    // "Open In" = "tmux": the same script, run in the project's tmux session.
    const std::optional<LaunchSettings> settings = ProjectStore::loadSettings(Writers::ownerOnly);
    const bool inTmux =
        settings && textForm(*settings, setting_key::openIn) == QLatin1String("tmux");
    const Status ran = inTmux ? TmuxSessionRunner(*runner).run(name, *built.script)
                              : runner->run(*built.script, name);
    if (!ran.ok()) {
        logLine(QStringLiteral("Launch not run: %1").arg(ran.error));
        notifyUser(QStringLiteral("Launch failed"), ran.error);
        return false;
    }
    recordLaunch(name);
    return true;
}

} // namespace zarvo
