// The project and settings actions of the panel controller: the new-project
// form, removing a project, scanning for projects, the settings form, the
// help pages and quitting.

#include "panel/panelcontroller.h"

#include "app/applicationdelegate.h"
#include "app/autostart.h"
#include "app/helppages.h"
#include "app/launcherprogram.h"
#include "panel/fileopenpanel.h"
#include "panel/scandialog.h"
#include "panel/searchfieldview.h"
#include "panel/xtableview.h"
#include "platform/diagnostics.h"
#include "platform/openpanel.h"
#include "platform/services.h"
#include "platform/tmuxsessionrunner.h"
#include "platform/urlopener.h"
#include "projects/projectstore.h"
#include "projects/textform.h"

#include "ui_panel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QStringListModel>
#include <QTimer>

#include <chrono>

namespace zarvo {
namespace {

// After a project is created, the search for it and the selection of the
// first match come this much later.
constexpr std::chrono::milliseconds kCreatedProjectSearchDelay{500};

// A check box's state as the store keeps it.
QString stateText(const QCheckBox* box)
{
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

OpenPanel& openPanelService()
{
    if (OpenPanel* installed = services().openPanel) {
        return *installed;
    }
    static FileOpenPanel desktop;
    return desktop;
}

// A failure is logged, never shown.
void openUrl(const QUrl& url)
{
    if (!url.isValid()) {
        logLine(QStringLiteral("No help pages to open"));
        return;
    }
    const bool opened =
        services().urlOpener ? services().urlOpener->openUrl(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        logLine(QStringLiteral("Cannot open %1").arg(url.toString()));
    }
}

// Brings a form window to the front with the keyboard, even while another
// application is active.
void orderFrontRegardless(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

QString settingText(const std::optional<LaunchSettings>& settings, const QString& key)
{
    if (!settings || !settings->contains(key)) {
        return QString();
    }
    return textForm(*settings, key);
}

} // namespace

QCheckBox* PanelController::startAtLogin() const
{
    return ui_->startAtLogin;
}

QWidget* PanelController::shortcutRecorderSlot() const
{
    return ui_->shortcutRecorderSlot;
}

QCheckBox* PanelController::order_by_use() const
{
    return ui_->order_by_use;
}

QCheckBox* PanelController::open_in_tmux() const
{
    return ui_->open_in_tmux;
}

QLabel* PanelController::open_in_tmux_note() const
{
    return ui_->open_in_tmux_note;
}

void PanelController::awakeForms()
{
    // The options menu names the project Remove would remove.
    QMenu* menu = ui_->launchMenu;
    connect(menu, &QMenu::aboutToShow, this, [this] {
        QComboBox* popUp = ui_->project_select;
        QAction* remove = ui_->actionRemoveProject;
        if (popUp->currentIndex() >= 0) {
            remove->setText(tr("Remove \u201c%1\u201d").arg(popUp->currentText()));
            remove->setEnabled(true);
        } else {
            remove->setText(tr("Remove Project"));
            remove->setEnabled(false);
        }
    });
}

void PanelController::refillProjectSelect()
{
    // The names go in as one list that shares their text with the store's
    // reading: added as items one by one, 10,000 projects cost 4 ms at every
    // opening and 2.5 MiB of items.
    QComboBox* popUp = ui_->project_select;
    auto* names = qobject_cast<QStringListModel*>(popUp->model());
    if (!names) {
        names = new QStringListModel(popUp);
        popUp->setModel(names);
    }
    names->setStringList(ProjectStore::projectNames());
    popUp->setCurrentIndex(names->rowCount() > 0 ? 0 : -1);
}

void PanelController::openCreateProject()
{
    setHasActivePanel(false);
    closePanel();
    orderFrontRegardless(createProject_.get());
    ui_->project_name->setFocus(Qt::OtherFocusReason);
}

void PanelController::selectFolder()
{
    OpenPanelOptions options;
    options.canChooseFiles = true;
    options.canChooseDirectories = true;
    options.canCreateDirectories = true;
    QPointer<QLineEdit> path = ui_->project_path;
    openPanelService().beginWithCompletionHandler(
        createProject_.get(), options, [path](int result, const QStringList& paths) {
            if (result == modal_response::ok && !paths.isEmpty() && path) {
                path->setText(paths.first());
            }
        });
}

void PanelController::create()
{
    // The new entry, from the form's fields.
    const QString name = ui_->project_name->text();
    const QString path = ui_->project_path->text();
    const ProjectEntry entry{
        {entry_key::filePath, path},
        {entry_key::doPull, stateText(ui_->project_pull)},
        {entry_key::openFinder, stateText(ui_->project_finder)},
        {entry_key::customOpen, ui_->project_custom->text()},
        {entry_key::commands, ui_->project_commands->text()},
    };

    // Without a name or a path nothing is stored; the form keeps what was typed.
    if (name.isEmpty() || path.isEmpty()) {
        return;
    }

    // An entry of the same name is replaced. A failed write is not
    // reported: the pop-up shows what the store holds.
    logLine(QStringLiteral("Creating project: %1").arg(name));
    ProjectStore::saveProject(name, entry);

    // The name and path fields are cleared; the check boxes and the two
    // command fields keep their contents.
    QComboBox* popUp = ui_->project_select;
    popUp->clear();
    ui_->project_name->setText(QString());
    ui_->project_path->setText(QString());

    // The pop-up lists the store again, with the new project chosen.
    refillProjectSelect();
    popUp->setCurrentIndex(popUp->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));

    // The new project is the launch target.
    if (ApplicationDelegate* app = ApplicationDelegate::shared()) {
        app->setSelectedProject(name);
    }

    // The panel is opened again through hasActivePanel, which the form's opening had cleared,
    // so that Escape, a click elsewhere or a launch close the panel again
    // and the tray icon shows it open. Opening resets the search state.
    if (hasActivePanel()) {
        openPanel();
    } else {
        setHasActivePanel(true);
    }

    // The search field shows the name. Setting the text by program runs no
    // search; the delayed one below does.
    ui_->searchField->setText(name);

    // The search for the new name, once the panel is open again.
    QTimer::singleShot(kCreatedProjectSearchDelay, this, &PanelController::runSearch);

    // The row selected below must not count as a click, so it launches nothing.
    ui_->searchResults->setDidClick(std::nullopt);

    // The first row is selected, scheduled after the search, so it runs after the list is reloaded.
    XTableView* table = ui_->searchResults;
    QTimer::singleShot(kCreatedProjectSearchDelay, table,
                       [table] { table->selectRowIndexes(0, false); });

    // Finally the form closes.
    createProject_->close();
}

void PanelController::remove()
{
    QComboBox* popUp = ui_->project_select;
    const bool chosen = popUp->currentIndex() >= 0;
    const QString name = chosen ? popUp->currentText() : QString();
    logLine(QStringLiteral("Removing project: %1").arg(chosen ? name : kNullText));
    if (!chosen) {
        return;
    }
    // A failed write is not reported: the pop-up shows what the store holds.
    ProjectStore::removeProject(name);
    refillProjectSelect();
}

void PanelController::scanFolder()
{
    setHasActivePanel(false);
    if (!scanDialog_) {
        scanDialog_ = std::make_unique<ScanDialog>(openPanelService());
        // The panel's pop-up shows the new projects; no search is started.
        connect(scanDialog_.get(), &ScanDialog::projectsAdded, this,
                &PanelController::refillProjectSelect);
    }
    scanDialog_->begin();
}

void PanelController::openPreferences()
{
    setHasActivePanel(false);
    closePanel();
    // The fields show the settings as stored now, also before the panel has
    // ever opened (the form can be reached from the tray menu first).
    const std::optional<LaunchSettings> settings = ProjectStore::loadSettings();
    ui_->editor_cmd->setText(settingText(settings, setting_key::editorCommand));
    ui_->terminal_app->setText(settingText(settings, setting_key::terminal));
    ui_->startAtLogin->setChecked(zarvo::startsAtLogin());
    ui_->order_by_use->setChecked(settingText(settings, setting_key::order) ==
                                  QLatin1String("use"));
    // tmux can be chosen only where it is installed; a stored choice still shows.
    const bool hasTmux = tmuxIsInstalled();
    ui_->open_in_tmux->setChecked(settingText(settings, setting_key::openIn) ==
                                  QLatin1String("tmux"));
    ui_->open_in_tmux->setEnabled(hasTmux || ui_->open_in_tmux->isChecked());
    ui_->open_in_tmux_note->setVisible(!hasTmux);
    orderFrontRegardless(openPreferences_.get());
}

void PanelController::updateEditorCmd()
{
    ProjectStore::saveSetting(setting_key::editorCommand, ui_->editor_cmd->text());
    openPreferences_->close();
}

void PanelController::updateTerminalApp()
{
    ProjectStore::saveSetting(setting_key::terminal, ui_->terminal_app->text());
    openPreferences_->close();
}

void PanelController::updateStartAtLogin()
{
    QCheckBox* box = ui_->startAtLogin;
    const Status status = setStartAtLogin(box->isChecked(), launcherProgram());
    if (!status.ok()) {
        logLine(status.error);
        // The box shows what will happen at the next login.
        box->setChecked(zarvo::startsAtLogin());
    }
}

void PanelController::updateOrderByUse()
{
    ProjectStore::saveSetting(setting_key::order, ui_->order_by_use->isChecked()
                                                      ? QStringLiteral("use")
                                                      : QStringLiteral("store"));
}

void PanelController::updateOpenIn()
{
    ProjectStore::saveSetting(setting_key::openIn, ui_->open_in_tmux->isChecked()
                                                       ? QStringLiteral("tmux")
                                                       : QStringLiteral("window"));
    if (!tmuxIsInstalled()) {
        // Once unchecked it cannot be chosen again until tmux is there.
        ui_->open_in_tmux->setEnabled(ui_->open_in_tmux->isChecked());
    }
}

void PanelController::goToHelp()
{
    openUrl(helpPageUrl(helpBaseUrl(), HelpPage::help));
}

void PanelController::goToCommands()
{
    openUrl(helpPageUrl(helpBaseUrl(), HelpPage::launchCommands));
}

void PanelController::close()
{
    // Every change has been written by its own action: nothing to save, no
    // question to ask. The event loop ends with status 0 at once, even inside
    // a menu's or a dialog's loop, and the application returns it; the tray
    // icon and the instance's socket are removed on the way out.
    QCoreApplication::exit(0);
}

} // namespace zarvo
