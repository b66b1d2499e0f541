#pragma once

#include "projects/newprojects.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QThread;
class QTimer;
class QTreeWidget;

namespace zarvo {

class OpenPanel;
struct FindJob;

// "Scan Folder…": finds projects in a folder the user picks, or in an
// editor's recently opened list, and adds the ones the user keeps checked.
//
// The looking (the walk of the folder, the reading of the editor's files)
// runs on a thread of its own and can be cancelled; the list, the naming and
// the one write of the store happen on the main thread. Every project found
// is listed checked, under the name it will be stored as.
class ScanDialog final : public QDialog {
    Q_OBJECT
public:
    // Where the projects come from; the order of the dialog's source choice.
    enum class Source { folder, vscode, jetbrains };

    // OPENPANEL asks for the folder; it is not owned.
    explicit ScanDialog(OpenPanel& openPanel, QWidget* parent = nullptr);
    ~ScanDialog() override;

    // Shows the dialog emptied and asks for a folder to scan. Cancelling that
    // question closes the dialog again.
    void begin();
    // Looks for projects in SOURCE (a folder is asked for first).
    void findIn(Source source);
    // Scans DIR for projects.
    void scan(const QString& dir);

    bool isLooking() const { return thread_ != nullptr; }
    // The projects listed, and those of them checked, as they would be stored.
    QList<NewProject> listedProjects() const { return plan_.additions; }
    QList<NewProject> checkedProjects() const;

public Q_SLOTS:
    // Stores the checked projects in one write and closes the dialog.
    void addChecked();
    // Stops the looking, if any, and closes the dialog.
    void reject() override;

Q_SIGNALS:
    // After Add, with the names stored.
    void projectsAdded(const QStringList& names);

private:
    void askForFolder(bool closeOnCancel);
    void startLooking(const QString& description, std::function<void(FindJob&)> find);
    void stopLooking();
    void lookingFinished();
    void showProgress();
    void updateAddButton();

    OpenPanel& openPanel_;
    QComboBox* source_ = nullptr;
    QPushButton* chooseFolder_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* message_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    QPushButton* add_ = nullptr;
    QTimer* progressTimer_ = nullptr;

    QThread* thread_ = nullptr; // owned; the one running search
    std::shared_ptr<FindJob> job_;
    QString looking_; // what is searched, for the messages
    NewProjectsPlan plan_;
};

} // namespace zarvo
