#include "platform/resourcedir.h"
#include "projects/projectstore.h"
#include "support/runzarvo.h"
#include "support/tempresources.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "support/wait.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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
        EXPECT_TRUE(waitForFile(file("terminal-done.txt"))) << "the terminal never ran";
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
    ASSERT_TRUE(waitForFile(file("myterm.txt")));
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

} // namespace
} // namespace zarvo
