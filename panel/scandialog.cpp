#include "panel/scandialog.h"

#include "platform/diagnostics.h"
#include "platform/openpanel.h"
#include "projects/editorimport.h"
#include "projects/projectscan.h"
#include "projects/projectstore.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>

namespace zarvo {

// One search for projects, shared by the dialog and the thread that runs it.
struct FindJob {
    // Set by the dialog, polled by the walk.
    std::atomic<bool> cancel{false};
    // Written by the walk as it goes, read by the dialog's progress line.
    std::atomic<qint64> folders{0};
    std::atomic<qint64> projects{0};
    // Written by the thread, read once it has finished.
    QStringList found;
    QStringList problems;
    // The editor whose history was asked for when there is none.
    QString noHistoryOf;
};

namespace {

constexpr std::chrono::milliseconds kProgressInterval{100};

QString editorHistoryName(Editor editor)
{
    return editor == Editor::vscode ? QObject::tr("VS Code's recent folders")
                                    : QObject::tr("the JetBrains IDEs' recent projects");
}

} // namespace

ScanDialog::ScanDialog(OpenPanel& openPanel, QWidget* parent)
    : QDialog(parent), openPanel_(openPanel)
{
    setWindowTitle(tr("Scan Folder"));
    auto* layout = new QVBoxLayout(this);

    auto* sourceRow = new QHBoxLayout;
    auto* sourceLabel = new QLabel(tr("Find projects in:"), this);
    source_ = new QComboBox(this);
    source_->setObjectName(QStringLiteral("source"));
    source_->addItems({tr("A folder and its subfolders"), tr("VS Code's recent folders"),
                       tr("JetBrains IDEs' recent projects")});
    sourceLabel->setBuddy(source_);
    chooseFolder_ = new QPushButton(tr("Choose Folder…"), this);
    chooseFolder_->setObjectName(QStringLiteral("chooseFolder"));
    chooseFolder_->setAutoDefault(false);
    sourceRow->addWidget(sourceLabel);
    sourceRow->addWidget(source_, 1);
    sourceRow->addWidget(chooseFolder_);
    layout->addLayout(sourceRow);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("found"));
    list_->setHeaderLabels({tr("Name"), tr("Folder")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    layout->addWidget(list_, 1);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 0); // busy: how much is left is not known
    progress_->setTextVisible(false);
    progress_->hide();
    layout->addWidget(progress_);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("message"));
    message_->setWordWrap(true);
    layout->addWidget(message_);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    add_ = buttons_->addButton(tr("Add"), QDialogButtonBox::AcceptRole);
    add_->setObjectName(QStringLiteral("add"));
    add_->setDefault(true);
    add_->setEnabled(false);
    layout->addWidget(buttons_);

    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(kProgressInterval);

    connect(source_, &QComboBox::activated, this,
            [this](int index) { findIn(static_cast<Source>(index)); });
    connect(chooseFolder_, &QPushButton::clicked, this, [this] { askForFolder(false); });
    connect(list_, &QTreeWidget::itemChanged, this, &ScanDialog::updateAddButton);
    connect(buttons_, &QDialogButtonBox::accepted, this, &ScanDialog::addChecked);
    connect(buttons_, &QDialogButtonBox::rejected, this, &ScanDialog::reject);
    connect(progressTimer_, &QTimer::timeout, this, &ScanDialog::showProgress);
    resize(640, 420);
}

ScanDialog::~ScanDialog()
{
    stopLooking();
}

void ScanDialog::begin()
{
    stopLooking();
    list_->clear();
    plan_ = {};
    message_->clear();
    source_->setCurrentIndex(static_cast<int>(Source::folder));
    chooseFolder_->setEnabled(true);
    updateAddButton();
    show();
    raise();
    activateWindow();
    askForFolder(true);
}

void ScanDialog::findIn(Source source)
{
    source_->setCurrentIndex(static_cast<int>(source));
    chooseFolder_->setEnabled(source == Source::folder);
    if (source == Source::folder) {
        askForFolder(false);
        return;
    }
    const Editor editor = source == Source::vscode ? Editor::vscode : Editor::jetbrains;
    startLooking(editorHistoryName(editor), [editor](FindJob& job) {
        const EditorHistory history = readEditorHistory(editor);
        job.found = history.projects;
        job.problems = history.problems;
        if (!history.found) {
            job.noHistoryOf = editorName(editor);
        }
    });
}

void ScanDialog::scan(const QString& dir)
{
    source_->setCurrentIndex(static_cast<int>(Source::folder));
    chooseFolder_->setEnabled(true);
    startLooking(dir, [dir](FindJob& job) {
        ScanOptions options;
        options.cancel = &job.cancel;
        options.progress = [&job](qint64 folders, qint64 projects) {
            job.folders.store(folders, std::memory_order_relaxed);
            job.projects.store(projects, std::memory_order_relaxed);
        };
        const ScanResult result = scanForProjects(dir, options);
        job.found = result.projects;
        job.problems = result.problems;
        job.folders.store(result.folders);
    });
}

void ScanDialog::askForFolder(bool closeOnCancel)
{
    OpenPanelOptions options;
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    QPointer<ScanDialog> self(this);
    openPanel_.beginWithCompletionHandler(
        this, options, [self, closeOnCancel](int result, const QStringList& paths) {
            if (!self) {
                return;
            }
            if (result == modal_response::ok && !paths.isEmpty()) {
                self->scan(paths.first());
            } else if (closeOnCancel && !self->isLooking() && self->plan_.additions.isEmpty()) {
                self->reject();
            }
        });
}

void ScanDialog::startLooking(const QString& description, std::function<void(FindJob&)> find)
{
    stopLooking();
    list_->clear();
    plan_ = {};
    looking_ = description;
    job_ = std::make_shared<FindJob>();
    const std::shared_ptr<FindJob> job = job_;
    thread_ = QThread::create([job, find = std::move(find)] { find(*job); });
    connect(thread_, &QThread::finished, this, [this, job] {
        if (job == job_) {
            lookingFinished();
        }
    });
    progress_->show();
    showProgress();
    progressTimer_->start();
    updateAddButton();
    thread_->start();
}

void ScanDialog::stopLooking()
{
    if (!thread_) {
        return;
    }
    // The walk looks at the flag before every folder, so this wait is short.
    job_->cancel = true;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    job_.reset();
    progressTimer_->stop();
    progress_->hide();
    message_->clear();
    updateAddButton();
}

void ScanDialog::showProgress()
{
    if (!job_) {
        return;
    }
    const qint64 folders = job_->folders.load(std::memory_order_relaxed);
    message_->setText(folders == 0 ? tr("Looking in %1…").arg(looking_)
                                   : tr("Looking in %1… %2 folders searched, %3 projects found")
                                         .arg(looking_)
                                         .arg(folders)
                                         .arg(job_->projects.load(std::memory_order_relaxed)));
}

void ScanDialog::lookingFinished()
{
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    const std::shared_ptr<FindJob> job = std::move(job_);
    progressTimer_->stop();
    progress_->hide();

    plan_ = planNewProjects(ProjectStore::loadProjects().value_or(QVariantMap()), job->found);
    {
        const QSignalBlocker quiet(list_);
        for (const NewProject& project : plan_.additions) {
            auto* item = new QTreeWidgetItem(list_, {project.name, project.path});
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Checked);
            if (project.renamed) {
                item->setToolTip(0, tr("Renamed: another project has the name of this folder"));
            }
        }
    }

    QStringList lines;
    if (!job->noHistoryOf.isEmpty()) {
        lines << tr("No %1 history found.").arg(job->noHistoryOf);
    } else if (plan_.additions.isEmpty()) {
        lines << tr("No new projects found in %1.").arg(looking_);
    } else {
        lines
            << (plan_.additions.size() == 1
                    ? tr("1 new project found in %1.").arg(looking_)
                    : tr("%1 new projects found in %2.").arg(plan_.additions.size()).arg(looking_));
    }
    if (plan_.alreadyStored > 0) {
        lines << (plan_.alreadyStored == 1
                      ? tr("1 is among your projects already.")
                      : tr("%1 are among your projects already.").arg(plan_.alreadyStored));
    }
    if (!plan_.skipped.isEmpty()) {
        lines << (plan_.skipped.size() == 1
                      ? tr("1 is left out: its names are taken.")
                      : tr("%1 are left out: their names are taken.").arg(plan_.skipped.size()));
    }
    if (!job->problems.isEmpty()) {
        lines << (job->problems.size() == 1
                      ? tr("1 folder could not be read.")
                      : tr("%1 folders could not be read.").arg(job->problems.size()));
    }
    message_->setText(lines.join(QLatin1Char(' ')));
    QStringList details;
    for (const SkippedProject& skipped : plan_.skipped) {
        details << QStringLiteral("%1: %2").arg(skipped.path, skipped.reason);
    }
    message_->setToolTip((details + job->problems).join(QLatin1Char('\n')));
    updateAddButton();
}

QList<NewProject> ScanDialog::checkedProjects() const
{
    QList<NewProject> checked;
    for (int row = 0; row < list_->topLevelItemCount() && row < plan_.additions.size(); ++row) {
        if (list_->topLevelItem(row)->checkState(0) == Qt::Checked) {
            checked << plan_.additions[row];
        }
    }
    return checked;
}

void ScanDialog::updateAddButton()
{
    add_->setEnabled(!isLooking() && !checkedProjects().isEmpty());
}

void ScanDialog::addChecked()
{
    const QList<NewProject> chosen = checkedProjects();
    if (isLooking() || chosen.isEmpty()) {
        return;
    }
    logLine(QStringLiteral("Creating %1 found projects").arg(chosen.size()));
    QStringList stored;
    const Status status = addNewProjects(chosen, &stored);
    if (!status.ok()) {
        message_->setText(tr("The projects could not be saved: %1").arg(status.error));
        return;
    }
    accept();
    Q_EMIT projectsAdded(stored);
}

void ScanDialog::reject()
{
    stopLooking();
    QDialog::reject();
}

} // namespace zarvo
