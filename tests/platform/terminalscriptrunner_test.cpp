#include "platform/terminalemulators.h"
#include "platform/terminalscriptrunner.h"
#include "projects/launchscript.h"
#include "support/wait.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "support/wait.h"

#include <gtest/gtest.h>

#include <algorithm>
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

QStringList list(const std::vector<const char*>& words)
{
    QStringList out;
    for (const char* word : words) {
        out << s(word);
    }
    return out;
}

const QStringList kShellCommand{s("/bin/bash"), s("/tmp/it's here.sh")};

// Each emulator's own way to take a title and a command, as Debian 12's
// emulators accept them.
struct CommandLineRow {
    const char* emulator;
    const char* title;
    std::vector<const char*> expected; // before the shell command
    bool commandAsOneString = false;
};

class EmulatorCommandLine : public ::testing::TestWithParam<CommandLineRow> {};

TEST_P(EmulatorCommandLine, TitlesTheWindowAndRunsTheShellAsSeparateArguments)
{
    const CommandLineRow& row = GetParam();
    QStringList expected = list(row.expected);
    if (row.commandAsOneString) {
        expected << s("'/bin/bash' '/tmp/it'\\''s here.sh'");
    } else {
        expected += kShellCommand;
    }
    EXPECT_EQ(emulatorCommandLine(s(row.emulator), s("/usr/bin/") + s(row.emulator), {},
                                  s(row.title), kShellCommand),
              expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EmulatorCommandLine,
    ::testing::Values(
        CommandLineRow{
            "xterm", "web", {"/usr/bin/xterm", "-T", "web", "-xrm", "*allowTitleOps: false", "-e"}},
        CommandLineRow{"lxterm",
                       "-web",
                       {"/usr/bin/lxterm", "-T", "-web", "-xrm", "*allowTitleOps: false", "-e"}},
        CommandLineRow{"uxterm",
                       "web",
                       {"/usr/bin/uxterm", "-T", "web", "-xrm", "*allowTitleOps: false", "-e"}},
        CommandLineRow{"urxvt", "web", {"/usr/bin/urxvt", "-title", "web", "-e"}},
        CommandLineRow{"st", "web", {"/usr/bin/st", "-t", "web", "-e"}},
        CommandLineRow{"kitty", "-web", {"/usr/bin/kitty", "--title=-web", "--"}},
        CommandLineRow{
            "alacritty",
            "web",
            {"/usr/bin/alacritty", "--title=web", "-o", "window.dynamic_title=false", "-e"}},
        CommandLineRow{
            "xfce4-terminal",
            "my web",
            {"/usr/bin/xfce4-terminal", "--title=my web", "--dynamic-title-mode=none", "-x"}},
        CommandLineRow{"gnome-terminal", "web", {"/usr/bin/gnome-terminal", "--title=web", "--"}},
        CommandLineRow{"konsole", "web", {"/usr/bin/konsole", "-p", "tabtitle=web", "-e"}},
        CommandLineRow{"tilix", "web", {"/usr/bin/tilix", "--title=web", "-e"}},
        CommandLineRow{"terminator", "-web", {"/usr/bin/terminator", "--title=-web", "-x"}},
        CommandLineRow{"mate-terminal", "web", {"/usr/bin/mate-terminal", "--title=web", "-x"}},
        CommandLineRow{"lxterminal", "web", {"/usr/bin/lxterminal", "--title=web", "-e"}},
        CommandLineRow{"sakura", "web", {"/usr/bin/sakura", "--title=web", "-x"}, true},
        CommandLineRow{"qterminal", "web", {"/usr/bin/qterminal", "-e"}},
        CommandLineRow{
            "foot", "web", {"/usr/bin/foot", "--title=web", "-o", "locked-title=yes", "--"}},
        CommandLineRow{
            "x-terminal-emulator", "web", {"/usr/bin/x-terminal-emulator", "-T", "web", "-e"}},
        CommandLineRow{"unknown-term", "web", {"/usr/bin/unknown-term", "-e"}},
        CommandLineRow{"xterm", "", {"/usr/bin/xterm", "-e"}},
        CommandLineRow{"kitty", "", {"/usr/bin/kitty", "--"}}),
    [](const ::testing::TestParamInfo<CommandLineRow>& info) {
        std::string name = info.param.emulator;
        std::replace(name.begin(), name.end(), '-', '_');
        return name + (info.param.title[0] == '\0' ? "_NoTitle" : "") + "_" +
               std::to_string(info.index);
    });

// Which emulators are tried, in which order, from the environment, what is
// on PATH and where links lead.
struct CandidatesRow {
    const char* name;
    std::map<std::string, std::string> env;
    std::vector<const char*> onPath;
    std::map<std::string, std::string> links;
    // The command lines to try, each without the shell command.
    std::vector<std::vector<const char*>> expected;
    const char* problem = ""; // part of the problem, when there is one
    const char* note = "";    // part of why one was passed over
};

class ChooseEmulators : public ::testing::TestWithParam<CandidatesRow> {};

TEST_P(ChooseEmulators, InTheirOrder)
{
    const CandidatesRow& row = GetParam();
    QProcessEnvironment env(QProcessEnvironment::InheritFromParent);
    env.clear();
    for (const auto& [key, value] : row.env) {
        env.insert(QString::fromStdString(key), QString::fromStdString(value));
    }
    const auto find = [&row](const QString& name) {
        for (const char* program : row.onPath) {
            if (name == s(program) || name == s("/bin/") + s(program)) {
                return s("/bin/") + s(program);
            }
        }
        return QString();
    };
    const auto resolve = [&row](const QString& path) {
        const auto link = row.links.find(path.toStdString());
        return link == row.links.end() ? path : QString::fromStdString(link->second);
    };
    const TerminalCandidates found =
        terminalCandidates({s("/bin/sh"), s("/tmp/w.sh")}, s("web"), env, find, resolve);
    QList<QStringList> lines;
    QStringList passedOver;
    for (const TerminalCandidate& candidate : found.candidates) {
        if (!candidate.passedOver.isEmpty()) {
            EXPECT_TRUE(candidate.commandLine.isEmpty());
            passedOver << candidate.label + s(" passed over: ") + candidate.passedOver;
            continue;
        }
        EXPECT_EQ(candidate.commandLine.mid(candidate.commandLine.size() - 2),
                  QStringList({s("/bin/sh"), s("/tmp/w.sh")}));
        lines << candidate.commandLine.mid(0, candidate.commandLine.size() - 2);
    }
    QList<QStringList> expected;
    for (const auto& line : row.expected) {
        expected << list(line);
    }
    EXPECT_EQ(lines, expected);
    if (*row.problem) {
        EXPECT_TRUE(found.problem.contains(s(row.problem))) << found.problem.toStdString();
    } else {
        EXPECT_TRUE(found.problem.isEmpty()) << found.problem.toStdString();
    }
    if (*row.note) {
        EXPECT_TRUE(passedOver.join(s("\n")).contains(s(row.note)))
            << passedOver.join(s("\n")).toStdString();
    } else {
        EXPECT_TRUE(passedOver.isEmpty()) << passedOver.join(s("\n")).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ChooseEmulators,
    ::testing::Values(
        CandidatesRow{"ZarvoTerminalIsSplitLikeShellWordsAndComesFirst",
                      {{"ZARVO_TERMINAL", "my-term --title 'two words' -e"}},
                      {"my-term", "xterm"},
                      {},
                      {{"/bin/my-term", "--title", "two words", "-e"},
                       {"/bin/xterm", "-T", "web", "-xrm", "*allowTitleOps: false", "-e"}}},
        CandidatesRow{"ZarvoTerminalWithDoubleQuotesAndBackslashes",
                      {{"ZARVO_TERMINAL", R"("/bin/my term" a\ b "x\"y" '')"}},
                      {"my term"},
                      {},
                      {{"/bin/my term", "a b", "x\"y", ""}}},
        CandidatesRow{"ZarvoTerminalNotOnPathIsAProblem",
                      {{"ZARVO_TERMINAL", "gone -e"}},
                      {"xterm"},
                      {},
                      {},
                      "$ZARVO_TERMINAL names \"gone\""},
        CandidatesRow{"UnclosedQuoteIsAProblem",
                      {{"ZARVO_TERMINAL", "my-term 'open"}},
                      {"my-term", "xterm"},
                      {},
                      {},
                      "unclosed quote"},
        CandidatesRow{"EmptyZarvoTerminalIsPassedOver",
                      {{"ZARVO_TERMINAL", ""}},
                      {"xterm"},
                      {},
                      {{"/bin/xterm", "-T", "web", "-xrm", "*allowTitleOps: false", "-e"}}},
        CandidatesRow{"TerminalVariableWithItsOwnWordsAndItsConvention",
                      {{"TERMINAL", "kitty --single-instance"}},
                      {"xdg-terminal-exec", "kitty", "xterm"},
                      {},
                      {{"/bin/xdg-terminal-exec"},
                       {"/bin/kitty", "--single-instance", "--title=web", "--"},
                       {"/bin/xterm", "-T", "web", "-xrm", "*allowTitleOps: false", "-e"}}},
        CandidatesRow{"TerminalVariableNotOnPathIsAProblem",
                      {{"TERMINAL", "gone"}},
                      {"x-terminal-emulator", "xterm"},
                      {},
                      {},
                      "$TERMINAL names \"gone\", which is not an executable on PATH"},
        CandidatesRow{"TerminalVariableWithAnUnknownEmulator",
                      {{"TERMINAL", "myterm -fg white"}},
                      {"myterm"},
                      {},
                      {{"/bin/myterm", "-fg", "white", "-e"}}},
        CandidatesRow{"MateTerminalThroughTheAlternativeAndItsWrapper",
                      {},
                      {"x-terminal-emulator", "mate-terminal", "mate-terminal.wrapper", "xterm"},
                      {{"/bin/x-terminal-emulator", "/usr/bin/mate-terminal.wrapper"}},
                      {{"/bin/mate-terminal", "--title=web", "-x"},
                       {"/bin/xterm", "-T", "web", "-xrm", "*allowTitleOps: false", "-e"}}},
        CandidatesRow{"TerminatorThroughTheAlternativeComesOnce",
                      {{"TERMINAL", "x-terminal-emulator"}},
                      {"x-terminal-emulator", "terminator"},
                      {{"/bin/x-terminal-emulator", "/bin/terminator"}},
                      {{"/bin/terminator", "--title=web", "-x"}}},
        CandidatesRow{"AnUnknownAlternativeKeepsWhatDebianAsksOfIt",
                      {},
                      {"x-terminal-emulator"},
                      {{"/bin/x-terminal-emulator", "/usr/bin/koi8rxterm"}},
                      {{"/bin/x-terminal-emulator", "-T", "web", "-e"}}},
        CandidatesRow{"FootIsPassedOverWithoutWayland",
                      {{"TERMINAL", "foot"}, {"DISPLAY", ":0"}},
                      {"foot", "xterm"},
                      {},
                      {{"/bin/xterm", "-T", "web", "-xrm", "*allowTitleOps: false", "-e"}},
                      "",
                      "$TERMINAL (foot) passed over: it needs a Wayland display"},
        CandidatesRow{"FootUnderWayland",
                      {{"WAYLAND_DISPLAY", "wayland-0"}},
                      {"foot", "xterm"},
                      {},
                      {{"/bin/foot", "--title=web", "-o", "locked-title=yes", "--"},
                       {"/bin/xterm", "-T", "web", "-xrm", "*allowTitleOps: false", "-e"}}},
        CandidatesRow{"TheUsualEmulatorsInOrder",
                      {},
                      {"xterm", "kitty", "gnome-terminal"},
                      {},
                      {{"/bin/gnome-terminal", "--title=web", "--"},
                       {"/bin/kitty", "--title=web", "--"},
                       {"/bin/xterm", "-T", "web", "-xrm", "*allowTitleOps: false", "-e"}}},
        CandidatesRow{"NoneFound", {{"TERMINAL", ""}}, {}, {}, {}}),
    [](const ::testing::TestParamInfo<CandidatesRow>& info) {
        return std::string(info.param.name);
    });

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

TEST_F(RunWindow, AFolderThatIsGoneStopsTheLaunchInThatWindow)
{
    const QString gone = root + s("/moved away");
    runInShell({s("clear"), s(" cd '%1'").arg(gone), s("touch '%1/ran'").arg(root), s("exit")});
    EXPECT_FALSE(QFile::exists(file("ran"))) << "nothing after the cd runs";
    const QString said = QString::fromUtf8(output);
    EXPECT_EQ(
        said.count(
            s("Zarvo: the folder %1 is gone, so nothing more of this launch runs.\n").arg(gone)),
        1)
        << output.toStdString();
    EXPECT_FALSE(said.contains(s("No such file"))) << "one line, not the shell's own as well";
    // The window stays, in the user's shell, where it was.
    EXPECT_EQ(readAll(file("shell.txt")), lines({root + s("/home")}));
}

TEST_F(RunWindow, OpenWithADesktopApplicationGoesThroughGtkLaunchByItsId)
{
    runInShell({s(" cd '%1'").arg(project), s("open -a 'org.example.Files' ./")});
    ASSERT_TRUE(test::waitForFile(file("gtk-launch.txt"))) << output.toStdString();
    EXPECT_EQ(readAll(file("gtk-launch.txt")), lines({project, s("org.example.Files")}));
}

// What `open -a` and `open` start must not depend on the window: they leave
// its session before the next command runs, and are not waited for.
TEST_F(RunWindow, StartedApplicationsLeaveTheWindowsSessionAndAreNotWaitedFor)
{
    const char* const waitForRelease = "ps -o sid= -p $$ | tr -d ' ' > '%1/%2.sid'\n"
                                       "while [ ! -e '%1/release' ]; do sleep 0.05; done\n"
                                       "echo done > '%1/%2.done'\n";
    stub(s("MyTerm"), s(waitForRelease).arg(root, s("myterm")));
    stub(s("xdg-open"), s(waitForRelease).arg(root, s("xdg-open")));
    runInShell({s(" cd '%1'").arg(project), s("open ./"), s("open -a 'MyTerm' ./"),
                s("ps -o sid= -p $$ | tr -d ' ' > ../window.sid"), s("exit")});
    // The window's shell has ended while both still wait.
    ASSERT_TRUE(test::waitForFile(file("myterm.sid")));
    ASSERT_TRUE(test::waitForFile(file("xdg-open.sid")));
    EXPECT_FALSE(QFile::exists(file("myterm.done")));
    const QByteArray window = readAll(file("window.sid"));
    ASSERT_FALSE(window.isEmpty());
    EXPECT_NE(readAll(file("myterm.sid")), window);
    EXPECT_NE(readAll(file("xdg-open.sid")), window);
    QFile(file("release")).open(QIODevice::WriteOnly);
    EXPECT_TRUE(test::waitForFile(file("myterm.done")));
    EXPECT_TRUE(test::waitForFile(file("xdg-open.done")));
}

struct ApplicationNameRow {
    const char* name;
    const char* application;
    const char* says;
};

class OpenApplication : public RunWindow,
                        public ::testing::WithParamInterface<ApplicationNameRow> {};

// Names that match nothing or are refused: the window says why, the rest of
// the launch goes on, and the `exit` that follows waits for Return.
TEST_P(OpenApplication, SaysWhyAndKeepsTheWindowReadable)
{
    const QString name = s(GetParam().application);
    QFile planted(root + s("/tmp/planted.desktop"));
    ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
    planted.write("[Desktop Entry]\nType=Application\nName=Planted\nExec=touch planted\n");
    planted.close();
    runInShell({s(" cd '%1'").arg(project), s("open -a '%1' ./").arg(name), s("pwd > ../pwd.txt"),
                s("exit")});
    EXPECT_TRUE(output.contains(GetParam().says)) << output.toStdString();
    EXPECT_TRUE(output.contains("Press Return to close this window.")) << output.toStdString();
    EXPECT_EQ(readAll(file("pwd.txt")), lines({project}));
    EXPECT_FALSE(QFile::exists(file("gtk-launch.txt"))) << "no desktop entry was started";
    EXPECT_FALSE(QFile::exists(file("shell.txt"))) << "the exit still ends the window";
}

INSTANTIATE_TEST_SUITE_P(
    Names, OpenApplication,
    ::testing::Values(
        ApplicationNameRow{"Unknown", "NoSuchApp", "no application named NoSuchApp"},
        ApplicationNameRow{"ByNameNotId", "Files", "no application named Files"},
        ApplicationNameRow{
            "OutsideTheApplicationsFolder", "../../tmp/planted",
            "refusing the application name \"../../tmp/planted\": it contains \"/\""},
        ApplicationNameRow{"LineFeed", "x\norg.example.Files",
                           "refusing the application name \"x?org.example.Files\": it contains a "
                           "control character"},
        ApplicationNameRow{"Escape", "\x1b]0;x\x07", "it contains a control character"},
        ApplicationNameRow{"Option", "-x", "no application named -x"}),
    [](const ::testing::TestParamInfo<ApplicationNameRow>& info) {
        return std::string(info.param.name);
    });

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
    const Status ran =
        TerminalScriptRunner().run(s("tell application \"Terminal\"\ndo script \"x\"\n"), s("web"));
    EXPECT_TRUE(ran.error.contains(s("cannot be read"))) << ran.error.toStdString();
    EXPECT_TRUE(leftInTmp().isEmpty());
}

// Launches that cannot start a terminal fail with their reason and leave no
// launch file behind.
struct NoTerminalRow {
    const char* name;
    const char* zarvoTerminal; // under ROOT/bin; null: unset
    const char* terminal;      // null: unset
    bool onlyOurBin;           // PATH is ROOT/bin alone: no real emulator is found
    const char* says;
};

class NoTerminal : public RunScript, public ::testing::WithParamInterface<NoTerminalRow> {};

TEST_P(NoTerminal, FailsAndLeavesNothingBehind)
{
    const NoTerminalRow& row = GetParam();
    stub(s("failing"), s("exit 3\n"));
    if (row.zarvoTerminal) {
        scoped.set("ZARVO_TERMINAL", s(row.zarvoTerminal).arg(root));
    } else {
        scoped.unset("ZARVO_TERMINAL");
    }
    if (row.terminal) {
        scoped.set("TERMINAL", s(row.terminal));
    }
    if (row.onlyOurBin) {
        scoped.set("PATH", root + s("/bin"));
    }
    const Status ran = TerminalScriptRunner().run(
        buildLaunchScript({{entry_key::filePath, project}, {entry_key::commands, s("touch ran")}},
                          {}, true),
        s("web"));
    EXPECT_TRUE(ran.error.contains(s(row.says))) << ran.error.toStdString();
    EXPECT_TRUE(leftInTmp().isEmpty()) << leftInTmp().join(s(" ")).toStdString();
    EXPECT_FALSE(QFile::exists(project + s("/ran")));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NoTerminal,
    ::testing::Values(
        NoTerminalRow{"NoneFound", nullptr, nullptr, true, "no terminal emulator found"},
        NoTerminalRow{"ZarvoTerminalIsNotThere", "%1/bin/no-such-terminal -e", nullptr, false,
                      "/bin/no-such-terminal\", which is not an executable on PATH"},
        NoTerminalRow{"TerminalIsNotThere", nullptr, "no-such-terminal", false,
                      "$TERMINAL names \"no-such-terminal\", which is not an executable on PATH"},
        NoTerminalRow{"EveryOneFails", "%1/bin/failing", nullptr, true,
                      "no terminal could start: $ZARVO_TERMINAL (failing) ended at once with "
                      "exit status 3"}),
    [](const ::testing::TestParamInfo<NoTerminalRow>& info) {
        return std::string(info.param.name);
    });

// An emulator that ends at once with an error is followed by the next one,
// here $TERMINAL as an xterm, which gets the project's name as its title.
TEST_F(RunScript, AFailingEmulatorIsFollowedByTheNext)
{
    stub(s("failing"), s("exit 3\n"));
    stub(s("xterm"), s("printf '%s\\n' \"$@\" > '%1/xterm-args.txt'\n"
                       "while [ \"$1\" != -e ]; do shift; done\nshift\n\"$@\" < /dev/null\n")
                         .arg(root));
    scoped.set("ZARVO_TERMINAL", root + s("/bin/failing"));
    scoped.set("TERMINAL", s("xterm"));
    const Status ran =
        TerminalScriptRunner().run(buildLaunchScript({{entry_key::filePath, project},
                                                      {entry_key::commands, s("pwd > ../pwd.txt")}},
                                                     {}, true),
                                   s("my web"));
    EXPECT_TRUE(ran.ok()) << ran.error.toStdString();
    ASSERT_TRUE(test::waitForFile(file("pwd.txt")));
    EXPECT_EQ(readAll(file("pwd.txt")), lines({project}));
    const QByteArray args = readAll(file("xterm-args.txt"));
    EXPECT_TRUE(args.startsWith("-T\nmy web\n")) << args.toStdString();
    EXPECT_TRUE(test::waitForFile(file("shell.txt"))) << "the window got to its end";
}

// An emulator whose shell has started runs the launch, even when it then
// ends at once with an error (st does after its shell exits): starting
// another one would run the project's commands twice.
TEST_F(RunScript, AnEmulatorWhoseShellStartedIsNotFollowed)
{
    stub(s("ends-badly"), s("\"$@\" < /dev/null\nexit 1\n"));
    stub(s("second"), s("touch '%1/second-ran'\n").arg(root));
    scoped.set("ZARVO_TERMINAL", root + s("/bin/ends-badly"));
    scoped.set("TERMINAL", s("second"));
    const Status ran = TerminalScriptRunner().run(
        buildLaunchScript({{entry_key::filePath, project},
                           {entry_key::commands, s("echo once >> ../count.txt; exit 1")}},
                          {}, true),
        s("web"));
    EXPECT_TRUE(ran.ok()) << ran.error.toStdString();
    ASSERT_TRUE(test::waitForFile(file("count.txt")));
    EXPECT_EQ(readAll(file("count.txt")), QByteArray("once\n"));
    EXPECT_FALSE(QFile::exists(file("second-ran")));
}

// The window of a project whose folder is gone opens and says so, runs none
// of the project's commands, and the launch counts as failed.
TEST_F(RunScript, AFolderThatIsGoneFailsTheLaunch)
{
    const QString gone = root + s("/gone/web");
    const Status ran = TerminalScriptRunner().run(
        buildLaunchScript({{entry_key::filePath, gone}, {entry_key::commands, s("touch ran")}}, {},
                          true),
        s("web"));
    EXPECT_TRUE(ran.error.contains(s("the folder %1 is gone").arg(gone)))
        << ran.error.toStdString();
    ASSERT_TRUE(test::waitForFile(file("shell.txt"))) << "the window stays in the user's shell";
    EXPECT_EQ(readAll(file("shell.txt")), lines({root + s("/home")}));
    EXPECT_FALSE(QFile::exists(root + s("/home/ran")));
}

// A missing project file in a folder that exists opens from that folder, as
// before: only a folder that is gone stops the launch.
TEST_F(RunScript, AMissingFileInAFolderThatExistsStillOpensFromTheFolder)
{
    const Status ran = TerminalScriptRunner().run(
        buildLaunchScript({{entry_key::filePath, project + s("/Gone.xcodeproj")},
                           {entry_key::commands, s("pwd > ../pwd.txt")}},
                          {}, false),
        s("web"));
    EXPECT_TRUE(ran.ok()) << ran.error.toStdString();
    ASSERT_TRUE(test::waitForFile(file("pwd.txt")));
    EXPECT_EQ(readAll(file("pwd.txt")), lines({project}));
    EXPECT_TRUE(test::waitForFile(file("shell.txt"))) << "the window got to its end";
}

} // namespace
} // namespace zarvo
