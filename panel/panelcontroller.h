#pragma once

#include "panel/panelgeometry.h"
#include "panel/projectsearch.h"

#include <QByteArray>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QParallelAnimationGroup;
class QPropertyAnimation;
class QTextBrowser;
class QTimer;
class QToolButton;
class QVariantAnimation;
class QWidget;

namespace Ui {
class PanelForm;
}

namespace zarvo {

class BackgroundView;
class Panel;
class PanelControllerDelegate;
class ScanDialog;
class TableController;
class XTableView;
class searchFieldView;

// Owns the drop-down launcher panel. Setting hasActivePanel opens or closes
// it; every assignment is announced through hasActivePanelChanged, including
// the panel closing by itself.
//
// Rectangles named "frame" are in screen coordinates: origin at the bottom
// left of the primary screen, y up (see platform/screencoordinates.h).
class PanelController final : public QObject {
    Q_OBJECT
public:
    // Loads the "Panel" interface (resources/panel.ui). DELEGATE is not owned.
    explicit PanelController(PanelControllerDelegate* delegate);
    ~PanelController() override;

    bool hasActivePanel() const { return hasActivePanel_; }
    // A new value opens (true) or closes (false) the panel; the same value
    // changes nothing. Either way hasActivePanelChanged follows.
    void setHasActivePanel(bool active);

    PanelControllerDelegate* delegate() const { return delegate_; }

    // The panel window and the outlets of the "Panel" interface. The two form
    // windows are separate top-level windows.
    Panel* window() const { return window_; }
    BackgroundView* backgroundView() const;
    searchFieldView* searchField() const;
    QWidget* scrollView() const;
    XTableView* searchResults() const;
    QComboBox* project_select() const;
    // Launches the project chosen in project_select; so does Return while
    // the pop-up has the focus. Choosing in the pop-up only chooses.
    QToolButton* btnLaunch() const;
    QToolButton* btnAdd() const;
    QToolButton* btnOptions() const;
    QLabel* app_title() const;
    QFrame* app_title_sep() const;
    QMenu* launchMenu() const;
    QWidget* createProject() const;
    QLineEdit* project_name() const;
    QLineEdit* project_path() const;
    QCheckBox* project_pull() const;
    QCheckBox* project_finder() const;
    QLineEdit* project_custom() const;
    QLineEdit* project_commands() const;
    // The outlet "openPreferences": the settings window. (openPreferences()
    // is the action that shows it.)
    QWidget* openPreferencesWindow() const;
    QLineEdit* editor_cmd() const;
    QLineEdit* terminal_app() const;
    // The settings form's "Start at login" check box, and the empty row (a
    // QWidget with an empty QHBoxLayout) that takes the shortcut recorder.
    QCheckBox* startAtLogin() const;
    QWidget* shortcutRecorderSlot() const;
    // "Most used first" ("Order" = "use") and "Open in a tmux session"
    // ("Open In" = "tmux"), disabled with the note beside it while tmux is
    // not on PATH.
    QCheckBox* order_by_use() const;
    QCheckBox* open_in_tmux() const;
    QLabel* open_in_tmux_note() const;
    // The project that Remove and Edit Project act on: the highlighted row of
    // the results list while the list shows, else the pop-up's item; none
    // when there is neither.
    std::optional<QString> chosenProject() const;
    // The name the project form edits; none while it creates a project.
    const std::optional<QString>& editedProject() const { return editing_; }
    // The bar that offers to undo a removal, and the internal help viewer
    // (null until a page had no browser to open it).
    QWidget* undoBar() const;
    QTextBrowser* helpViewer() const { return helpViewer_.get(); }
    // The "Scan Folder…" dialog; null until it is first asked for.
    ScanDialog* scanDialog() const { return scanDialog_.get(); }

    // The rectangle just below the tray icon that the panel hangs from. The
    // window argument is not used.
    QRectF statusRectForWindow(QWidget* window = nullptr) const;
    // The status rectangle with its bar's edge and the screen holding the
    // icon, from what the tray icon knows of its place now.
    panel_geometry::StatusPlacement statusPlacement() const;
    // The placement the panel was last opened with (the status rectangle, the
    // edge its arrow is on, the screen it stays on); statusPlacement() before
    // the first opening.
    panel_geometry::StatusPlacement openedPlacement() const;
    // Where a search of TEXT with MATCHCOUNT matches puts the panel now.
    SearchLayout searchLayoutFor(const QString& text, qsizetype matchCount) const;
    // Every screen, the primary one first, in screen coordinates.
    static QList<panel_geometry::ScreenArea> screenAreas();

    // The primary screen's frame: origin (0, 0) and the screen's size.
    static QRectF primaryScreenFrame();
    // The part of the primary screen not covered by desktop panels and docks.
    static QRectF primaryScreenUsableFrame();
    // The panel window's frame.
    QRectF windowFrame() const;
    // Moves and sizes the panel window at once, not animated; the layout
    // (windowDidResize) runs before this returns.
    void setWindowFrame(const QRectF& frame);

    // Places the panel under the status rectangle, animates it open and
    // brings the search state, the pop-up and the settings fields up to date.
    void openPanel();
    // Hides the list, fades the panel out and takes it off the screen 0.2 s
    // after the close started, unless it was opened again in the meantime.
    void closePanel();

    // Window events.
    void windowWillClose();
    void windowDidResignKey();
    // Lays the panel out for its current frame: the arrow, the search field,
    // the pop-up and the bottom row.
    void windowDidResize();
    // Escape.
    void cancelOperation();

    // Clears the shared search state for a fresh opening: no list, no
    // direction, no launch target, cursor 0, no pending click on the list.
    void resetVars();
    // Runs for every change the user makes to the search field's text.
    void runSearch();
    // The editing command COMMAND (a key-binding name such as "moveUp:")
    // typed in CONTROL, the search field; returns whether it was handled.
    bool control(QWidget* control, QWidget* textView, const QString& command);

    // Sends ACTION (a method name, as in a control's "sendsAction" property)
    // to this controller with SENDER, if the controller has that action.
    // Actions take the sender or nothing. Returns whether it was delivered.
    bool sendAction(const QByteArray& action, QObject* sender);

public Q_SLOTS:
    // Launches a project: the one selected in project_select when SENDER is
    // a button (the pop-up included), else the shared selectedProject.
    void launch(QObject* sender);

    // The project and settings actions (projectforms.cpp). Each runs on the
    // main thread and changes the store first, then the interface.
    //
    // Closes the panel and shows the new-project form, the focus in its name.
    void openCreateProject();
    // Lets the user pick a folder or a file without blocking; OK puts its
    // path into project_path, anything else changes nothing.
    void selectFolder();
    // Stores the new-project form as a project (replacing one of the same
    // name), then reopens the panel searching for it; 0.5 s later the search
    // runs and its first row is selected, launching nothing. An empty name
    // or path does nothing.
    void create();
    // After asking, deletes the chosen project (chosenProject()) and refills
    // the pop-up; the bar in its place offers to undo that for ten seconds.
    void remove();
    // Writes the project remove() deleted back as it was, under its name.
    void undoRemove();
    // Closes the panel and shows the project form filled with the chosen
    // project's entry; create() then saves it under the name in the form.
    void editProject();
    // Closes the panel, shows the scan dialog and asks for a folder to scan;
    // the projects added there are stored in one write and the pop-up is
    // refilled (panel/scandialog.h).
    void scanFolder();
    // Closes the panel and shows the settings form.
    void openPreferences();
    // Store editor_cmd's (terminal_app's) text, "" included, as that one
    // setting, then close the settings form.
    void updateEditorCmd();
    void updateTerminalApp();
    // Stores both fields of the settings form and closes it (its default button).
    void savePreferences();
    // Writes or removes the autostart entry as the check box says.
    void updateStartAtLogin();
    // Store "Order" ("use" or "store") and "Open In" ("tmux" or "window") as
    // the check boxes say; the form stays open.
    void updateOrderByUse();
    void updateOpenIn();
    // Open the help page and the launch-commands page in the browser.
    void goToHelp();
    void goToCommands();
    // Ends the application at once with exit status 0.
    void close();

Q_SIGNALS:
    void hasActivePanelChanged();

protected:
    // Return on the pop-up, Ctrl+E in the search field.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void awakeFromNib();
    // Sets up the two form windows and the options menu (projectforms.cpp).
    void awakeForms();
    void connectSentActions();
    void makeSearchFieldFirstResponder();
    void reloadProjectsAndSettings();
    // Empties project_select and adds every project name afresh, in order.
    void refillProjectSelect();
    void removeFromScreen(quint64 generation);
    void stopAnimations();
    // projectforms.cpp: a question with ACCEPT and Cancel, over the panel
    // while it is open, which stays open meanwhile; whether ACCEPT was chosen.
    bool ask(QWidget* over, const QString& text, const QString& detail, const QString& accept);
    // Shows FORM centred on the screen of the panel, wholly inside it.
    void showForm(QWidget* form);
    // Puts back the new-project form's contents from before an edit.
    void leaveEditMode();
    void endUndo();
    void openHelpPage(const QUrl& url);

    std::unique_ptr<Ui::PanelForm> ui_;
    Panel* window_ = nullptr; // owned
    std::unique_ptr<QWidget> createProject_;
    std::unique_ptr<QWidget> openPreferences_;
    std::unique_ptr<ScanDialog> scanDialog_;
    // The result table's data source and delegate, made with the interface.
    TableController* tableController_ = nullptr;
    PanelControllerDelegate* delegate_ = nullptr;
    bool hasActivePanel_ = false;
    // While a question is up, the panel losing the keyboard does not close it.
    bool asking_ = false;

    // The project form edits this project; none while it creates one.
    std::optional<QString> editing_;
    // What the new-project form held when an edit began.
    struct FormDraft {
        QString name, path, custom, commands;
        bool pull = false, finder = false;
    };
    FormDraft draft_;
    // The last removal, while it can be undone.
    QTimer* undoTimer_ = nullptr;
    QString undoName_;
    QVariant undoValue_;
    // Why the projects file could not be read at the last refill, so that
    // the same problem is told once.
    QString storeProblem_;
    std::unique_ptr<QTextBrowser> helpViewer_;

    QParallelAnimationGroup* openAnimation_ = nullptr;
    QVariantAnimation* openFrameAnimation_ = nullptr;
    QPropertyAnimation* openAlphaAnimation_ = nullptr;
    QPropertyAnimation* closeAnimation_ = nullptr;
    // Bumped by every opening and every close: a removal scheduled by a close
    // runs only while nothing has happened to the panel since.
    quint64 generation_ = 0;
    // The pop-up's frame in the content view (y up), as in a panel hanging
    // from the top. The layout keeps its y measured from the bottom, so it
    // stays in the bottom row as the panel grows.
    QRectF projectSelectFrame_;
    // Fixed at each opening: a status rectangle found from the pointer's
    // position must not follow the pointer while the panel is open.
    std::optional<panel_geometry::StatusPlacement> openedPlacement_;
};

} // namespace zarvo
