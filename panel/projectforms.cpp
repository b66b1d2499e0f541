// The project and settings actions of the panel controller: the project form
// (new and edit), removing a project and undoing that, scanning for projects,
// the settings form, the help pages and quitting.

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
#include "platform/notifier.h"
#include "platform/openpanel.h"
#include "platform/screencoordinates.h"
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
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStringListModel>
#include <QStyle>
#include <QTextBrowser>
#include <QTimer>

#include <chrono>

namespace zarvo {
namespace {

// After a project is created, the search for it and the selection of the
// first match come this much later.
constexpr std::chrono::milliseconds kCreatedProjectSearchDelay{500};

// How long a removal can be undone.
constexpr std::chrono::milliseconds kUndoTime{10000};
// Room the window manager's frame takes around a form before the form has
// been framed once: a title bar above, thin borders elsewhere.
const QMargins kExpectedFrame(4, 32, 4, 4);
// The dynamic property that marks an empty field the form needs.
constexpr char kMissingProperty[] = "missing";

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

// Whether a browser took the page.
bool openInBrowser(const QUrl& url)
{
    return services().urlOpener ? services().urlOpener->openUrl(url)
                                : QDesktopServices::openUrl(url);
}

// Brings a form window to the front with the keyboard, even while another
// application is active.
void orderFrontRegardless(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

// An entry's value for a field of the form: its text form, or nothing for a
// key the entry does not have.
QString fieldText(const ProjectEntry& entry, const QString& key)
{
    return entry.contains(key) ? textForm(entry, key) : QString();
}

void markMissing(QLineEdit* field, bool missing)
{
    if (field->property(kMissingProperty).toBool() == missing) {
        return;
    }
    field->setProperty(kMissingProperty, missing);
    // The style sheet's [missing="true"] rule follows the property only once repolished.
    field->style()->unpolish(field);
    field->style()->polish(field);
}

void tellSaveFailed(const QString& what, const Status& status)
{
    logLine(QStringLiteral("%1: %2").arg(what, status.error));
    notifyUser(what, QStringLiteral("%1. Check that the file can be written, then try again.")
                         .arg(status.error));
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
        QAction* remove = ui_->actionRemoveProject;
        const std::optional<QString> chosen = chosenProject();
        if (chosen) {
            remove->setText(tr("Remove \u201c%1\u201d").arg(*chosen));
        } else {
            remove->setText(tr("Remove Project"));
        }
        remove->setEnabled(chosen.has_value());
        ui_->actionEditProject->setEnabled(chosen.has_value());
    });

    auto* createForm = static_cast<QDialog*>(ui_->createProject);
    auto* settingsForm = static_cast<QDialog*>(ui_->openPreferences);
    connect(ui_->btnCancelCreate, &QPushButton::clicked, createForm, &QDialog::reject);
    connect(ui_->btnCancelPreferences, &QPushButton::clicked, settingsForm, &QDialog::reject);
    createForm->setStyleSheet(QStringLiteral(
        "QLineEdit[missing=\"true\"] { border: 2px solid rgb(220, 50, 50); border-radius: 3px; }"));
    for (QLineEdit* field : {ui_->project_name, ui_->project_path}) {
        connect(field, &QLineEdit::textChanged, field, [field] { markMissing(field, false); });
    }

    undoTimer_ = new QTimer(this);
    undoTimer_->setObjectName(QStringLiteral("undoTimer"));
    undoTimer_->setSingleShot(true);
    undoTimer_->setInterval(kUndoTime);
    connect(undoTimer_, &QTimer::timeout, this, &PanelController::endUndo);
}

QWidget* PanelController::undoBar() const
{
    return ui_->undoBar;
}

std::optional<QString> PanelController::chosenProject() const
{
    if (ui_->scrollView->isVisibleTo(window_) && window_->isVisible()) {
        const QList<qsizetype> rows = ui_->searchResults->selectedRowIndexes();
        const ApplicationDelegate* app = ApplicationDelegate::shared();
        if (!rows.isEmpty() && app && app->searchArray() && rows.first() >= 0 &&
            rows.first() < app->searchArray()->size()) {
            return app->searchArray()->at(rows.first());
        }
    }
    const QComboBox* popUp = ui_->project_select;
    if (popUp->currentIndex() >= 0) {
        return popUp->currentText();
    }
    return std::nullopt;
}

bool PanelController::ask(QWidget* over, const QString& text, const QString& detail,
                          const QString& accept)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Zarvo"), text, QMessageBox::NoButton,
                    over);
    box.setInformativeText(detail);
    QPushButton* yes = box.addButton(accept, QMessageBox::AcceptRole);
    QPushButton* no = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.setWindowModality(Qt::ApplicationModal);
    const bool panelOpen = hasActivePanel();
    asking_ = true;
    box.exec();
    asking_ = false;
    if (panelOpen && hasActivePanel()) {
        window_->activateWindow();
    }
    return box.clickedButton() == yes;
}

void PanelController::showForm(QWidget* form)
{
    // The screen that holds the panel: the one under the tray icon.
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) {
        orderFrontRegardless(form);
        return;
    }
    const QRectF icon = qtRectFromScreen(statusRectForWindow(window_), QRectF(primary->geometry()));
    QScreen* screen = QGuiApplication::screenAt(icon.center().toPoint());
    if (!screen) {
        screen = primary;
    }
    const QRect area = screen->availableGeometry();
    form->resize(form->size().expandedTo(form->minimumSizeHint()));
    // A framed form knows its frame; before that, allow for a usual one.
    const QRect inner = form->geometry();
    const QRect outer = form->frameGeometry();
    const QMargins frame =
        form->testAttribute(Qt::WA_WState_Created) && outer != inner
            ? QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                       outer.right() - inner.right(), outer.bottom() - inner.bottom())
            : kExpectedFrame;
    const QSize whole = form->size().grownBy(frame);
    QPoint topLeft = area.center() - QPoint(whole.width() / 2, whole.height() / 2);
    // Wholly inside the screen, the title bar first where it cannot all fit.
    topLeft.setX(std::max(area.left(), std::min(topLeft.x(), area.right() + 1 - whole.width())));
    topLeft.setY(std::max(area.top(), std::min(topLeft.y(), area.bottom() + 1 - whole.height())));
    form->move(topLeft);
    orderFrontRegardless(form);
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
    plist::ReadReport report;
    names->setStringList(ProjectStore::projectNames(&report));
    popUp->setCurrentIndex(names->rowCount() > 0 ? 0 : -1);
    ui_->btnLaunch->setEnabled(names->rowCount() > 0);
    // A file that is there but cannot be read is told once, not at every opening.
    const bool unreadable = report.outcome == plist::ReadReport::Outcome::refused ||
                            report.outcome == plist::ReadReport::Outcome::notPropertyList;
    const QString problem = unreadable ? report.reason : QString();
    if (!problem.isEmpty() && problem != storeProblem_) {
        logLine(QStringLiteral("Cannot read the projects: %1").arg(problem));
        notifyUser(tr("Zarvo cannot read its projects"),
                   tr("%1. The panel lists no projects until the file is mended or removed.")
                       .arg(problem));
    }
    storeProblem_ = problem;
}

void PanelController::openCreateProject()
{
    setHasActivePanel(false);
    closePanel();
    leaveEditMode();
    showForm(createProject_.get());
    ui_->project_name->setFocus(Qt::OtherFocusReason);
}

void PanelController::editProject()
{
    const std::optional<QString> name = chosenProject();
    if (!name) {
        return;
    }
    plist::ReadReport report;
    const std::optional<ProjectEntry> entry =
        ProjectStore::projectEntry(*name, Writers::anyone, &report);
    if (!entry) {
        const QString why = report.reason.isEmpty()
                                ? tr("no project named \u201c%1\u201d is stored").arg(*name)
                                : report.reason;
        logLine(QStringLiteral("Cannot edit project %1: %2").arg(*name, why));
        notifyUser(tr("Zarvo cannot edit \u201c%1\u201d").arg(*name),
                   tr("%1. Open the panel again to see the projects as they are stored.").arg(why));
        return;
    }
    setHasActivePanel(false);
    closePanel();
    if (!editing_) {
        draft_ = {ui_->project_name->text(),      ui_->project_path->text(),
                  ui_->project_custom->text(),    ui_->project_commands->text(),
                  ui_->project_pull->isChecked(), ui_->project_finder->isChecked()};
    }
    editing_ = *name;
    ui_->project_name->setText(*name);
    ui_->project_path->setText(fieldText(*entry, entry_key::filePath));
    ui_->project_pull->setChecked(fieldText(*entry, entry_key::doPull) == QLatin1String("1"));
    ui_->project_finder->setChecked(fieldText(*entry, entry_key::openFinder) == QLatin1String("1"));
    ui_->project_custom->setText(fieldText(*entry, entry_key::customOpen));
    ui_->project_commands->setText(fieldText(*entry, entry_key::commands));
    createProject_->setWindowTitle(tr("Edit Project"));
    ui_->btnCreate->setText(tr("Save"));
    showForm(createProject_.get());
    ui_->project_name->setFocus(Qt::OtherFocusReason);
}

void PanelController::leaveEditMode()
{
    if (!editing_) {
        return;
    }
    editing_.reset();
    ui_->project_name->setText(draft_.name);
    ui_->project_path->setText(draft_.path);
    ui_->project_custom->setText(draft_.custom);
    ui_->project_commands->setText(draft_.commands);
    ui_->project_pull->setChecked(draft_.pull);
    ui_->project_finder->setChecked(draft_.finder);
    createProject_->setWindowTitle(tr("New Project"));
    ui_->btnCreate->setText(tr("Create"));
}

void PanelController::selectFolder()
{
    OpenPanelOptions options;
    options.canChooseFiles = true;
    options.canChooseDirectories = true;
    options.canCreateDirectories = true;
    // The folder of what the path field names, or the nearest folder above
    // it that exists; the home folder when the field names nothing.
    const QString typed = ui_->project_path->text().trimmed();
    QString start =
        typed.isEmpty() ? QString() : QDir::cleanPath(QDir::home().absoluteFilePath(typed));
    while (!start.isEmpty() && !QFileInfo(start).isDir()) {
        const QString parent = QFileInfo(start).path();
        start = parent == start ? QString() : parent;
    }
    options.directory = start.isEmpty() || start == QDir::rootPath() ? QDir::homePath() : start;
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

    // The form keeps what was typed, and marks what is missing.
    QWidget* form = createProject_.get();
    if (name.isEmpty() || path.isEmpty()) {
        markMissing(ui_->project_name, name.isEmpty());
        markMissing(ui_->project_path, path.isEmpty());
        (name.isEmpty() ? ui_->project_name : ui_->project_path)->setFocus(Qt::OtherFocusReason);
        return;
    }

    // Another project's entry is replaced only when the user says so.
    const bool otherName = !editing_ || *editing_ != name;
    if (otherName && ProjectStore::projectNames().contains(name) &&
        !ask(form, tr("A project named \u201c%1\u201d already exists. Replace it?").arg(name),
             tr("Its entry is replaced by this one."), tr("Replace"))) {
        ui_->project_name->setFocus(Qt::OtherFocusReason);
        return;
    }
    // A path may name a folder still to come, but that is seldom meant.
    if (!QFileInfo::exists(path) &&
        !ask(form, tr("Nothing exists at \u201c%1\u201d.").arg(path),
             tr("A launch of the project runs nothing until the path exists. Keep this path?"),
             tr("Keep Path"))) {
        ui_->project_path->setFocus(Qt::OtherFocusReason);
        return;
    }

    // An edit keeps the entry's keys the form does not show, and a new name
    // moves the entry in the same write. A failed write keeps the form open
    // with what was typed.
    Status status;
    if (editing_) {
        logLine(QStringLiteral("Saving project: %1").arg(name));
        status = ProjectStore::editProject(*editing_, name, entry, true);
    } else {
        logLine(QStringLiteral("Creating project: %1").arg(name));
        status = ProjectStore::saveProject(name, entry);
    }
    if (!status.ok()) {
        tellSaveFailed(tr("Zarvo could not save \u201c%1\u201d").arg(name), status);
        return;
    }

    // The check boxes and the two command fields keep their contents; after
    // an edit the form shows the new project that was being written before.
    QComboBox* popUp = ui_->project_select;
    popUp->clear();
    ui_->project_name->setText(QString());
    ui_->project_path->setText(QString());
    leaveEditMode();

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

    createProject_->close();
}

void PanelController::remove()
{
    const std::optional<QString> chosen = chosenProject();
    logLine(QStringLiteral("Removing project: %1").arg(chosen ? *chosen : kNullText));
    if (!chosen) {
        return;
    }
    const QString name = *chosen;
    if (!ask(hasActivePanel() ? window_ : nullptr,
             tr("Remove the project \u201c%1\u201d? Its folder is not touched.").arg(name),
             QString(), tr("Remove"))) {
        return;
    }
    QVariant removed;
    const Status status = ProjectStore::removeProject(name, &removed);
    if (!status.ok()) {
        tellSaveFailed(tr("Zarvo could not remove \u201c%1\u201d").arg(name), status);
    } else if (removed.isValid()) {
        undoName_ = name;
        undoValue_ = removed;
        ui_->undoLabel->setText(tr("Removed \u201c%1\u201d").arg(name));
        undoTimer_->start();
    }
    refillProjectSelect();
    // The name leaves the list as well.
    if (!ui_->searchField->text().isEmpty()) {
        runSearch();
    }
    windowDidResize();
}

void PanelController::undoRemove()
{
    if (!undoTimer_->isActive()) {
        return;
    }
    const QString name = undoName_;
    const QVariant value = undoValue_;
    endUndo();
    logLine(QStringLiteral("Restoring project: %1").arg(name));
    const Status status = ProjectStore::restoreProject(name, value);
    if (!status.ok()) {
        tellSaveFailed(tr("Zarvo could not restore \u201c%1\u201d").arg(name), status);
    }
    refillProjectSelect();
    const int index =
        ui_->project_select->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        ui_->project_select->setCurrentIndex(index);
    }
    if (!ui_->searchField->text().isEmpty()) {
        runSearch();
    }
}

void PanelController::endUndo()
{
    undoTimer_->stop();
    undoName_.clear();
    undoValue_ = QVariant();
    windowDidResize();
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
    showForm(openPreferences_.get());
    ui_->editor_cmd->setFocus(Qt::OtherFocusReason);
}

void PanelController::updateEditorCmd()
{
    const Status status =
        ProjectStore::saveSetting(setting_key::editorCommand, ui_->editor_cmd->text());
    if (!status.ok()) {
        tellSaveFailed(tr("Zarvo could not save the editor command"), status);
    }
    openPreferences_->close();
}

void PanelController::updateTerminalApp()
{
    const Status status =
        ProjectStore::saveSetting(setting_key::terminal, ui_->terminal_app->text());
    if (!status.ok()) {
        tellSaveFailed(tr("Zarvo could not save the terminal"), status);
    }
    openPreferences_->close();
}

void PanelController::savePreferences()
{
    updateEditorCmd();
    updateTerminalApp();
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
    openHelpPage(helpPageUrl(helpBaseUrl(), HelpPage::help));
}

void PanelController::goToCommands()
{
    openHelpPage(helpPageUrl(helpBaseUrl(), HelpPage::launchCommands));
}

void PanelController::openHelpPage(const QUrl& url)
{
    if (url.isValid() && openInBrowser(url)) {
        return;
    }
    // Without a browser the local pages show in a viewer of our own.
    if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) {
        logLine(QStringLiteral("No browser opened %1; showing it here").arg(url.toString()));
        if (!helpViewer_) {
            helpViewer_ = std::make_unique<QTextBrowser>();
            helpViewer_->setObjectName(QStringLiteral("helpViewer"));
            helpViewer_->setWindowTitle(tr("Zarvo Help"));
            helpViewer_->setOpenExternalLinks(true);
            helpViewer_->resize(640, 560);
        }
        helpViewer_->setSource(url);
        showForm(helpViewer_.get());
        return;
    }
    const QString page = url.isValid() ? url.toString() : tr("the help pages");
    logLine(url.isValid() ? QStringLiteral("Cannot open %1").arg(page)
                          : QStringLiteral("No help pages to open"));
    notifyUser(
        tr("Zarvo cannot show its help"),
        url.isValid()
            ? tr("No browser opened %1. Install a web browser or set the default one.").arg(page)
            : tr("The help pages are not installed. Reinstall Zarvo, or set HelpBaseURL "
                 "in its defaults."));
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
