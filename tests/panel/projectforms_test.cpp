#include "app/applicationdelegate.h"
#include "app/autostart.h"
#include "app/helppages.h"
#include "app/menubarcontroller.h"
#include "panel/panel.h"
#include "panel/panelcontroller.h"
#include "panel/scandialog.h"
#include "panel/searchfieldview.h"
#include "panel/xtableview.h"
#include "platform/defaultsstore.h"
#include "platform/memorynotifier.h"
#include "platform/openpanel.h"
#include "platform/recordingscriptrunner.h"
#include "platform/resourcedir.h"
#include "platform/services.h"
#include "platform/tmuxsessionrunner.h"
#include "platform/urlopener.h"
#include "projects/newprojects.h"
#include "projects/projectstore.h"
#include "projects/textform.h"
#include "support/tempresources.h"

#include "support/wait.h"
#include "widgettesting.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include <unistd.h>

namespace zarvo {
namespace {

// An open panel that shows nothing: the test answers for the user.
class ScriptedOpenPanel final : public OpenPanel {
public:
    void beginWithCompletionHandler(QWidget* parent, const OpenPanelOptions& options,
                                    Completion completion) override
    {
        parent_ = parent;
        options_ = options;
        completion_ = std::move(completion);
        ++begun_;
    }
    void answer(int result, const QStringList& paths)
    {
        ASSERT_TRUE(completion_);
        const Completion completion = std::move(completion_);
        completion_ = nullptr;
        completion(result, paths);
    }

    QWidget* parent_ = nullptr;
    OpenPanelOptions options_;
    Completion completion_;
    int begun_ = 0;
};

class RecordingUrlOpener final : public UrlOpener {
public:
    bool openUrl(const QUrl& url) override
    {
        urls.append(url);
        return true;
    }
    QList<QUrl> urls;
};

class FailingUrlOpener final : public UrlOpener {
public:
    bool openUrl(const QUrl&) override { return false; }
};

// Answers the questions the panel asks, in turn, with the buttons titled in
// ANSWERS; a question beyond them is cancelled and counts as a failure.
// Keeps each question's text.
class Answerer final {
public:
    explicit Answerer(QStringList answers) : answers_(std::move(answers))
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
        timer_.start();
    }
    QStringList questions;

private:
    void look()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            return;
        }
        questions << box->text();
        const QString answer = answers_.isEmpty() ? QString() : answers_.takeFirst();
        EXPECT_FALSE(answer.isEmpty()) << "unexpected question " << box->text().toStdString();
        for (QAbstractButton* button : box->buttons()) {
            if (answer.isEmpty() ? box->buttonRole(button) == QMessageBox::RejectRole
                                 : button->text() == answer) {
                button->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << answer.toStdString();
        box->reject();
    }
    QStringList answers_;
    QTimer timer_;
};

ProjectEntry entry(const QString& path, const QString& pull = QStringLiteral("0"))
{
    return {{entry_key::filePath, path},
            {entry_key::doPull, pull},
            {entry_key::openFinder, QStringLiteral("0")},
            {entry_key::customOpen, QString()},
            {entry_key::commands, QString()}};
}

// The real panel and forms of a started application, over a temporary store,
// with the launches, the open panel and the browser recorded.
class ProjectFormsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        prepareResourceDirectory();
        saved_ = services();
        services().scriptRunner = &runner;
        services().openPanel = &openPanel;
        services().urlOpener = &browser;
        services().notifier = &notifier;
        DefaultsStore::setStandardUserDefaults(&defaults);
        app.applicationDidFinishLaunching();
    }
    void TearDown() override
    {
        DefaultsStore::setStandardUserDefaults(nullptr);
        services() = saved_;
    }

    PanelController& controller() { return *app.panelController(); }
    QWidget& createForm() { return *controller().createProject(); }
    QWidget& settingsForm() { return *controller().openPreferencesWindow(); }
    template <typename T> T& child(QWidget& form, const char* name)
    {
        T* found = form.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return *found;
    }

    // The control or menu item that sends ACTION.
    QAction* menuItem(const char* action)
    {
        for (QAction* item : controller().launchMenu()->actions()) {
            if (item->property("sendsAction").toByteArray() == action) {
                return item;
            }
        }
        ADD_FAILURE() << "no menu item sends " << action;
        return nullptr;
    }

    void addProjects(const QStringList& names)
    {
        for (const QString& name : names) {
            ASSERT_TRUE(ProjectStore::saveProject(name, entry(resources.file(name))).ok());
        }
    }
    QStringList popUpTitles()
    {
        QStringList titles;
        for (int i = 0; i < controller().project_select()->count(); ++i) {
            titles << controller().project_select()->itemText(i);
        }
        return titles;
    }
    void fillCreateForm(const QString& name, const QString& path)
    {
        controller().project_name()->setText(name);
        controller().project_path()->setText(path);
    }

    test::TempResources resources;
    QTemporaryDir defaultsDir;
    DefaultsStore defaults{defaultsDir.filePath(QStringLiteral("defaults.plist"))};
    RecordingScriptRunner runner;
    ScriptedOpenPanel openPanel;
    RecordingUrlOpener browser;
    MemoryNotifier notifier;
    // An existing folder, for projects whose path does not matter.
    const QString folder = resources.path();
    ApplicationDelegate app;

private:
    Services saved_;
};

// --- The new-project form -------------------------------------------------

TEST_F(ProjectFormsTest, AddNewClosesThePanelAndShowsTheFormWithTheFocusInTheName)
{
    app.togglePanel();
    ASSERT_TRUE(controller().hasActivePanel());
    controller().project_custom()->setText(QStringLiteral("kept"));

    app.AddNew();
    EXPECT_FALSE(controller().hasActivePanel());
    EXPECT_FALSE(app.menubarController()->hasActiveIcon());
    EXPECT_TRUE(createForm().isVisible());
    EXPECT_TRUE(createForm().isWindow());
    EXPECT_EQ(createForm().focusWidget(), controller().project_name());
    EXPECT_EQ(controller().project_custom()->text(), QStringLiteral("kept"));
    EXPECT_TRUE(test::waitUntil([&] { return !controller().window()->isVisible(); }));
}

TEST_F(ProjectFormsTest, TheAddButtonOpensTheForm)
{
    controller().btnAdd()->click();
    EXPECT_TRUE(createForm().isVisible());
}

TEST_F(ProjectFormsTest, CreateStoresTheProjectAndSelectsItInTheReopenedPanel)
{
    addProjects({QStringLiteral("alpha"), QStringLiteral("gamma-old")});
    const QString folder = resources.file(QStringLiteral("gamma"));
    ASSERT_TRUE(QDir().mkpath(folder));
    app.AddNew();
    fillCreateForm(QStringLiteral("gamma"), folder);
    controller().project_pull()->setChecked(true);
    controller().project_custom()->setText(QStringLiteral("code ."));
    controller().project_commands()->setText(QStringLiteral("make"));

    QElapsedTimer clock;
    clock.start();
    child<QPushButton>(createForm(), "btnCreate").click();

    // The store.
    const std::optional<ProjectEntry> stored = ProjectStore::projectEntry(QStringLiteral("gamma"));
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, (ProjectEntry{{entry_key::filePath, folder},
                                     {entry_key::doPull, QStringLiteral("1")},
                                     {entry_key::openFinder, QStringLiteral("0")},
                                     {entry_key::customOpen, QStringLiteral("code .")},
                                     {entry_key::commands, QStringLiteral("make")}}));
    // The form: name and path emptied, the rest kept, the window closed.
    EXPECT_TRUE(controller().project_name()->text().isEmpty());
    EXPECT_TRUE(controller().project_path()->text().isEmpty());
    EXPECT_TRUE(controller().project_pull()->isChecked());
    EXPECT_EQ(controller().project_custom()->text(), QStringLiteral("code ."));
    EXPECT_EQ(controller().project_commands()->text(), QStringLiteral("make"));
    EXPECT_FALSE(createForm().isVisible());
    // The pop-up and the panel.
    // Reopening the panel refilled the pop-up once more, its first item chosen.
    EXPECT_EQ(popUpTitles(), ProjectStore::projectNames());
    EXPECT_TRUE(controller().window()->isVisible());
    EXPECT_TRUE(controller().hasActivePanel());
    EXPECT_TRUE(app.menubarController()->hasActiveIcon());
    EXPECT_EQ(controller().searchField()->text(), QStringLiteral("gamma"));
    EXPECT_FALSE(app.searchArray().has_value()) << "no search before the delay";
    EXPECT_TRUE(app.selectedProject().isEmpty()) << "opening the panel reset it";

    // Half a second later: the search has run and row 0 is selected.
    XTableView& table = *controller().searchResults();
    ASSERT_TRUE(test::waitUntil([&] { return !table.selectedRowIndexes().isEmpty(); }));
    EXPECT_GE(clock.elapsed(), 400) << "the search waits for its delay";
    const QStringList matches{QStringLiteral("gamma-old"), QStringLiteral("gamma")};
    ASSERT_TRUE(app.searchArray().has_value());
    EXPECT_EQ(QSet<QString>(app.searchArray()->begin(), app.searchArray()->end()),
              QSet<QString>(matches.begin(), matches.end()));
    EXPECT_EQ(table.selectedRowIndexes(), QList<qsizetype>{0});
    EXPECT_EQ(app.selectedProject(), app.searchArray()->front());
    EXPECT_TRUE(controller().scrollView()->isVisible());

    // Nothing was launched, and the panel stays open.
    QCoreApplication::processEvents();
    EXPECT_TRUE(runner.scripts().isEmpty());
    EXPECT_TRUE(controller().hasActivePanel());
    EXPECT_TRUE(controller().window()->isVisible());
}

TEST_F(ProjectFormsTest, AfterCreatingOneEscapeClosesThePanelEvenWithTextInTheField)
{
    app.AddNew();
    fillCreateForm(QStringLiteral("web"), folder);
    controller().create();
    ASSERT_EQ(controller().searchField()->text(), QStringLiteral("web"));
    ASSERT_TRUE(test::waitUntil([&] { return controller().scrollView()->isVisible(); }));
    test::pressKey(controller().searchField(), Qt::Key_Escape);
    EXPECT_FALSE(controller().hasActivePanel());
    EXPECT_FALSE(app.menubarController()->hasActiveIcon());
    EXPECT_TRUE(test::waitUntil([&] { return !controller().window()->isVisible(); }));
}

TEST_F(ProjectFormsTest, ReturnInTheFormCreates)
{
    app.AddNew();
    fillCreateForm(QStringLiteral("web"), folder);
    test::pressKey(controller().project_commands(), Qt::Key_Return);
    EXPECT_TRUE(ProjectStore::projectEntry(QStringLiteral("web")).has_value());
    EXPECT_FALSE(createForm().isVisible());
}

TEST_F(ProjectFormsTest, EscapeClosesTheFormWithoutCreating)
{
    app.AddNew();
    fillCreateForm(QStringLiteral("web"), QStringLiteral("/srv/web"));
    test::pressKey(controller().project_name(), Qt::Key_Escape);
    EXPECT_FALSE(createForm().isVisible());
    EXPECT_FALSE(ProjectStore::projectEntry(QStringLiteral("web")).has_value());
    EXPECT_EQ(controller().project_name()->text(), QStringLiteral("web"));
}

TEST_F(ProjectFormsTest, CreatingAnExistingNameAsksBeforeReplacingItsEntry)
{
    addProjects({QStringLiteral("alpha"), QStringLiteral("web"), QStringLiteral("zeta")});
    const ProjectEntry old{{entry_key::filePath, QStringLiteral("/old")},
                           {entry_key::doPull, QStringLiteral("1")},
                           {QStringLiteral("extra"), QStringLiteral("x")}};
    ASSERT_TRUE(ProjectStore::saveProject(QStringLiteral("web"), old).ok());
    const QStringList before = ProjectStore::projectNames();
    app.AddNew();
    fillCreateForm(QStringLiteral("web"), folder);
    {
        Answerer user({QStringLiteral("Cancel")});
        controller().create();
        EXPECT_EQ(user.questions,
                  QStringList{QStringLiteral(
                      "A project named \u201cweb\u201d already exists. Replace it?")});
    }
    EXPECT_EQ(ProjectStore::projectEntry(QStringLiteral("web")), old);
    EXPECT_TRUE(createForm().isVisible()) << "the form stays open with what was typed";
    EXPECT_EQ(controller().project_path()->text(), folder);

    {
        Answerer user({QStringLiteral("Replace")});
        controller().create();
        EXPECT_EQ(user.questions.size(), 1);
    }
    EXPECT_EQ(ProjectStore::projectEntry(QStringLiteral("web")), entry(folder));
    EXPECT_EQ(ProjectStore::projectNames(), before);
    EXPECT_EQ(popUpTitles().count(QStringLiteral("web")), 1);
    EXPECT_FALSE(createForm().isVisible());
}

TEST_F(ProjectFormsTest, APathThatDoesNotExistIsStoredOnlyWhenTheUserKeepsIt)
{
    app.AddNew();
    fillCreateForm(QStringLiteral("later"), QStringLiteral("/no/such/folder"));
    {
        Answerer user({QStringLiteral("Cancel")});
        controller().create();
        EXPECT_EQ(user.questions,
                  QStringList{QStringLiteral("Nothing exists at \u201c/no/such/folder\u201d.")});
    }
    EXPECT_FALSE(ProjectStore::projectEntry(QStringLiteral("later")).has_value());
    EXPECT_TRUE(createForm().isVisible());
    EXPECT_EQ(createForm().focusWidget(), controller().project_path());

    {
        Answerer user({QStringLiteral("Keep Path")});
        controller().create();
    }
    ASSERT_TRUE(ProjectStore::projectEntry(QStringLiteral("later")).has_value());
    EXPECT_EQ(ProjectStore::projectEntry(QStringLiteral("later"))->value(entry_key::filePath),
              QStringLiteral("/no/such/folder"));
}

TEST_F(ProjectFormsTest, AnEmptyNameOrPathDoesNothing)
{
    struct Row {
        const char* what;
        QString name;
        QString path;
    };
    const std::vector<Row> rows{
        {"empty name", QString(), QStringLiteral("/srv/web")},
        {"empty path", QStringLiteral("web"), QString()},
        {"both empty", QString(), QString()},
    };
    addProjects({QStringLiteral("alpha")});
    const QByteArray store = resources.read(QStringLiteral("projects.plist"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        app.AddNew();
        fillCreateForm(row.name, row.path);
        controller().create();
        EXPECT_EQ(resources.read(QStringLiteral("projects.plist")), store);
        EXPECT_TRUE(createForm().isVisible());
        EXPECT_EQ(controller().project_name()->text(), row.name);
        EXPECT_EQ(controller().project_path()->text(), row.path);
        EXPECT_FALSE(controller().hasActivePanel());
        // The empty fields are marked, the focus in the first of them.
        EXPECT_EQ(controller().project_name()->property("missing").toBool(), row.name.isEmpty());
        EXPECT_EQ(controller().project_path()->property("missing").toBool(), row.path.isEmpty());
        EXPECT_EQ(createForm().focusWidget(),
                  row.name.isEmpty() ? controller().project_name() : controller().project_path());
    }
    // Typing takes the mark away.
    controller().project_name()->setText(QStringLiteral("w"));
    EXPECT_FALSE(controller().project_name()->property("missing").toBool());
}

// The names of the widgets Tab visits in START's window, from START on.
QStringList tabOrder(QWidget* start)
{
    QStringList order;
    QWidget* w = start;
    do {
        if (w->isVisibleTo(start->window()) && w->isEnabled() &&
            (w->focusPolicy() & Qt::TabFocus)) {
            order << w->objectName();
        }
        w = w->nextInFocusChain();
    } while (w != start && order.size() < 20);
    return order;
}

TEST_F(ProjectFormsTest, TabGoesThroughTheFormsTopToBottom)
{
    app.AddNew();
    EXPECT_EQ(tabOrder(controller().project_name()),
              (QStringList{QStringLiteral("project_name"), QStringLiteral("project_path"),
                           QStringLiteral("btnSelectFolder"), QStringLiteral("project_pull"),
                           QStringLiteral("project_finder"), QStringLiteral("project_custom"),
                           QStringLiteral("project_commands"), QStringLiteral("btnCommandsHelp"),
                           QStringLiteral("btnCancelCreate"), QStringLiteral("btnCreate")}));
    app.MenuPreferences();
    QStringList settingsOrder{QStringLiteral("editor_cmd"),   QStringLiteral("btnSaveEditorCmd"),
                              QStringLiteral("terminal_app"), QStringLiteral("btnSaveTerminalApp"),
                              QStringLiteral("startAtLogin"), QStringLiteral("order_by_use")};
    // The tmux choice is disabled, so skipped, where tmux is not installed.
    if (tmuxIsInstalled()) {
        settingsOrder << QStringLiteral("open_in_tmux");
    }
    settingsOrder << QStringLiteral("btnHelp") << QStringLiteral("btnCancelPreferences")
                  << QStringLiteral("btnSavePreferences");
    EXPECT_EQ(tabOrder(controller().editor_cmd()), settingsOrder);
}

TEST_F(ProjectFormsTest, FormsOpenWhollyOnTheScreenWithCancelAndADefaultButton)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct Row {
        const char* what;
        std::function<void()> open;
        QWidget* form;
        const char* cancel;
        const char* byDefault;
    };
    const std::vector<Row> rows{
        {"new project", [&] { app.AddNew(); }, &createForm(), "btnCancelCreate", "btnCreate"},
        {"settings", [&] { app.MenuPreferences(); }, &settingsForm(), "btnCancelPreferences",
         "btnSavePreferences"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.form->move(0, 0);
        row.open();
        ASSERT_TRUE(row.form->isVisible());
        EXPECT_TRUE(screen.contains(row.form->frameGeometry())) << row.form->frameGeometry().x();
        EXPECT_GT(row.form->frameGeometry().top(), screen.top()) << "room for the title bar";
        EXPECT_LE(std::abs(row.form->geometry().center().x() - screen.center().x()), 8);
        EXPECT_TRUE(child<QPushButton>(*row.form, row.byDefault).isDefault());
        child<QPushButton>(*row.form, row.cancel).click();
        EXPECT_FALSE(row.form->isVisible());
    }
    EXPECT_FALSE(ProjectStore::projectEntry(QString()).has_value());
}

// --- Choosing the path ----------------------------------------------------

TEST_F(ProjectFormsTest, ChooseAsksForAFolderOrAFileThatMayBeCreated)
{
    app.AddNew();
    child<QPushButton>(createForm(), "btnSelectFolder").click();
    ASSERT_EQ(openPanel.begun_, 1);
    EXPECT_TRUE(openPanel.options_.canChooseFiles);
    EXPECT_TRUE(openPanel.options_.canChooseDirectories);
    EXPECT_TRUE(openPanel.options_.canCreateDirectories);
    EXPECT_EQ(openPanel.parent_, &createForm());
    EXPECT_EQ(openPanel.options_.directory, QDir::homePath()) << "with an empty path";
    openPanel.answer(modal_response::cancel, {});

    // The path's folder, or the nearest one above it that exists.
    const QString sub = resources.file(QStringLiteral("sub"));
    ASSERT_TRUE(QDir().mkpath(sub));
    const std::vector<std::pair<QString, QString>> starts{
        {sub, sub},
        {sub + QStringLiteral("/gone/deeper"), sub},
        {QStringLiteral("/no-such-root-folder"), QDir::homePath()},
    };
    for (const auto& [typed, start] : starts) {
        controller().project_path()->setText(typed);
        controller().selectFolder();
        EXPECT_EQ(openPanel.options_.directory, start) << typed.toStdString();
        openPanel.answer(modal_response::cancel, {});
    }
}

TEST_F(ProjectFormsTest, AChosenFileBecomesThePathAndTheNameStaysEmpty)
{
    const QString file = resources.file(QStringLiteral("App.xcodeproj"));
    resources.write(QStringLiteral("App.xcodeproj"), "project");
    app.AddNew();
    controller().project_path()->setText(QStringLiteral("/before"));
    controller().selectFolder();
    EXPECT_EQ(controller().project_path()->text(), QStringLiteral("/before"))
        << "nothing changes before the panel ends";
    openPanel.answer(modal_response::ok, {file});
    EXPECT_EQ(controller().project_path()->text(), file);
    EXPECT_TRUE(controller().project_name()->text().isEmpty());
}

TEST_F(ProjectFormsTest, CancellingTheChoiceKeepsThePath)
{
    app.AddNew();
    controller().project_path()->setText(QStringLiteral("/before"));
    controller().selectFolder();
    openPanel.answer(modal_response::cancel, {});
    EXPECT_EQ(controller().project_path()->text(), QStringLiteral("/before"));
}

// --- Removing -------------------------------------------------------------

TEST_F(ProjectFormsTest, RemoveAsksThenDeletesThePopUpsChoiceAndUndoPutsItBack)
{
    addProjects({QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma")});
    // Keys the forms do not know, and values that are not text, come back as they were.
    ASSERT_TRUE(ProjectStore::saveProject(QStringLiteral("beta"), {{entry_key::filePath, folder},
                                                                   {entry_key::doPull, true},
                                                                   {QStringLiteral("extra"), 42}})
                    .ok());
    const QByteArray stored = resources.read(QStringLiteral("projects.plist"));
    app.togglePanel();
    ASSERT_TRUE(test::waitUntil([&] { return controller().window()->width() == 280; }));
    QComboBox* popUp = controller().project_select();
    popUp->setCurrentIndex(popUp->findText(QStringLiteral("beta")));

    Q_EMIT controller().launchMenu()->aboutToShow();
    QAction* remove = menuItem("remove");
    ASSERT_NE(remove, nullptr);
    EXPECT_TRUE(remove->isEnabled());
    EXPECT_EQ(remove->text(), QStringLiteral("Remove \u201cbeta\u201d"));
    {
        Answerer user({QStringLiteral("Cancel")});
        remove->trigger();
        EXPECT_EQ(user.questions,
                  QStringList{QStringLiteral(
                      "Remove the project \u201cbeta\u201d? Its folder is not touched.")});
    }
    EXPECT_EQ(resources.read(QStringLiteral("projects.plist")), stored);
    EXPECT_FALSE(controller().undoBar()->isVisible());
    {
        Answerer user({QStringLiteral("Remove")});
        remove->trigger();
    }
    EXPECT_EQ(ProjectStore::projectNames(),
              (QStringList{QStringLiteral("alpha"), QStringLiteral("gamma")}));
    EXPECT_EQ(popUpTitles(), ProjectStore::projectNames());
    EXPECT_TRUE(controller().hasActivePanel()) << "the question does not close the panel";
    EXPECT_TRUE(runner.scripts().isEmpty());

    // The bar in the pop-up's place undoes it.
    EXPECT_TRUE(controller().undoBar()->isVisible());
    EXPECT_FALSE(popUp->isVisible());
    child<QToolButton>(*controller().window(), "btnUndo").click();
    EXPECT_EQ(resources.read(QStringLiteral("projects.plist")), stored);
    EXPECT_EQ(popUp->currentText(), QStringLiteral("beta"));
    EXPECT_FALSE(controller().undoBar()->isVisible());
    EXPECT_TRUE(popUp->isVisible());
    EXPECT_TRUE(notifier.notifications().isEmpty());
}

TEST_F(ProjectFormsTest, RemoveAndEditActOnTheHighlightedRowElseThePopUp)
{
    addProjects({QStringLiteral("web-api"), QStringLiteral("web-app"), QStringLiteral("zeta")});
    app.togglePanel();
    controller().searchField()->setText(QStringLiteral("web"));
    controller().runSearch();
    ASSERT_EQ(app.searchArray(),
              (QStringList{QStringLiteral("web-api"), QStringLiteral("web-app")}));
    test::pressKey(controller().searchField(), Qt::Key_Down);
    test::pressKey(controller().searchField(), Qt::Key_Down);
    ASSERT_EQ(controller().searchResults()->selectedRowIndexes(), QList<qsizetype>{1});
    EXPECT_EQ(controller().chosenProject(), QStringLiteral("web-app"));
    {
        Answerer user({QStringLiteral("Remove")});
        controller().remove();
        ASSERT_EQ(user.questions.size(), 1);
        EXPECT_TRUE(user.questions[0].contains(QStringLiteral("web-app")));
    }
    EXPECT_EQ(ProjectStore::projectNames(),
              (QStringList{QStringLiteral("web-api"), QStringLiteral("zeta")}));
    EXPECT_EQ(app.searchArray(), QStringList{QStringLiteral("web-api")}) << "the list follows";

    // Without a highlighted row: the pop-up's item, here by Ctrl+E.
    controller().searchField()->setText(QString());
    controller().runSearch();
    controller().project_select()->setCurrentIndex(1);
    EXPECT_EQ(controller().chosenProject(), QStringLiteral("zeta"));
    test::pressKey(controller().searchField(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_FALSE(createForm().isVisible()) << "Ctrl+E edits a highlighted row only";
    controller().editProject();
    EXPECT_EQ(controller().editedProject(), QStringLiteral("zeta"));
}

TEST_F(ProjectFormsTest, UndoEndsAfterTenSeconds)
{
    addProjects({QStringLiteral("alpha")});
    app.togglePanel();
    {
        Answerer user({QStringLiteral("Remove")});
        controller().remove();
    }
    auto* timer = controller().findChild<QTimer*>(QStringLiteral("undoTimer"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 10000);
    EXPECT_TRUE(timer->isActive());
    timer->start(1); // the ten seconds, passed
    EXPECT_TRUE(test::waitUntil([&] { return !timer->isActive(); }));
    EXPECT_FALSE(controller().undoBar()->isVisible());
    controller().undoRemove();
    EXPECT_TRUE(ProjectStore::projectNames().isEmpty()) << "too late to undo";
}

// --- Editing --------------------------------------------------------------

TEST_F(ProjectFormsTest, EditFillsTheFormAndSavesUnderTheSameOrANewName)
{
    const QString other = resources.file(QStringLiteral("other"));
    ASSERT_TRUE(QDir().mkpath(other));
    addProjects({QStringLiteral("alpha"), QStringLiteral("zeta")});
    const ProjectEntry web{{entry_key::filePath, folder},
                           {entry_key::doPull, QStringLiteral("1")},
                           {entry_key::openFinder, QStringLiteral("0")},
                           {entry_key::commands, QStringLiteral("make")},
                           {QStringLiteral("extra"), QStringLiteral("kept")}};
    ASSERT_TRUE(ProjectStore::saveProject(QStringLiteral("web"), web).ok());
    app.AddNew();
    fillCreateForm(QStringLiteral("draft"), QStringLiteral("/draft"));
    createForm().close();

    app.togglePanel();
    controller().searchField()->setText(QStringLiteral("web"));
    controller().runSearch();
    test::pressKey(controller().searchField(), Qt::Key_Down);
    test::pressKey(controller().searchField(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_FALSE(controller().hasActivePanel());
    ASSERT_TRUE(createForm().isVisible());
    EXPECT_EQ(createForm().windowTitle(), QStringLiteral("Edit Project"));
    EXPECT_EQ(controller().project_name()->text(), QStringLiteral("web"));
    EXPECT_EQ(controller().project_path()->text(), folder);
    EXPECT_TRUE(controller().project_pull()->isChecked());
    EXPECT_FALSE(controller().project_finder()->isChecked());
    EXPECT_TRUE(controller().project_custom()->text().isEmpty());
    EXPECT_EQ(controller().project_commands()->text(), QStringLiteral("make"));

    // The same name: the entry changes, its other keys stay.
    controller().project_path()->setText(other);
    child<QPushButton>(createForm(), "btnCreate").click();
    ProjectEntry changed = web;
    changed[entry_key::filePath] = other;
    changed[entry_key::customOpen] = QString();
    EXPECT_EQ(ProjectStore::projectEntry(QStringLiteral("web")), changed);
    EXPECT_FALSE(createForm().isVisible());

    // A new name: renamed in one write. Onto an existing name only when confirmed.
    app.togglePanel();
    controller().project_select()->setCurrentIndex(
        controller().project_select()->findText(QStringLiteral("web")));
    menuItem("editProject")->trigger();
    controller().project_name()->setText(QStringLiteral("zeta"));
    {
        Answerer user({QStringLiteral("Cancel")});
        controller().create();
    }
    EXPECT_TRUE(createForm().isVisible());
    controller().project_name()->setText(QStringLiteral("website"));
    controller().create();
    EXPECT_EQ(
        ProjectStore::projectNames(),
        (QStringList{QStringLiteral("alpha"), QStringLiteral("website"), QStringLiteral("zeta")}));
    EXPECT_EQ(ProjectStore::projectEntry(QStringLiteral("website")), changed);
    EXPECT_EQ(controller().searchField()->text(), QStringLiteral("website"));

    // The new-project form shows its draft again.
    app.AddNew();
    EXPECT_EQ(createForm().windowTitle(), QStringLiteral("New Project"));
    EXPECT_EQ(controller().project_name()->text(), QStringLiteral("draft"));
    EXPECT_EQ(controller().project_path()->text(), QStringLiteral("/draft"));
    EXPECT_TRUE(notifier.notifications().isEmpty());
}

TEST_F(ProjectFormsTest, RemovingTheLastProjectEmptiesThePopUp)
{
    addProjects({QStringLiteral("only")});
    app.togglePanel();
    ASSERT_EQ(popUpTitles(), QStringList{QStringLiteral("only")});
    {
        Answerer user({QStringLiteral("Remove")});
        controller().remove();
    }
    EXPECT_TRUE(ProjectStore::projectNames().isEmpty());
    EXPECT_EQ(controller().project_select()->count(), 0);
}

TEST_F(ProjectFormsTest, RemoveWithoutASelectionWritesNothing)
{
    app.togglePanel();
    ASSERT_EQ(controller().project_select()->count(), 0);
    const QString store = resources.file(QStringLiteral("projects.plist"));
    const QDateTime longAgo = QDateTime::fromSecsSinceEpoch(1000000000);
    {
        QFile file(store);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(longAgo, QFileDevice::FileModificationTime));
    }
    const QByteArray before = resources.read(QStringLiteral("projects.plist"));

    Q_EMIT controller().launchMenu()->aboutToShow();
    EXPECT_FALSE(menuItem("remove")->isEnabled());
    controller().remove();

    EXPECT_EQ(QFileInfo(store).lastModified(), longAgo);
    EXPECT_EQ(resources.read(QStringLiteral("projects.plist")), before);
}

// --- Scanning for projects -----------------------------------------------

TEST_F(ProjectFormsTest, ScanFolderListsWhatItFindsAndAddsTheCheckedOnes)
{
    QTemporaryDir tree;
    for (const char* marker : {"one/api/.git/HEAD", "one/web/package.json", "two/web/go.mod"}) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(tree.filePath(QString::fromLatin1(marker))).path()));
        QFile file(tree.filePath(QString::fromLatin1(marker)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    addProjects({QStringLiteral("api")});
    const ProjectEntry stored = *ProjectStore::projectEntry(QStringLiteral("api"));
    app.togglePanel();

    menuItem("scanFolder")->trigger();
    EXPECT_FALSE(controller().hasActivePanel());
    ScanDialog* dialog = controller().scanDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(openPanel.begun_, 1);
    EXPECT_FALSE(openPanel.options_.canChooseFiles);
    EXPECT_TRUE(openPanel.options_.canChooseDirectories);
    openPanel.answer(modal_response::ok, {tree.path()});
    ASSERT_TRUE(test::waitUntil([&] { return !dialog->isLooking(); }));

    // Each found project under the name it gets, all checked.
    auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("found"));
    ASSERT_NE(list, nullptr);
    QStringList listed;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        listed << list->topLevelItem(row)->text(0);
        EXPECT_EQ(list->topLevelItem(row)->checkState(0), Qt::Checked);
    }
    EXPECT_EQ(listed, (QStringList{QStringLiteral("api (one)"), QStringLiteral("web"),
                                   QStringLiteral("web (two)")}));

    list->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    dialog->findChild<QPushButton*>(QStringLiteral("add"))->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(ProjectStore::projectNames(),
              (QStringList{QStringLiteral("api"), QStringLiteral("api (one)"),
                           QStringLiteral("web (two)")}));
    EXPECT_EQ(ProjectStore::projectEntry(QStringLiteral("api")), stored);
    EXPECT_EQ(ProjectStore::projectEntry(QStringLiteral("web (two)")),
              newProjectEntry(tree.filePath(QStringLiteral("two/web"))));
    EXPECT_EQ(popUpTitles(), ProjectStore::projectNames());
    EXPECT_FALSE(controller().hasActivePanel());
}

TEST_F(ProjectFormsTest, CancellingTheFolderChoiceClosesTheScanDialog)
{
    menuItem("scanFolder")->trigger();
    openPanel.answer(modal_response::cancel, {});
    EXPECT_FALSE(controller().scanDialog()->isVisible());
}

// --- Settings -------------------------------------------------------------

TEST_F(ProjectFormsTest, PreferencesShowTheStoredSettingsEvenBeforeThePanelOpened)
{
    ASSERT_TRUE(ProjectStore::saveSetting(setting_key::editorCommand, QStringLiteral("vim")).ok());
    ASSERT_TRUE(ProjectStore::saveSetting(setting_key::terminal, QStringLiteral("kitty")).ok());
    app.MenuPreferences();
    EXPECT_TRUE(settingsForm().isVisible());
    EXPECT_FALSE(controller().hasActivePanel());
    EXPECT_EQ(controller().editor_cmd()->text(), QStringLiteral("vim"));
    EXPECT_EQ(controller().terminal_app()->text(), QStringLiteral("kitty"));
}

TEST_F(ProjectFormsTest, EachSettingsActionSavesOnlyItsOwnKey)
{
    enum class Field { editor, terminal };
    enum class By { saveButton, returnKey };
    struct Row {
        const char* what;
        Field field;
        By by;
        QString value;
    };
    const std::vector<Row> rows{
        {"editor by Save", Field::editor, By::saveButton, QStringLiteral("code -n")},
        {"editor by Return", Field::editor, By::returnKey, QStringLiteral("subl")},
        {"empty editor", Field::editor, By::saveButton, QString()},
        {"terminal by Save", Field::terminal, By::saveButton, QStringLiteral("xterm")},
        {"terminal by Return", Field::terminal, By::returnKey, QStringLiteral("konsole")},
        {"empty terminal", Field::terminal, By::returnKey, QString()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(
            ProjectStore::saveSetting(setting_key::editorCommand, QStringLiteral("ed0")).ok());
        ASSERT_TRUE(ProjectStore::saveSetting(setting_key::terminal, QStringLiteral("term0")).ok());
        app.MenuPreferences();
        ASSERT_TRUE(settingsForm().isVisible());
        const bool editor = row.field == Field::editor;
        QLineEdit* field = editor ? controller().editor_cmd() : controller().terminal_app();
        // The other field is edited too but not saved.
        (editor ? controller().terminal_app() : controller().editor_cmd())
            ->setText(QStringLiteral("unsaved"));
        field->setText(row.value);
        if (row.by == By::returnKey) {
            // The default button: both fields.
            test::pressKey(field, Qt::Key_Return);
            EXPECT_EQ(ProjectStore::loadSettings()
                          ->value(editor ? setting_key::terminal : setting_key::editorCommand)
                          .toString(),
                      QStringLiteral("unsaved"));
            EXPECT_FALSE(settingsForm().isVisible());
            continue;
        } else {
            child<QPushButton>(settingsForm(), editor ? "btnSaveEditorCmd" : "btnSaveTerminalApp")
                .click();
        }

        const std::optional<LaunchSettings> settings = ProjectStore::loadSettings();
        ASSERT_TRUE(settings.has_value());
        const QString& own = editor ? setting_key::editorCommand : setting_key::terminal;
        const QString& other = editor ? setting_key::terminal : setting_key::editorCommand;
        ASSERT_TRUE(settings->contains(own));
        EXPECT_EQ(settings->value(own).toString(), row.value);
        EXPECT_EQ(settings->value(other).toString(),
                  editor ? QStringLiteral("term0") : QStringLiteral("ed0"));
        EXPECT_FALSE(settingsForm().isVisible());
    }
}

// The two opt-in choices: each box writes its own setting at once and the
// form stays open; the tmux one cannot be chosen without tmux on PATH.
TEST_F(ProjectFormsTest, TheOptInChoicesWriteOrderAndOpenIn)
{
    struct Row {
        const char* what;
        QCheckBox* (PanelController::*box)() const;
        const QString& key;
        QString on, off;
    };
    const std::vector<Row> rows{
        {"Most used first", &PanelController::order_by_use, setting_key::order,
         QStringLiteral("use"), QStringLiteral("store")},
        {"Open in a tmux session", &PanelController::open_in_tmux, setting_key::openIn,
         QStringLiteral("tmux"), QStringLiteral("window")},
    };
    const QByteArray path = qgetenv("PATH");
    const QTemporaryDir emptyBin;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // tmux found on a PATH of its own, so the test does not depend on it.
        const QString bin = emptyBin.filePath(QStringLiteral("bin"));
        QDir().mkpath(bin);
        QFile tmux(bin + QStringLiteral("/tmux"));
        ASSERT_TRUE(tmux.open(QIODevice::WriteOnly));
        tmux.close();
        tmux.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        qputenv("PATH", QFile::encodeName(bin));
        app.MenuPreferences();
        QCheckBox* box = (controller().*row.box)();
        EXPECT_FALSE(box->isChecked()) << "off by default";
        ASSERT_TRUE(box->isEnabled());
        box->click();
        EXPECT_EQ(textForm(*ProjectStore::loadSettings(), row.key), row.on);
        EXPECT_TRUE(settingsForm().isVisible());
        settingsForm().close();
        app.MenuPreferences();
        EXPECT_TRUE(box->isChecked()) << "the box shows the setting";
        box->click();
        EXPECT_EQ(textForm(*ProjectStore::loadSettings(), row.key), row.off);
        settingsForm().close();
    }
    EXPECT_FALSE(controller().open_in_tmux_note()->isVisibleTo(&settingsForm()));
    qputenv("PATH", QFile::encodeName(emptyBin.path()));
    app.MenuPreferences();
    EXPECT_FALSE(controller().open_in_tmux()->isEnabled()) << "no tmux on PATH";
    EXPECT_TRUE(controller().open_in_tmux_note()->isVisibleTo(&settingsForm()));
    qputenv("PATH", path);
}

TEST_F(ProjectFormsTest, StartAtLoginWritesAndRemovesTheAutostartEntry)
{
    QFile::remove(autostartEntryPath());
    app.MenuPreferences();
    QCheckBox* box = controller().startAtLogin();
    EXPECT_FALSE(box->isChecked());

    box->click();
    ASSERT_TRUE(QFileInfo::exists(autostartEntryPath()));
    QFile entry(autostartEntryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains(
        "\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + "\n"));
    EXPECT_TRUE(settingsForm().isVisible()) << "the box does not close the form";

    settingsForm().close();
    app.MenuPreferences();
    EXPECT_TRUE(box->isChecked()) << "the box shows the entry";
    box->click();
    EXPECT_FALSE(QFileInfo::exists(autostartEntryPath()));
}

TEST_F(ProjectFormsTest, AFailedAutostartWriteLeavesTheBoxAsItWas)
{
    // The autostart folder's place is taken by a file: nothing can be written.
    QTemporaryDir config;
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QFile blocker(config.filePath(QStringLiteral("autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    app.MenuPreferences();
    controller().startAtLogin()->click();
    EXPECT_FALSE(controller().startAtLogin()->isChecked());
    qputenv("XDG_CONFIG_HOME", previous);
}

TEST_F(ProjectFormsTest, TheSettingsFormHasARowForTheShortcutRecorder)
{
    QWidget* slot = controller().shortcutRecorderSlot();
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->objectName(), QStringLiteral("shortcutRecorderSlot"));
    EXPECT_EQ(slot->window(), &settingsForm());
    auto* layout = qobject_cast<QHBoxLayout*>(slot->layout());
    ASSERT_NE(layout, nullptr);
    // Filled when the interface loads: the recorder of the global shortcut,
    // then what the row says about it and the desktop keybinding's button.
    ASSERT_EQ(layout->count(), 3);
    EXPECT_EQ(layout->itemAt(0)->widget()->objectName(), QStringLiteral("shortcutRecorder"));
    EXPECT_EQ(layout->itemAt(1)->widget()->objectName(), QStringLiteral("shortcutStatus"));
    EXPECT_EQ(layout->itemAt(2)->widget()->objectName(), QStringLiteral("bindInDesktopSettings"));
    bool labelled = false;
    for (const QLabel* label : settingsForm().findChildren<QLabel*>()) {
        labelled |= label->text() == QStringLiteral("Global shortcut:");
    }
    EXPECT_TRUE(labelled);
}

TEST_F(ProjectFormsTest, EscapeClosesThePreferences)
{
    app.MenuPreferences();
    test::pressKey(controller().editor_cmd(), Qt::Key_Escape);
    EXPECT_FALSE(settingsForm().isVisible());
}

// --- The options menu and the help pages ----------------------------------

TEST_F(ProjectFormsTest, TheOptionsButtonPopsUpTheOptionsMenu)
{
    EXPECT_EQ(controller().btnOptions()->menu(), controller().launchMenu());
    for (const char* action : {"remove", "openPreferences", "goToHelp", "goToCommands", "close"}) {
        EXPECT_NE(menuItem(action), nullptr) << action;
    }
    menuItem("openPreferences")->trigger();
    EXPECT_TRUE(settingsForm().isVisible());
}

TEST_F(ProjectFormsTest, HelpOpensTheLocalPagesByDefault)
{
    menuItem("goToHelp")->trigger();
    menuItem("goToCommands")->trigger();
    child<QPushButton>(settingsForm(), "btnHelp").click();
    child<QPushButton>(createForm(), "btnCommandsHelp").click();

    ASSERT_EQ(browser.urls.size(), 4);
    const QUrl help = browser.urls[0];
    const QUrl commands = browser.urls[1];
    EXPECT_TRUE(help.isLocalFile());
    EXPECT_EQ(help.fragment(), QStringLiteral("help"));
    EXPECT_TRUE(help.toLocalFile().endsWith(QStringLiteral("/index.html")));
    EXPECT_TRUE(QFileInfo(help.toLocalFile()).isFile()) << help.toLocalFile().toStdString();
    EXPECT_TRUE(commands.toLocalFile().endsWith(QStringLiteral("/launch-commands/index.html")));
    EXPECT_TRUE(QFileInfo(commands.toLocalFile()).isFile());
    EXPECT_EQ(browser.urls[2], help);
    EXPECT_EQ(browser.urls[3], commands);
}

TEST_F(ProjectFormsTest, TheHelpBaseAddressComesFromTheDefaults)
{
    defaults.setObject(QStringLiteral("https://zarvo.example/docs"), kHelpBaseUrlKey);
    controller().goToHelp();
    controller().goToCommands();
    EXPECT_EQ(browser.urls,
              (QList<QUrl>{QUrl(QStringLiteral("https://zarvo.example/docs#help")),
                           QUrl(QStringLiteral("https://zarvo.example/docs/launch-commands"))}));
}

TEST_F(ProjectFormsTest, WithoutABrowserLocalPagesShowInsideAndOthersAreNotified)
{
    FailingUrlOpener noBrowser;
    services().urlOpener = &noBrowser;
    controller().goToCommands();
    QTextBrowser* viewer = controller().helpViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(
        viewer->source().toLocalFile().endsWith(QStringLiteral("/launch-commands/index.html")));
    EXPECT_FALSE(viewer->toPlainText().isEmpty());
    EXPECT_TRUE(notifier.notifications().isEmpty());

    defaults.setObject(QStringLiteral("https://zarvo.example/docs"), kHelpBaseUrlKey);
    controller().goToHelp();
    ASSERT_EQ(notifier.notifications().size(), 1);
    EXPECT_TRUE(notifier.notifications()[0].body.contains(
        QStringLiteral("https://zarvo.example/docs#help")));
}

TEST_F(ProjectFormsTest, AStoreThatCannotBeReadOrWrittenIsToldOnTheDesktop)
{
    addProjects({QStringLiteral("alpha")});
    app.AddNew();
    fillCreateForm(QStringLiteral("web"), folder);
    // Read-only: the write fails, the form keeps what was typed.
    QFile store(resources.file(QStringLiteral("projects.plist")));
    const QFileDevice::Permissions writable = store.permissions();
    ASSERT_TRUE(
        QFile::setPermissions(resources.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    controller().create();
    ASSERT_TRUE(QFile::setPermissions(resources.path(), QFileDevice::ReadOwner |
                                                            QFileDevice::WriteOwner |
                                                            QFileDevice::ExeOwner));
    if (::geteuid() != 0) {
        ASSERT_EQ(notifier.notifications().size(), 1);
        EXPECT_TRUE(notifier.notifications()[0].summary.contains(QStringLiteral("web")));
        EXPECT_TRUE(createForm().isVisible());
        EXPECT_EQ(controller().project_name()->text(), QStringLiteral("web"));
    }
    ASSERT_TRUE(store.setPermissions(writable));
    notifier.clear();

    // Unreadable: told once, however often the panel opens.
    resources.write(QStringLiteral("projects.plist"), "not a property list");
    for (int opening = 0; opening < 2; ++opening) {
        app.togglePanel();
        app.togglePanel();
    }
    ASSERT_EQ(notifier.notifications().size(), 1);
    EXPECT_TRUE(notifier.notifications()[0].body.contains(QStringLiteral("projects.plist")))
        << notifier.notifications()[0].body.toStdString();
}

// --- Quitting -------------------------------------------------------------

TEST(ProjectFormsCloseTest, QuitEndsTheApplicationWithStatusZeroWhileAFormIsOpen)
{
    QTemporaryDir runtime;
    QTemporaryDir config;
    QTemporaryDir resources;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("ZARVO_RESOURCES"), resources.path());
    env.remove(QStringLiteral("DISPLAY"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--close-child")});
    ASSERT_TRUE(child.waitForFinished(60000)) << "the application did not end";
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << child.readAllStandardError().constData();
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().constData();
}

} // namespace
} // namespace zarvo
