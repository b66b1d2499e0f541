#include "projects/launcher.h"

#include "platform/diagnostics.h"
#include "platform/filetrust.h"
#include "platform/scriptrunner.h"
#include "platform/services.h"
#include "projects/launchscript.h"
#include "projects/projectstore.h"

namespace zarvo {

ProjectScript projectLaunchScript(const QString& name)
{
    const std::optional<ProjectEntry> entry = ProjectStore::projectEntry(name);
    if (!entry) {
        return {std::nullopt, QStringLiteral("no project named \"%1\"").arg(name)};
    }
    if (!entry->contains(entry_key::filePath)) {
        return {std::nullopt,
                QStringLiteral("project \"%1\" has no \"%2\"").arg(name, entry_key::filePath)};
    }
    const LaunchSettings settings = ProjectStore::loadSettings().value_or(LaunchSettings());
    return {launchScriptFor(*entry, settings), QString()};
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
        return false;
    }
    const ProjectScript built = projectLaunchScript(name);
    if (!built.script) {
        logLine(QStringLiteral("Launch not run: %1").arg(built.problem));
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
    runner->run(*built.script);
    return true;
}

} // namespace zarvo
