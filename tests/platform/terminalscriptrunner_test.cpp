#include "platform/terminalscriptrunner.h"
#include "projects/launchscript.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "support/wait.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace zarvo {
namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

// ---- Reading scripts ----------------------------------------------------

struct ParseRow {
    const char* name;
    const char* script;
    std::vector<std::vector<const char*>> windows;
};

class ParseScript : public ::testing::TestWithParam<ParseRow> {};

TEST_P(ParseScript, GivesTheWindowsAndTheirCommands)
{
    const ParseRow& row = GetParam();
    const ParsedTerminalScript parsed = parseTerminalScript(s(row.script));
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    QList<QStringList> expected;
    for (const auto& window : row.windows) {
        QStringList commands;
        for (const char* command : window) {
            commands << s(command);
        }
        expected << commands;
    }
    EXPECT_EQ(parsed.script.windows, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseScript,
    ::testing::Values(
        ParseRow{"LaunchScript",
                 "                 tell application \"Terminal\"\n"
                 "                 activate\n"
                 "                 do script \"clear\"\n"
                 "                 do script \" cd '/srv/web'\" in window 1\n"
                 "                     do script \"edit ./\" in window 1\n"
                 "                 end tell",
                 {{"clear", " cd '/srv/web'", "edit ./"}}},
        ParseRow{"EscapesAreDecoded",
                 "tell application \"Terminal\"\ndo script \"a\\\"b\\\\c\\nd\\te\\rf\"\nend tell",
                 {{"a\"b\\c\nd\te\rf"}}},
        ParseRow{"StringsMayRunOverLines",
                 "tell application \"Terminal\"\ndo script \"one\ntwo\"\nend tell\n",
                 {{"one\ntwo"}}},
        ParseRow{"KeywordsInAnyCaseAndBlankLines",
                 "\r\nTELL Application \"Terminal\"\r\n\r\n\tActivate\r\nDo Script \"x\"\r\n"
                 "do script \"y\" IN WINDOW 1\r\nEnd Tell\r\n",
                 {{"x", "y"}}},
        ParseRow{"EachScriptWithoutWindowOpensOne",
                 "tell application \"Terminal\"\ndo script \"a\"\ndo script \"b\"\n"
                 "do script \"c\" in window 1\nend tell",
                 {{"a"}, {"b", "c"}}},
        ParseRow{"NothingToDo", "tell application \"Terminal\"\nactivate\nend tell", {}}),
    [](const ::testing::TestParamInfo<ParseRow>& info) { return std::string(info.param.name); });

struct BadScriptRow {
    const char* name;
    const char* script;
};

class RejectScript : public ::testing::TestWithParam<BadScriptRow> {};

TEST_P(RejectScript, WithAnError)
{
    const ParsedTerminalScript parsed = parseTerminalScript(s(GetParam().script));
    EXPECT_FALSE(parsed.error.isEmpty());
    EXPECT_TRUE(parsed.script.windows.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RejectScript,
    ::testing::Values(
        BadScriptRow{"Empty", ""},
        BadScriptRow{"NoEndTell", "tell application \"Terminal\"\ndo script \"x\""},
        BadScriptRow{"AnotherApplication", "tell application \"Finder\"\nend tell"},
        BadScriptRow{"OutsideTell", "do script \"x\""},
        BadScriptRow{"AfterEndTell", "tell application \"Terminal\"\nend tell\ndo script \"x\""},
        BadScriptRow{"UnknownEscape", "tell application \"Terminal\"\ndo script \"\\q\"\nend tell"},
        BadScriptRow{"UnterminatedString",
                     "tell application \"Terminal\"\ndo script \"x\nend tell"},
        BadScriptRow{
            "BareQuoteEndsTheString",
            "tell application \"Terminal\"\ndo script \" cd 'a\"b'\" in window 1\nend tell"},
        BadScriptRow{"FrontWindowBeforeAnyWindow",
                     "tell application \"Terminal\"\ndo script \"x\" in window 1\nend tell"},
        BadScriptRow{"OtherWindow",
                     "tell application \"Terminal\"\ndo script \"x\"\ndo script \"y\" in window 2\n"
                     "end tell"},
        BadScriptRow{"UnknownStatement", "tell application \"Terminal\"\nquit\nend tell"},
        BadScriptRow{"StrayCharacter", "tell application \"Terminal\"\n& x\nend tell"}),
    [](const ::testing::TestParamInfo<BadScriptRow>& info) {
        return std::string(info.param.name);
    });

TEST(ParseScript, RejectsANulCharacter)
{
    QString script = s("tell application \"Terminal\"\ndo script \"ab\"\nend tell");
    script[script.indexOf(QLatin1Char('b'))] = QChar(0);
    EXPECT_FALSE(parseTerminalScript(script).error.isEmpty());
}

// ---- Choosing the terminal emulator -------------------------------------

struct EmulatorRow {
    const char* name;
    std::map<std::string, std::string> env;
    std::vector<const char*> onPath;
    std::vector<const char*> expected;
};

class ChooseEmulator : public ::testing::TestWithParam<EmulatorRow> {};

TEST_P(ChooseEmulator, BuildsItsCommandLine)
{
    const EmulatorRow& row = GetParam();
    QProcessEnvironment env(QProcessEnvironment::InheritFromParent);
    env.clear();
    for (const auto& [key, value] : row.env) {
        env.insert(QString::fromStdString(key), QString::fromStdString(value));
    }
    const auto find = [&row](const QString& name) {
        for (const char* program : row.onPath) {
            if (name == s(program)) {
                return s("/bin/") + name;
            }
        }
        return QString();
    };
    QStringList expected;
    for (const char* word : row.expected) {
        expected << s(word);
    }
    EXPECT_EQ(terminalCommandLine({s("/bin/bash"), s("/tmp/w.sh")}, env, find), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ChooseEmulator,
    ::testing::Values(
        EmulatorRow{"ZarvoTerminalIsSplitLikeShellWords",
                    {{"ZARVO_TERMINAL", "my-term --title 'two words' -e"}},
                    {"xterm", "xdg-terminal-exec"},
                    {"my-term", "--title", "two words", "-e", "/bin/bash", "/tmp/w.sh"}},
        EmulatorRow{"ZarvoTerminalWithDoubleQuotesAndBackslashes",
                    {{"ZARVO_TERMINAL", R"("/opt/My Term/run" a\ b "x\"y" '')"}},
                    {},
                    {"/opt/My Term/run", "a b", "x\"y", "", "/bin/bash", "/tmp/w.sh"}},
        EmulatorRow{"UnclosedQuoteInZarvoTerminalIsPassedOver",
                    {{"ZARVO_TERMINAL", "my-term 'open"}},
                    {"xterm"},
                    {"/bin/xterm", "-e", "/bin/bash", "/tmp/w.sh"}},
        EmulatorRow{"EmptyZarvoTerminalIsPassedOver",
                    {{"ZARVO_TERMINAL", ""}},
                    {"xterm"},
                    {"/bin/xterm", "-e", "/bin/bash", "/tmp/w.sh"}},
        EmulatorRow{"XdgTerminalExecComesFirst",
                    {{"TERMINAL", "kitty"}},
                    {"xdg-terminal-exec", "kitty", "x-terminal-emulator"},
                    {"/bin/xdg-terminal-exec", "/bin/bash", "/tmp/w.sh"}},
        EmulatorRow{"TerminalVariableWithAKnownEmulator",
                    {{"TERMINAL", "kitty"}},
                    {"kitty", "x-terminal-emulator"},
                    {"/bin/kitty", "/bin/bash", "/tmp/w.sh"}},
        EmulatorRow{"TerminalVariableWithAnUnknownEmulator",
                    {{"TERMINAL", "urxvt -fg white"}},
                    {"urxvt"},
                    {"/bin/urxvt", "-fg", "white", "-e", "/bin/bash", "/tmp/w.sh"}},
        EmulatorRow{"TerminalVariableNotOnPath",
                    {{"TERMINAL", "gone"}},
                    {"x-terminal-emulator"},
                    {"/bin/x-terminal-emulator", "-e", "/bin/bash", "/tmp/w.sh"}},
        EmulatorRow{"GnomeTerminal",
                    {},
                    {"gnome-terminal", "xterm"},
                    {"/bin/gnome-terminal", "--", "/bin/bash", "/tmp/w.sh"}},
        EmulatorRow{"Xfce",
                    {},
                    {"xfce4-terminal", "foot"},
                    {"/bin/xfce4-terminal", "-x", "/bin/bash", "/tmp/w.sh"}},
        EmulatorRow{
            "Alacritty", {}, {"alacritty"}, {"/bin/alacritty", "-e", "/bin/bash", "/tmp/w.sh"}},
        EmulatorRow{"Foot", {}, {"foot", "xterm"}, {"/bin/foot", "/bin/bash", "/tmp/w.sh"}},
        EmulatorRow{"NoneFound", {{"TERMINAL", ""}}, {}, {}}),
    [](const ::testing::TestParamInfo<EmulatorRow>& info) { return std::string(info.param.name); });

// ---- The folder a window starts in --------------------------------------

struct FolderRow {
    const char* name;
    std::vector<const char*> commands;
    const char* folder; // null: none
};

class StartFolder : public ::testing::TestWithParam<FolderRow> {};

TEST_P(StartFolder, IsWhereTheFirstCdGoes)
{
    const FolderRow& row = GetParam();
    QStringList commands;
    for (const char* command : row.commands) {
        commands << s(command);
    }
    const std::optional<QString> folder = changedFolder(commands, s("/home/u"));
    if (row.folder) {
        EXPECT_EQ(folder.value_or(s("<none>")), s(row.folder));
    } else {
        EXPECT_FALSE(folder.has_value()) << folder->toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartFolder,
    ::testing::Values(FolderRow{"Quoted", {"clear", " cd '/srv/web'", "cd /x"}, "/srv/web"},
                      FolderRow{"EscapedQuote", {" cd '/srv/a'\\''b'"}, "/srv/a'b"},
                      FolderRow{"Relative", {"cd 'code/web'"}, "/home/u/code/web"},
                      FolderRow{"Bare", {"cd"}, "/home/u"},
                      FolderRow{"Expansion", {"cd $HOME/x"}, nullptr},
                      FolderRow{"TwoWords", {"cd '/a' '/b'"}, nullptr},
                      FolderRow{"Chained", {"cd /a; rm x"}, nullptr},
                      FolderRow{"NoCd", {"clear", "cdrom"}, nullptr}),
    [](const ::testing::TestParamInfo<FolderRow>& info) { return std::string(info.param.name); });

// ---- Running: stubs on PATH record what reached them --------------------

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

using test::waitForFile;

class RunWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        root = QDir(temp.path()).canonicalPath();
        project = root + s("/my project");
        for (const char* sub : {"bin", "home", "tmp", "share/applications", "my project"}) {
            ASSERT_TRUE(QDir(root).mkpath(s(sub)));
        }
        stub(s("xdg-open"), s("printf '%s\\n' \"$PWD\" \"$@\" > '%1/xdg-open.txt'\n").arg(root));
        stub(s("MyTerm"), s("pwd > '%1/myterm.txt'\n").arg(root));
        stub(s("gtk-launch"),
             s("printf '%s\\n' \"$PWD\" \"$@\" > '%1/gtk-launch.txt'\n").arg(root));
        stub(s("usershell"), s("pwd > '%1/shell.txt'\n").arg(root));
        QFile desktop(root + s("/share/applications/org.example.Files.desktop"));
        ASSERT_TRUE(desktop.open(QIODevice::WriteOnly));
        desktop.write("[Desktop Entry]\nType=Application\nName=Files\nExec=files %U\n");
    }

    void stub(const QString& name, const QString& body)
    {
        QFile file(root + s("/bin/") + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body.toUtf8());
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(s("PATH"), root + s("/bin:/usr/bin:/bin"));
        env.insert(s("SHELL"), root + s("/bin/usershell"));
        env.insert(s("HOME"), root + s("/home"));
        env.insert(s("TMPDIR"), root + s("/tmp"));
        env.insert(s("XDG_DATA_HOME"), root + s("/share"));
        env.insert(s("XDG_DATA_DIRS"), root + s("/nowhere"));
        return env;
    }

    // Runs one window's shell program with bash, its input at end of file.
    void runInShell(const QStringList& commands)
    {
        const QString path = root + s("/tmp/window.sh");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(windowShellProgram(commands));
        file.close();
        QProcess shell;
        shell.setProcessEnvironment(environment());
        shell.setWorkingDirectory(root + s("/home"));
        shell.setStandardInputFile(QProcess::nullDevice());
        shell.setProcessChannelMode(QProcess::MergedChannels);
        shell.start(s("bash"), {path});
        ASSERT_TRUE(shell.waitForFinished(20000));
        output = shell.readAll();
        EXPECT_FALSE(QFile::exists(path)) << "the program removes its own file";
    }

    QString file(const char* name) const { return root + QLatin1Char('/') + s(name); }
    QByteArray lines(std::initializer_list<QString> items) const
    {
        QByteArray out;
        for (const QString& item : items) {
            out += item.toUtf8() + '\n';
        }
        return out;
    }

    QTemporaryDir temp;
    QString root;
    QString project;
    QByteArray output;
};

TEST_F(RunWindow, CdHoldsAndFailuresDoNotStopTheNextCommand)
{
    runInShell({s("clear"), s(" cd '%1'").arg(project), s("cd /nonexistent-zarvo-folder"), s("fi"),
                s("false"), s("pwd > ../pwd.txt")});
    EXPECT_EQ(readAll(file("pwd.txt")), lines({project}));
    // The user's shell takes over in the same folder.
    EXPECT_EQ(readAll(file("shell.txt")), lines({project}));
}

TEST_F(RunWindow, CommandsRunExactlyAsWritten)
{
    runInShell({s(" cd '%1'").arg(project),
                s("printf '%s|' '$(touch pwned)' \"a  b\" `echo c` > ../printf.txt")});
    EXPECT_EQ(readAll(file("printf.txt")), QByteArray("$(touch pwned)|a  b|c|"));
    EXPECT_FALSE(QFile::exists(project + s("/pwned")));
}

TEST_F(RunWindow, OpenWithADesktopApplicationGoesThroughGtkLaunch)
{
    runInShell({s(" cd '%1'").arg(project), s("open -a 'Files' ./")});
    ASSERT_TRUE(waitForFile(file("gtk-launch.txt"))) << output.toStdString();
    EXPECT_EQ(readAll(file("gtk-launch.txt")), lines({project, s("org.example.Files")}));
}

TEST_F(RunWindow, OpenWithAnUnknownApplicationFailsAndGoesOn)
{
    runInShell({s(" cd '%1'").arg(project), s("open -a 'NoSuchApp' ./"), s("pwd > ../pwd.txt")});
    EXPECT_TRUE(output.contains("no application named NoSuchApp")) << output.toStdString();
    EXPECT_EQ(readAll(file("pwd.txt")), lines({project}));
}

// ---- The runner itself, with a stand-in terminal ------------------------

// Sets environment variables for one test and puts the old values back.
class ScopedEnvironment final {
public:
    ~ScopedEnvironment()
    {
        for (auto it = saved_.crbegin(); it != saved_.crend(); ++it) {
            if (it->second) {
                qputenv(it->first.constData(), *it->second);
            } else {
                qunsetenv(it->first.constData());
            }
        }
    }
    void set(const char* name, const QString& value)
    {
        remember(name);
        qputenv(name, value.toLocal8Bit());
    }
    void unset(const char* name)
    {
        remember(name);
        qunsetenv(name);
    }

private:
    void remember(const char* name)
    {
        std::optional<QByteArray> old;
        if (qEnvironmentVariableIsSet(name)) {
            old = qgetenv(name);
        }
        saved_.emplace_back(QByteArray(name), old);
    }
    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> saved_;
};

class RunScript : public RunWindow {
protected:
    void SetUp() override
    {
        RunWindow::SetUp();
        stub(s("stand-in"), s("\"$@\" < /dev/null\n"));
        const QProcessEnvironment env = environment();
        for (const char* name : {"PATH", "SHELL", "HOME", "TMPDIR", "XDG_DATA_HOME"}) {
            scoped.set(name, env.value(s(name)));
        }
        scoped.set("ZARVO_TERMINAL", root + s("/bin/stand-in"));
        scoped.unset("TERMINAL");
    }

    QStringList leftInTmp() const
    {
        return QDir(root + s("/tmp")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    }

    ScopedEnvironment scoped;
};

TEST_F(RunScript, AScriptThatDoesNotParseStartsNothing)
{
    TerminalScriptRunner().run(s("tell application \"Terminal\"\ndo script \"x\"\n"));
    EXPECT_TRUE(leftInTmp().isEmpty());
}

TEST_F(RunScript, NoTerminalFoundLeavesNothingBehind)
{
    scoped.unset("ZARVO_TERMINAL");
    scoped.set("PATH", root + s("/home"));
    TerminalScriptRunner().run(buildLaunchScript({{entry_key::filePath, project}}, {}, true));
    EXPECT_TRUE(leftInTmp().isEmpty());
}

TEST_F(RunScript, ATerminalThatCannotStartLeavesNothingBehind)
{
    scoped.set("ZARVO_TERMINAL", root + s("/bin/no-such-terminal -e"));
    TerminalScriptRunner().run(buildLaunchScript({{entry_key::filePath, project}}, {}, true));
    EXPECT_TRUE(leftInTmp().isEmpty());
}

} // namespace
} // namespace zarvo
