#pragma once

#include "platform/atomicfile.h"
#include "platform/filetrust.h"

#include <QString>

#include <functional>
#include <optional>

namespace zarvo {

class ScriptRunner;

// Who sent the launch. The panel itself (the Return key, a click on a row)
// takes the name from the application delegate's selectedProject() and closes
// the panel after the launch returns; a button takes the title of the
// project_select pop-up's selected item, and the panel closes before the run.
enum class LaunchSender { Panel, Button };

// The launch action. NAME is the project name the sender chose; a null or
// empty NAME means nothing is selected, and then nothing at all happens.
// Otherwise, in this order: logs "Launching project: NAME"; reads the
// project's entry and the settings afresh and builds the Terminal script; for
// a Button sender calls CLOSEPANEL (which should toggle the panel closed and
// clear the tray icon's highlight); hands the script to RUNNER, or to
// services().scriptRunner when RUNNER is null, with NAME as the windows'
// title. The run returns once the terminal has been started; when it
// reports a failure (no terminal could start, the project's folder is gone)
// "Launch not run: REASON" is logged, REASON is handed to notifyUser(), and
// the launch returns false.
//
// When the store files can be changed by other users (see
// checkLaunchFilesArePrivate) one line is logged and nothing runs. The files
// are read with Writers::ownerOnly, through the descriptors that were
// checked, so exchanging files or folders after the check changes nothing.
// When the store has no entry for NAME, or the entry has no "filePath",
// one line is logged and nothing is run or closed, so the project's commands
// never run in some other folder. Every launch that runs nothing also tells
// the user (platform/notifier.h) what happened and what to do. Returns
// whether the script was handed over and the runner started it.
//
// PanelController::launch(sender) calls it as
//     launchProject(isButton ? projectSelect->currentText()
//                            : ApplicationDelegate::shared()->selectedProject(),
//                   isButton ? LaunchSender::Button : LaunchSender::Panel,
//                   [] { delegate->togglePanel();
//                        delegate->menubarController()->setHasActiveIcon(false); });
bool launchProject(const QString& name, LaunchSender sender,
                   const std::function<void()>& closePanel = {}, ScriptRunner* runner = nullptr);

// Whether launches may run from the store: the projects and settings files and
// their directory must be writable by the current user alone, or anyone else
// could plant commands for the launcher to run. The failure names the file
// and the fix; launchProject refuses to run while it fails.
Status checkLaunchFilesArePrivate();

// The script that launching NAME runs, from the store and the settings as
// they are now; reads only, opening the files as WRITERS says
// (platform/filetrust.h). Absent, with the reason in `problem`, when NAME
// has no entry, its entry has no "filePath", or a file cannot be read.
struct ProjectScript {
    std::optional<QString> script;
    QString problem;
    // The entry's "filePath" as text, when there is a script.
    QString path = {};
};
ProjectScript projectLaunchScript(const QString& name, Writers writers = Writers::anyone);

} // namespace zarvo
