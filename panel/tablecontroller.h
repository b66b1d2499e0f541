#pragma once

#include "panel/xtableview.h"

#include <QComboBox>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace zarvo {

// The results list's data source and delegate: serves the names of the
// application delegate's searchArray and launches the project whose row was
// clicked. Selecting rows with the arrow keys launches nothing.
class TableController final : public QObject, public TableDataSource, public TableViewDelegate {
    Q_OBJECT
public:
    explicit TableController(QObject* parent = nullptr);
    ~TableController() override;

    // Outlets, none of them owned. Setting searchResults makes this
    // controller the table's data source and delegate.
    QLineEdit* searchField() const { return searchField_; }
    void setSearchField(QLineEdit* field) { searchField_ = field; }
    XTableView* searchResults() const { return searchResults_; }
    void setSearchResults(XTableView* table);
    QWidget* scrollView() const { return scrollView_; }
    void setScrollView(QWidget* view) { scrollView_ = view; }
    QComboBox* project_select() const { return projectSelect_; }
    void setProject_select(QComboBox* popUp) { projectSelect_ = popUp; }

    qsizetype numberOfRowsInTableView(XTableView* tableView) override;
    QVariant tableView(XTableView* tableView, const QString& tableColumn, qsizetype row) override;
    // The selection is still being dragged: nothing to do until it settles.
    void tableViewSelectionIsChanging(XTableView*) {}
    void tableViewSelectionDidChange(XTableView* tableView) override;

private:
    QPointer<QLineEdit> searchField_;
    QPointer<XTableView> searchResults_;
    QPointer<QWidget> scrollView_;
    QPointer<QComboBox> projectSelect_;
};

} // namespace zarvo
