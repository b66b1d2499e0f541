#include "platform/plistio.h"
#include "platform/resourcedir.h"
#include "projects/projectstore.h"
#include "projects/projectusage.h"
#include "support/privatesessionbus.h"
#include "support/pseudoterminals.h"
#include "support/runzarvo.h"
#include "support/tempresources.h"
#include "support/wait.h"
#include "support/xvfbserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace zarvo {
namespace {

using test::runZarvo;

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

QByteArray lines(std::initializer_list<QString> items)
{
    QByteArray out;
    for (const QString& item : items) {
        out += item.toUtf8() + '\n';
    }
    return out;
}

// `zarvo launch` with a stand-in terminal that runs the shell with its input
// at end of file, and stubs on PATH for xdg-open, the editor, a second
// terminal application and the user's shell, each noting what reached it.
class LaunchCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        prepareResourceDirectory();
        ASSERT_TRUE(temp.isValid());
        root = QDir(temp.path()).canonicalPath();
        for (const char* sub : {"bin", "home", "tmp"}) {
            ASSERT_TRUE(QDir(root).mkpath(s(sub)));
        }
        stub("stand-in", "pwd > '%1/terminal-cwd.txt'\n"
                         "for last; do :; done\n"
                         "stat -c %a \"$last\" > '%1/program-mode.txt'\n"
                         "\"$@\" < /dev/null > '%1/terminal-output.txt' 2>&1\n"
                         "echo done > '%1/terminal-done.txt'\n");
        stub("xdg-open", "printf '%s\\n' \"$PWD\" \"$@\" > '%1/xdg-open.txt'\n");
        stub("editor-stub", "printf '%s\\n' \"$PWD\" \"$@\" > '%1/editor.txt'\n");
        stub("MyTerm", "pwd > '%1/myterm.txt'\n");
        stub("usershell", "pwd > '%1/shell.txt'\n");
        env.insert(s("PATH"), root + s("/bin:") + qEnvironmentVariable("PATH"));
        env.insert(s("SHELL"), root + s("/bin/usershell"));
        env.insert(s("HOME"), root + s("/home"));
        env.insert(s("TMPDIR"), root + s("/tmp"));
        env.insert(s("GIT_CONFIG_NOSYSTEM"), s("1"));
        env.insert(s("ZARVO_TERMINAL"), root + s("/bin/stand-in"));
        // Usage records here, for the launches and for this process.
        env.insert(s("XDG_STATE_HOME"), root + s("/state"));
        qputenv("XDG_STATE_HOME", QFile::encodeName(root + s("/state")));
        // tmux servers of this test only, whatever runs around it.
        ASSERT_TRUE(QDir(root).mkpath(s("tmux")));
        env.insert(s("TMUX_TMPDIR"), root + s("/tmux"));
        env.remove(s("TMUX"));
    }

    void TearDown() override
    {
        if (QFileInfo::exists(tmuxSocket())) {
            QProcess::execute(s("tmux"), {s("-S"), tmuxSocket(), s("kill-server")});
        }
        qunsetenv("XDG_STATE_HOME");
    }

    // The default server's socket under the private TMUX_TMPDIR.
    QString tmuxSocket() const { return root + s("/tmux/tmux-%1/default").arg(::getuid()); }
    // Runs the real tmux against the test's server.
    int tmux(const QStringList& args) const
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(s("tmux"), args);
        process.waitForFinished(10000);
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // Launches NAME and waits for its terminal, starting from no trace of
    // an earlier one.
    void launchAgain(const QString& name)
    {
        QFile::remove(file("terminal-done.txt"));
        launch(name);
    }

    QStringList searched(const QString& text)
    {
        const test::ProcessResult result = runZarvo({s("search"), text}, env);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        return result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    void stub(const char* name, const char* body)
    {
        QFile file(root + s("/bin/") + s(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + s(body).arg(root).toUtf8());
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
    }

    QString file(const char* name) const { return root + QLatin1Char('/') + s(name); }

    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static bool waitForFile(const QString& path) { return test::waitForFile(path); }

    QString git(const QStringList& args, const QString& folder)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(folder);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(s("git"), QStringList{s("-c"), s("user.name=Zarvo Test"), s("-c"),
                                            s("user.email=test@example.invalid")} +
                                    args);
        EXPECT_TRUE(process.waitForFinished(30000));
        const QString output = QString::fromUtf8(process.readAll());
        EXPECT_EQ(process.exitCode(), 0) << args.join(QLatin1Char(' ')).toStdString() << "\n"
                                         << output.toStdString();
        return output;
    }

    void commit(const QString& clone, const char* fileName, const char* message)
    {
        QFile file(clone + QLatin1Char('/') + s(fileName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(message);
        file.close();
        git({s("add"), s(fileName)}, clone);
        git({s("commit"), s("-q"), s("-m"), s(message)}, clone);
        git({s("push"), s("-q"), s("origin"), s("HEAD")}, clone);
    }

    test::ProcessResult launch(const QString& name)
    {
        const test::ProcessResult result = runZarvo({s("launch"), name}, env);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(s("Launching project: ") + name))
            << result.err.toStdString();
        EXPECT_TRUE(test::waitForFile(file("terminal-done.txt"))) << "the terminal never ran";
        return result;
    }

    QString terminalOutput() const
    {
        return QString::fromUtf8(readAll(file("terminal-output.txt")));
    }

    test::TempResources resources;
    QTemporaryDir temp;
    QString root;
    QProcessEnvironment env;
};

TEST_F(LaunchCommandTest, PullsTheNewCommitAndRunsTheCommandsInTheProject)
{
    const QString origin = root + s("/origin.git");
    const QString other = root + s("/other");
    const QString work = root + s("/work");
    git({s("init"), s("-q"), s("--bare"), origin}, root);
    git({s("clone"), s("-q"), s("file://") + origin, other}, root);
    commit(other, "README", "First commit");
    git({s("clone"), s("-q"), s("file://") + origin, work}, root);
    commit(other, "NEWS", "Second commit");

    ProjectStore::saveProject(
        s("work"),
        {{entry_key::filePath, work},
         {entry_key::doPull, s("1")},
         {entry_key::openFinder, s("1")},
         {entry_key::customOpen, s("")},
         {entry_key::commands, s("git log -1 --format=%s > ../after-pull.txt; pwd > ../pwd.txt")}});
    ProjectStore::saveSetting(setting_key::editorCommand, s("editor-stub --wait"));
    ProjectStore::saveSetting(setting_key::terminal, s(""));

    launch(s("work"));
    EXPECT_EQ(readAll(file("after-pull.txt")), QByteArray("Second commit\n"))
        << terminalOutput().toStdString();
    EXPECT_TRUE(QFile::exists(work + s("/NEWS")));
    EXPECT_EQ(readAll(file("terminal-cwd.txt")), lines({work}));
    EXPECT_EQ(readAll(file("program-mode.txt")), QByteArray("600\n")) << "owner-only";
    EXPECT_EQ(readAll(file("pwd.txt")), lines({work}));
    ASSERT_TRUE(test::waitForFile(file("xdg-open.txt")));
    EXPECT_EQ(readAll(file("xdg-open.txt")), lines({work, work}));
    EXPECT_EQ(readAll(file("editor.txt")), lines({work, s("--wait"), s("./")}));
    // No second terminal, so the window stays in the user's shell.
    EXPECT_EQ(readAll(file("shell.txt")), lines({work}));
    EXPECT_TRUE(QDir(root + s("/tmp")).isEmpty()) << "the window's program removed itself";
}

TEST_F(LaunchCommandTest, AProjectFileOpensFromItsFolderAndASecondTerminalEndsTheWindow)
{
    const QString folder = root + s("/Apps/Demo");
    ASSERT_TRUE(QDir(root).mkpath(s("Apps/Demo/Demo.xcodeproj")));
    ProjectStore::saveProject(s("demo"),
                              {{entry_key::filePath, folder + s("/Demo.xcodeproj")},
                               {entry_key::doPull, s("0")},
                               {entry_key::openFinder, s("0")},
                               {entry_key::customOpen, s("editor-stub --title \"Demo\"")},
                               {entry_key::commands, s("")}});
    ProjectStore::saveSetting(setting_key::editorCommand, s("unused"));
    ProjectStore::saveSetting(setting_key::terminal, s("MyTerm"));

    launch(s("demo"));
    EXPECT_EQ(readAll(file("editor.txt")),
              lines({folder, s("--title"), s("Demo"), s("Demo.xcodeproj")}))
        << terminalOutput().toStdString();
    ASSERT_TRUE(test::waitForFile(file("myterm.txt")));
    EXPECT_EQ(readAll(file("myterm.txt")), lines({folder}));
    EXPECT_FALSE(QFile::exists(file("shell.txt"))) << "exit ends the window's shell";
}

// Folder names that would break out of careless quoting. Each launch must
// change into exactly that folder and run nothing but what the project says.
class LaunchEscapingTest : public LaunchCommandTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(LaunchEscapingTest, ChangesIntoExactlyThatFolderAndRunsNothingElse)
{
    const QString folder = root + s("/projects/") + s(GetParam());
    ASSERT_TRUE(QDir().mkpath(folder));
    ProjectStore::saveProject(s("odd"), {{entry_key::filePath, folder},
                                         {entry_key::openFinder, s("1")},
                                         {entry_key::commands, s("pwd > ../../pwd.txt")}});
    ProjectStore::saveSetting(setting_key::editorCommand, s("editor-stub"));

    launch(s("odd"));
    EXPECT_EQ(readAll(file("pwd.txt")), lines({folder})) << terminalOutput().toStdString();
    ASSERT_TRUE(test::waitForFile(file("xdg-open.txt")));
    EXPECT_EQ(readAll(file("xdg-open.txt")), lines({folder, folder}));
    EXPECT_EQ(readAll(file("editor.txt")), lines({folder, s("./")}));
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        EXPECT_NE(it.next().section(QLatin1Char('/'), -1), s("pwned"))
            << it.filePath().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Names, LaunchEscapingTest,
                         ::testing::Values("a'b; touch pwned; '", "say \"hi\"; touch pwned \\",
                                           "$(touch pwned)", "`touch pwned` & x", " lead' '",
                                           "two\nlines; touch pwned",
                                           "\u05de\u05d9\u05d6\u05dd \U0001F680 \u202e"));

TEST_F(LaunchCommandTest, ScriptPrintsExactlyTheScriptAndRunsNothing)
{
    const QString folder = root + s("/web");
    ASSERT_TRUE(QDir().mkpath(folder));
    ProjectStore::saveProject(s("web"), {{entry_key::filePath, folder},
                                         {entry_key::doPull, s("1")},
                                         {entry_key::openFinder, s("0")},
                                         {entry_key::customOpen, s("")},
                                         {entry_key::commands, s("make serve")}});
    ProjectStore::saveSetting(setting_key::editorCommand, s("edit"));
    ProjectStore::saveSetting(setting_key::terminal, s(""));

    const test::ProcessResult result = runZarvo({s("script"), s("web")}, env);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QString pad(17, QLatin1Char(' '));
    EXPECT_EQ(result.out, pad + s("tell application \"Terminal\"\n") + pad + s("activate\n") + pad +
                              s("do script \"clear\"\n") + pad + s("do script \" cd '") + folder +
                              s("'\" in window 1\n") + pad +
                              s("do script \"git pull\" in window 1\n") + pad +
                              s("do script \"make serve\" in window 1\n") + pad + s("    ") +
                              s("do script \"edit ./\" in window 1\n") + pad + s("end tell\n"));
    EXPECT_FALSE(result.err.contains(s("Launching")));
    EXPECT_TRUE(QDir(root + s("/tmp")).isEmpty()) << "nothing was run";
}

TEST_F(LaunchCommandTest, AStoreOthersCanChangeIsRefusedWithTheFix)
{
    ProjectStore::saveProject(s("web"), {{entry_key::filePath, root}});
    const QByteArray settings = QFile::encodeName(resources.file(s("settings.plist")));
    ASSERT_EQ(::chmod(settings.constData(), 0666), 0);
    const test::ProcessResult refused = runZarvo({s("launch"), s("web")}, env);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(s("refusing to launch"))) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(s("chmod o-w"))) << refused.err.toStdString();
    EXPECT_TRUE(QDir(root + s("/tmp")).isEmpty()) << "nothing was run";
    EXPECT_EQ(runZarvo({s("script"), s("web")}, env).exitCode, 0) << "printing still works";
}

TEST_F(LaunchCommandTest, LaunchesOrderTheSearchAndTheRecordsFollowRemovalAndRename)
{
    for (const char* name : {"api-web", "blog-web", "shop-web"}) {
        ProjectStore::saveProject(s(name), {{entry_key::filePath, root}});
    }
    ProjectStore::saveSetting(setting_key::editorCommand, s("editor-stub"));
    const QString usage = root + s("/state/zarvo/usage.plist");

    // With the store's order nothing is recorded.
    launchAgain(s("shop-web"));
    EXPECT_FALSE(QFile::exists(usage));
    EXPECT_EQ(searched(s("web")), QStringList({s("api-web"), s("blog-web"), s("shop-web")}));

    ASSERT_EQ(runZarvo({s("settings"), s("order"), s("use")}, env).exitCode, 0);
    EXPECT_TRUE(runZarvo({s("settings")}, env).out.contains(s("\nOrder: use\n")));
    // A broken file is no failure: it reads as no uses and is replaced.
    ASSERT_TRUE(QDir().mkpath(root + s("/state/zarvo")));
    QFile broken(usage);
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<plist><dict><key>api-web");
    broken.close();
    ::chmod(QFile::encodeName(usage).constData(), 0644);
    EXPECT_EQ(searched(s("web")), QStringList({s("api-web"), s("blog-web"), s("shop-web")}));

    launchAgain(s("shop-web"));
    launchAgain(s("shop-web"));
    launchAgain(s("blog-web"));
    EXPECT_EQ(searched(s("web")), QStringList({s("shop-web"), s("blog-web"), s("api-web")}));
    EXPECT_EQ(searched(s("")), QStringList({s("shop-web"), s("blog-web")}));
    const auto records = plist::readDictionaryFile(usage);
    ASSERT_TRUE(records.has_value()) << "the broken file was replaced";
    EXPECT_EQ(records->value(s("shop-web")).toMap().value(s("uses")).toList().size(), 2);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(usage).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "owner-only";

    // Removed: the record goes, so a new project of that name starts afresh.
    ASSERT_EQ(runZarvo({s("remove"), s("shop-web")}, env).exitCode, 0);
    EXPECT_FALSE(plist::readDictionaryFile(usage)->contains(s("shop-web")));
    ProjectStore::saveProject(s("shop-web"), {{entry_key::filePath, root}});
    EXPECT_EQ(searched(s("web")), QStringList({s("blog-web"), s("api-web"), s("shop-web")}));

    // Renamed (as editing renames): the record comes along.
    ProjectStore::saveProject(s("zine-web"), *ProjectStore::projectEntry(s("blog-web")));
    ASSERT_TRUE(ProjectUsage::rename(s("blog-web"), s("zine-web")).ok());
    ProjectStore::removeProject(s("blog-web"));
    EXPECT_EQ(searched(s("web")), QStringList({s("zine-web"), s("api-web"), s("shop-web")}));
}

// "Open In" = "tmux", on a server of the test's own (TMUX_TMPDIR): the first
// launch makes the session and runs the commands in it, every launch attaches
// one terminal window, and the second runs nothing again.
TEST_F(LaunchCommandTest, TmuxRunsTheCommandsOnceInTheProjectsSessionAndAttaches)
{
    if (const QString why = test::whyNoPseudoTerminals(); !why.isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(why));
        GTEST_SKIP() << why.toStdString();
    }
    const QString realTmux = QStandardPaths::findExecutable(s("tmux"));
    ASSERT_FALSE(realTmux.isEmpty()) << "tmux comes with scripts/install-deps.sh";
    // Every call to tmux noted before the real one runs.
    stub("tmux", QByteArray("printf '%s\\n' \"$*\" >> '%1/tmux-calls.txt'\nexec '" +
                            realTmux.toUtf8() + "' \"$@\"\n")
                     .constData());
    // A shell that stays, as the user's would, so the session lives on.
    stub("waitingshell", "pwd > '%1/shell.txt'\nexec sleep 120\n");
    env.insert(s("SHELL"), root + s("/bin/waitingshell"));

    const QString name = s("my.app:v2");
    const QString folder = root + s("/") + name;
    ASSERT_TRUE(QDir().mkpath(folder));
    ProjectStore::saveProject(name, {{entry_key::filePath, folder},
                                     {entry_key::openFinder, s("1")},
                                     {entry_key::commands, s("echo ran >> ../ran.txt")}});
    ProjectStore::saveSetting(setting_key::editorCommand, s("editor-stub"));
    // A second terminal: the script ends with the exit that tmux must not get.
    ProjectStore::saveSetting(setting_key::terminal, s("MyTerm"));
    const QString script = runZarvo({s("script"), name}, env).out;
    ASSERT_EQ(runZarvo({s("settings"), s("open"), s("tmux")}, env).exitCode, 0);
    EXPECT_EQ(runZarvo({s("script"), name}, env).out, script) << "the script is the same";

    launch(name);
    ASSERT_TRUE(waitForFile(file("shell.txt"))) << terminalOutput().toStdString();
    EXPECT_EQ(readAll(file("ran.txt")), QByteArray("ran\n"));
    EXPECT_EQ(readAll(file("editor.txt")), lines({folder, s("./")}));
    EXPECT_EQ(readAll(file("xdg-open.txt")), lines({folder, folder}));
    EXPECT_TRUE(waitForFile(file("myterm.txt")));
    EXPECT_EQ(readAll(file("shell.txt")), lines({folder})) << "no exit: the shell stays";
    EXPECT_EQ(tmux({s("has-session"), s("-t"), s("=my_app_v2")}), 0);
    EXPECT_EQ(readAll(file("terminal-cwd.txt")), lines({folder})) << "the attaching window";

    launchAgain(name);
    EXPECT_EQ(tmux({s("has-session"), s("-t"), s("=my_app_v2")}), 0);
    const QStringList calls =
        QString::fromUtf8(readAll(file("tmux-calls.txt"))).split(QLatin1Char('\n'));
    EXPECT_EQ(calls.filter(s("new-session")).size(), 1)
        << calls.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(calls.filter(s("new-session -d -s my_app_v2 -c ") + folder).size(), 1);
    EXPECT_EQ(calls.filter(s("attach-session -t =my_app_v2")).size(), 2);
    EXPECT_EQ(readAll(file("ran.txt")), QByteArray("ran\n")) << "nothing ran twice";
}

// A project whose folder is gone: its window opens and says so, none of its
// commands run anywhere, and the launch fails with the reason.
TEST_F(LaunchCommandTest, AFolderThatIsGoneRunsNothingAndFails)
{
    const QString gone = root + s("/unmounted/web");
    ProjectStore::saveProject(s("web"),
                              {{entry_key::filePath, gone}, {entry_key::commands, s("touch ran")}});
    ProjectStore::saveSetting(setting_key::editorCommand, s("editor-stub"));
    const test::ProcessResult result = runZarvo({s("launch"), s("web")}, env);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(
        result.err.contains(s("Launch not run: the folder %1 is gone").arg(root + s("/unmounted"))))
        << result.err.toStdString();
    ASSERT_TRUE(test::waitForFile(file("terminal-done.txt")));
    EXPECT_TRUE(terminalOutput().contains(
        s("Zarvo: the folder %1 is gone, so nothing more of this launch runs.")
            .arg(root + s("/unmounted"))))
        << terminalOutput().toStdString();
    EXPECT_FALSE(QFile::exists(root + s("/home/ran")));
    EXPECT_FALSE(QFile::exists(file("editor.txt")));
    EXPECT_EQ(readAll(file("shell.txt")), lines({root + s("/home")})) << "the window stays";
}

TEST_F(LaunchCommandTest, NoTerminalIsAFailureWithItsReason)
{
    ProjectStore::saveProject(s("web"), {{entry_key::filePath, root}});
    env.insert(s("ZARVO_TERMINAL"), s("no-such-terminal -e"));
    const test::ProcessResult result = runZarvo({s("launch"), s("web")}, env);
    EXPECT_EQ(result.exitCode, 1);
    const QStringList said = result.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(said.value(1), s("zarvo: Launch not run: $ZARVO_TERMINAL names \"no-such-terminal\", "
                               "which is not an executable on PATH"))
        << result.err.toStdString();
    EXPECT_EQ(said.size(), 2) << result.err.toStdString();
    EXPECT_TRUE(QDir(root + s("/tmp")).isEmpty()) << "nothing was left behind";
}

TEST_F(LaunchCommandTest, AnUnknownProjectIsAnError)
{
    for (const char* command : {"script", "launch"}) {
        const test::ProcessResult result = runZarvo({s(command), s("ghost")}, env);
        EXPECT_EQ(result.exitCode, 1) << command;
        EXPECT_TRUE(result.out.isEmpty()) << command;
        EXPECT_TRUE(result.err.contains(s("no project named \"ghost\"")))
            << result.err.toStdString();
    }
    EXPECT_TRUE(QDir(root + s("/tmp")).isEmpty()) << "nothing was run";
}

// ---- Real terminal emulators on an X server of the test's own ----------

// `zarvo launch` with a real emulator as $TERMINAL, behind a stand-in that
// fails at once as $ZARVO_TERMINAL, on an Xvfb: the launch falls back to the
// emulator, whose window is titled with the project's name, runs the commands
// in the project's folder and stays in the user's shell, or, with a second
// terminal application set, starts it and closes while the application
// stays.
class LaunchInATerminalTest : public LaunchCommandTest,
                              public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        LaunchCommandTest::SetUp();
        emulator = s(GetParam());
        if (QStandardPaths::findExecutable(emulator).isEmpty() ||
            QStandardPaths::findExecutable(s("xterm")).isEmpty()) {
            GTEST_SKIP() << GetParam() << " or xterm is not installed";
        }
        if (const QString why = test::whyNoPseudoTerminals(); !why.isEmpty()) {
            std::printf("skipped: %s\n", qPrintable(why));
            GTEST_SKIP() << why.toStdString();
        }
        if (!QCoreApplication::instance()) {
            app = std::make_unique<QCoreApplication>(argc, argv);
        }
        xvfb = std::make_unique<test::XvfbServer>();
        if (!xvfb->running()) {
            GTEST_SKIP() << "no Xvfb or xdotool";
        }
        // mate-terminal opens its windows through a server on the session bus.
        bus = std::make_unique<test::PrivateSessionBus>();
        if (!bus->started()) {
            GTEST_SKIP() << bus->why().toStdString();
        }
        ASSERT_TRUE(QDir(root).mkpath(s("project")));
        ASSERT_TRUE(QDir(root).mkpath(s("runtime")));
        QFile::setPermissions(root + s("/runtime"), QFileDevice::ReadOwner |
                                                        QFileDevice::WriteOwner |
                                                        QFileDevice::ExeOwner);
        stub("failing", "echo tried >> '%1/failing.txt'\nexit 1\n");
        // The user's shell sets the window's title, as Debian's .bashrc does
        // at every prompt, notes where it started and stays until the test
        // ends. xterm replaces a $SHELL that /etc/shells does not list by the
        // account's shell, which does the same in its start-up file.
        const char* const noteTheShell = "printf '\\033]0;prompt\\007'\n"
                                         "pwd > '%1/shell.txt'\necho $$ >> '%1/pids.txt'\n";
        stub("usershell", (s(noteTheShell) + s("exec sleep 600\n")).toUtf8().constData());
        QFile startup(root + s("/home/.bashrc"));
        ASSERT_TRUE(startup.open(QIODevice::WriteOnly));
        startup.write(s(noteTheShell).arg(root).toUtf8());
        startup.close();
        env.insert(s("ENV"), startup.fileName());
        // An empty WAYLAND_DISPLAY sends kitty to Wayland: it must be unset.
        if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
            wayland = qgetenv("WAYLAND_DISPLAY");
            qunsetenv("WAYLAND_DISPLAY");
        }
        // The editor keeps the window open until the test has looked at it.
        stub("editor-wait", "pwd > '%1/editor.txt'\n"
                            "i=0; while [ ! -e '%1/release' ] && [ $i -lt 600 ]; do\n"
                            "    sleep 0.1; i=$((i + 1)); done\n");
        stub("SecondApp", "echo $$ >> '%1/pids.txt'\n"
                          "exec xterm -T 'second application' -e sleep 600\n");
        env.insert(s("DISPLAY"), QString::fromLatin1(xvfb->display()));
        env.insert(s("XDG_RUNTIME_DIR"), root + s("/runtime"));
        env.insert(s("LANG"), s("C.UTF-8"));
        env.insert(s("ZARVO_TERMINAL"), root + s("/bin/failing"));
        env.insert(s("TERMINAL"), emulator);
        ProjectStore::saveSetting(setting_key::editorCommand, s("editor-wait"));
    }

    void TearDown() override
    {
        for (const QByteArray& pid : readAll(file("pids.txt")).split('\n')) {
            // Hang-up ends an interactive shell, which ignores SIGTERM;
            // SIGTERM ends xterm.
            if (pid.toInt() > 0) {
                ::kill(pid.toInt(), SIGHUP);
                ::kill(pid.toInt(), SIGTERM);
            }
        }
        if (xvfb && xvfb->running()) {
            // The emulators end with their windows; they may still write
            // their caches into the test's folder until then.
            test::waitUntil(
                [&] {
                    return xvfb->output(s("xdotool"), {s("search"), s("--name"), s(".")}).isEmpty();
                },
                10000);
        }
        xvfb.reset();
        bus.reset();
        app.reset();
        if (wayland) {
            qputenv("WAYLAND_DISPLAY", *wayland);
        }
    }

    bool windowNamed(const QString& title) const
    {
        return !xvfb->output(s("xdotool"), {s("search"), s("--name"), s("^") + title + s("$")})
                    .isEmpty();
    }

    void launchAndExpectTheFallBack(const QString& name)
    {
        const test::ProcessResult result = runZarvo({s("launch"), name}, env);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(
            s("Terminal $ZARVO_TERMINAL (failing) ended at once with exit status 1")))
            << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(s("Launch runs in $TERMINAL (%1)").arg(emulator)))
            << result.err.toStdString();
        EXPECT_EQ(readAll(file("failing.txt")), QByteArray("tried\n"));
    }

    QString emulator;
    int argc = 1;
    char name[6] = "tests";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    std::unique_ptr<test::XvfbServer> xvfb;
    std::unique_ptr<test::PrivateSessionBus> bus;
    std::optional<QByteArray> wayland;
};

TEST_P(LaunchInATerminalTest, RunsTheLaunchInAWindowTitledWithTheProject)
{
    const QString folder = root + s("/project");
    ProjectStore::saveProject(s("e2e web"), {{entry_key::filePath, folder},
                                             {entry_key::commands, s("pwd > ../pwd.txt")}});
    launchAndExpectTheFallBack(s("e2e web"));
    ASSERT_TRUE(test::waitForFile(file("editor.txt")));
    EXPECT_EQ(readAll(file("pwd.txt")), lines({folder}));
    EXPECT_TRUE(test::waitUntil([&] { return windowNamed(s("e2e web")); }, 10000));
    QFile(file("release")).open(QIODevice::WriteOnly);
    // The shell stays, in the folder, and so does the window, with its title
    // where the emulator can keep it (mate-terminal has no option for that).
    ASSERT_TRUE(test::waitForFile(file("shell.txt")));
    EXPECT_EQ(readAll(file("shell.txt")), lines({folder}));
    EXPECT_TRUE(windowNamed(emulator == s("mate-terminal") ? s("e2e web|prompt") : s("e2e web")));
}

TEST_P(LaunchInATerminalTest, TheSecondTerminalApplicationOutlivesTheWindow)
{
    const QString folder = root + s("/project");
    ProjectStore::saveProject(s("e2e web"), {{entry_key::filePath, folder}});
    ProjectStore::saveSetting(setting_key::terminal, s("SecondApp"));
    launchAndExpectTheFallBack(s("e2e web"));
    ASSERT_TRUE(test::waitForFile(file("editor.txt")));
    EXPECT_TRUE(test::waitUntil([&] { return windowNamed(s("second application")); }, 10000));
    QFile(file("release")).open(QIODevice::WriteOnly);
    // The `exit` after the editor closes the window, not the application.
    EXPECT_TRUE(test::waitUntil([&] { return !windowNamed(s("e2e web")); }, 10000));
    EXPECT_TRUE(windowNamed(s("second application")));
    EXPECT_FALSE(QFile::exists(file("shell.txt"))) << "exit ended the window's shell";
}

// xterm takes -e, mate-terminal -x and kitty --.
INSTANTIATE_TEST_SUITE_P(Emulators, LaunchInATerminalTest,
                         ::testing::Values("xterm", "mate-terminal", "kitty"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
} // namespace zarvo
