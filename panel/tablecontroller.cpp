#include "panel/tablecontroller.h"

#include "app/applicationdelegate.h"
#include "platform/diagnostics.h"
#include "projects/launcher.h"

namespace zarvo {
namespace {

const QString kProjectsColumn = QStringLiteral("projects");

} // namespace

TableController::TableController(QObject* parent) : QObject(parent) {}

TableController::~TableController()
{
    if (searchResults_) {
        if (searchResults_->dataSource() == this) {
            searchResults_->setDataSource(nullptr);
        }
        if (searchResults_->delegate() == this) {
            searchResults_->setDelegate(nullptr);
        }
    }
}

void TableController::setSearchResults(XTableView* table)
{
    searchResults_ = table;
    if (table) {
        table->setDataSource(this);
        table->setDelegate(this);
    }
}

qsizetype TableController::numberOfRowsInTableView(XTableView*)
{
    const ApplicationDelegate* delegate = ApplicationDelegate::shared();
    if (!delegate || !delegate->searchArray()) {
        return 0;
    }
    return delegate->searchArray()->size();
}

QVariant TableController::tableView(XTableView*, const QString& tableColumn, qsizetype row)
{
    const ApplicationDelegate* delegate = ApplicationDelegate::shared();
    if (tableColumn != kProjectsColumn || !delegate || !delegate->searchArray()) {
        return {};
    }
    const QStringList& names = *delegate->searchArray();
    if (row < 0 || row >= names.size()) {
        return {}; // the list changed since the last reload
    }
    return names.at(row);
}

void TableController::tableViewSelectionDidChange(XTableView* tableView)
{
    const qint64 clicked = tableView->didClick().value_or(0);
    logLine(QStringLiteral("click?: %1").arg(clicked));
    if (clicked != 1) {
        return;
    }
    ApplicationDelegate* delegate = ApplicationDelegate::shared();
    if (!delegate) {
        return;
    }
    // A click below the last row, or on a list that has changed since: no
    // launch, and the flag stays set.
    const qint64 row = tableView->rowClicked().value_or(0);
    const auto& names = delegate->searchArray();
    if (!names || row < 0 || row >= names->size()) {
        return;
    }
    const QString name = names->at(qsizetype(row));
    logLine(QStringLiteral("launch: %1").arg(name));
    tableView->setDidClick(std::nullopt);
    delegate->setSelectedProject(name);
    if (searchField_) {
        searchField_->setText(QString()); // a text set by program runs no search
    }
    if (scrollView_) {
        scrollView_->hide();
    }
    launchProject(delegate->selectedProject(), LaunchSender::Panel);
    delegate->togglePanel();
}

} // namespace zarvo
