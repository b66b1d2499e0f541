#include "platform/terminalscriptrunner.h"
#include "projects/launchscript.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace zarvo {
namespace {

// One script line: its leading spaces and its text.
struct Line {
    int indent;
    const char* text;
};

QString joined(const std::vector<Line>& lines)
{
    QStringList out;
    for (const Line& line : lines) {
        out << QString(line.indent, QLatin1Char(' ')) + QString::fromUtf8(line.text);
    }
    return out.join(QLatin1Char('\n'));
}

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

TEST(LaunchScript, FolderExampleMatchesCharacterForCharacter)
{
    const ProjectEntry entry{{entry_key::filePath, s("/Users/dev/Code/website")},
                             {entry_key::doPull, s("1")},
                             {entry_key::openFinder, s("0")},
                             {entry_key::customOpen, s("")},
                             {entry_key::commands, s("make serve")}};
    const LaunchSettings settings{{setting_key::editorCommand, s("edit")},
                                  {setting_key::terminal, s("")}};
    EXPECT_EQ(buildLaunchScript(entry, settings, true),
              joined({{17, "tell application \"Terminal\""},
                      {17, "activate"},
                      {17, "do script \"clear\""},
                      {17, "do script \" cd '/Users/dev/Code/website'\" in window 1"},
                      {17, "do script \"git pull\" in window 1"},
                      {17, "do script \"make serve\" in window 1"},
                      {21, "do script \"edit ./\" in window 1"},
                      {17, "end tell"}}));
}

TEST(LaunchScript, XcodeProjectExampleMatchesCharacterForCharacter)
{
    const ProjectEntry entry{{entry_key::filePath, s("/Users/dev/Apps/Demo/Demo.xcodeproj")},
                             {entry_key::doPull, s("0")},
                             {entry_key::openFinder, s("1")},
                             {entry_key::customOpen, s("edit --title \"Demo\"")}};
    const LaunchSettings settings{{setting_key::editorCommand, s("edit")},
                                  {setting_key::terminal, s("MyTerm")}};
    // The same script whatever the file system says: Xcode projects open as files.
    for (const bool isDirectory : {true, false}) {
        EXPECT_EQ(buildLaunchScript(entry, settings, isDirectory),
                  joined({{17, "tell application \"Terminal\""},
                          {17, "activate"},
                          {17, "do script \"clear\""},
                          {17, "do script \" cd '/Users/dev/Apps/Demo'\" in window 1"},
                          {17, "do script \"open ./\" in window 1"},
                          {17, "do script \"open -a 'MyTerm' ./\" in window 1"},
                          {21, "do script \"edit --title 'Demo' 'Demo.xcodeproj'\" in window 1"},
                          {17, "do script \"exit\" in window 1"},
                          {17, "end tell"}}));
    }
}

// Every row starts from a plain folder project and changes one thing; the
// expected lines are those between "do script \"clear\"" and "end tell".
struct PieceRow {
    const char* name;
    QVariantMap entryChanges;
    QVariantMap settingsChanges;
    bool isDirectory;
    std::vector<Line> middle;
};

class LaunchScriptPieces : public ::testing::TestWithParam<PieceRow> {};

TEST_P(LaunchScriptPieces, BuildsTheExpectedLines)
{
    const PieceRow& row = GetParam();
    ProjectEntry entry{{entry_key::filePath, s("/srv/web")},
                       {entry_key::doPull, s("0")},
                       {entry_key::openFinder, s("0")},
                       {entry_key::customOpen, s("")},
                       {entry_key::commands, s("")}};
    LaunchSettings settings{{setting_key::editorCommand, s("edit")},
                            {setting_key::terminal, s("")}};
    for (auto it = row.entryChanges.cbegin(); it != row.entryChanges.cend(); ++it) {
        if (it.value().isValid()) {
            entry[it.key()] = it.value();
        } else {
            entry.remove(it.key());
        }
    }
    for (auto it = row.settingsChanges.cbegin(); it != row.settingsChanges.cend(); ++it) {
        if (it.value().isValid()) {
            settings[it.key()] = it.value();
        } else {
            settings.remove(it.key());
        }
    }
    std::vector<Line> lines{
        {17, "tell application \"Terminal\""}, {17, "activate"}, {17, "do script \"clear\""}};
    lines.insert(lines.end(), row.middle.begin(), row.middle.end());
    lines.push_back({17, "end tell"});
    EXPECT_EQ(buildLaunchScript(entry, settings, row.isDirectory), joined(lines));
}

const QVariant kAbsent;

INSTANTIATE_TEST_SUITE_P(
    Rows, LaunchScriptPieces,
    ::testing::Values(
        PieceRow{"TrailingSlashStaysInsideTheQuotes",
                 {{entry_key::filePath, s("/srv/web/")}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/web/'\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"XcodeProjectWithTrailingSlashOpensFromItsParent",
                 {{entry_key::filePath, s("/srv/App/Demo.xcodeproj/")}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/App'\" in window 1"},
                  {21, "do script \"edit 'Demo.xcodeproj'\" in window 1"}}},
        PieceRow{"WorkspaceOpensAsAFile",
                 {{entry_key::filePath, s("/srv/App/Demo.xcworkspace")}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/App'\" in window 1"},
                  {21, "do script \"edit 'Demo.xcworkspace'\" in window 1"}}},
        PieceRow{"ExtensionComparisonIsCaseSensitive",
                 {{entry_key::filePath, s("/srv/App/Demo.XcodeProj")}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/App/Demo.XcodeProj'\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"MissingPathOpensAsAFileFromItsParent",
                 {{entry_key::filePath, s("/srv/gone/notes.txt")}},
                 {},
                 false,
                 {{17, "do script \" cd '/srv/gone'\" in window 1"},
                  {21, "do script \"edit 'notes.txt'\" in window 1"}}},
        PieceRow{"FileAtTheRootHasTheRootAsParent",
                 {{entry_key::filePath, s("/notes.txt")}},
                 {},
                 false,
                 {{17, "do script \" cd '/'\" in window 1"},
                  {21, "do script \"edit 'notes.txt'\" in window 1"}}},
        PieceRow{"NoFilePathReadsAsNull",
                 {{entry_key::filePath, kAbsent}},
                 {},
                 false,
                 {{17, "do script \" cd '(null)'\" in window 1"},
                  {21, "do script \"edit '(null)'\" in window 1"}}},
        PieceRow{"FlagsStoredAsBooleanTrueCount",
                 {{entry_key::doPull, true}, {entry_key::openFinder, true}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {17, "do script \"open ./\" in window 1"},
                  {17, "do script \"git pull\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"FlagsStoredAsTheNumberOneCount",
                 {{entry_key::doPull, 1}, {entry_key::openFinder, qint64(1)}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {17, "do script \"open ./\" in window 1"},
                  {17, "do script \"git pull\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"FlagsReadingOtherThanOneAddNothing",
                 {{entry_key::doPull, s("true")}, {entry_key::openFinder, s("yes")}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"FlagsAbsentOrFalseAddNothing",
                 {{entry_key::doPull, kAbsent}, {entry_key::openFinder, false}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"CommandsAbsentAddNothing",
                 {{entry_key::commands, kAbsent}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"DoubleQuotesInCommandsBecomeSingleQuotes",
                 {{entry_key::commands, s("echo \"hi there\"")}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {17, "do script \"echo 'hi there'\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"CustomOpenOverridesTheEditor",
                 {{entry_key::customOpen, s("code -n")}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {21, "do script \"code -n ./\" in window 1"}}},
        PieceRow{"CustomOpenReadingNullFallsBackToTheEditor",
                 {{entry_key::customOpen, s("(null)")}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"EmptyEditorLeavesAnEmptyCommand",
                 {},
                 {{setting_key::editorCommand, s("")}},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {21, "do script \" ./\" in window 1"}}},
        PieceRow{"AbsentEditorReadsAsNull",
                 {},
                 {{setting_key::editorCommand, kAbsent}},
                 false,
                 {{17, "do script \" cd '/srv'\" in window 1"},
                  {21, "do script \"(null) 'web'\" in window 1"}}},
        PieceRow{"DoubleQuotesInTheEditorBecomeSingleQuotes",
                 {},
                 {{setting_key::editorCommand, s("emacs --eval \"(x)\"")}},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {21, "do script \"emacs --eval '(x)' ./\" in window 1"}}},
        PieceRow{"TerminalReadingNullIsNotSet",
                 {},
                 {{setting_key::terminal, s("(null)")}},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"AbsentTerminalIsNotSet",
                 {},
                 {{setting_key::terminal, kAbsent}},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"SetTerminalOpensAndExits",
                 {},
                 {{setting_key::terminal, s("kitty")}},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {17, "do script \"open -a 'kitty' ./\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"},
                  {17, "do script \"exit\" in window 1"}}},
        PieceRow{"AllPiecesComeInTheirOrder",
                 {{entry_key::doPull, s("1")},
                  {entry_key::openFinder, s("1")},
                  {entry_key::commands, s("make")}},
                 {{setting_key::terminal, s("kitty")}},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {17, "do script \"open ./\" in window 1"},
                  {17, "do script \"open -a 'kitty' ./\" in window 1"},
                  {17, "do script \"git pull\" in window 1"},
                  {17, "do script \"make\" in window 1"},
                  {21, "do script \"edit ./\" in window 1"},
                  {17, "do script \"exit\" in window 1"}}},
        // Quoting: no stored text can end the quotes it stands in.
        PieceRow{"SingleQuoteInAFolderPath",
                 {{entry_key::filePath, s("/home/dev/a'b; touch pwned; '")}},
                 {},
                 true,
                 {{17, R"(do script " cd '/home/dev/a'\\''b; touch pwned; '\\'''" in window 1)"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"SingleQuotesInParentAndFileName",
                 {{entry_key::filePath, s("/srv/it's/o'neil.xcodeproj")}},
                 {},
                 true,
                 {{17, R"(do script " cd '/srv/it'\\''s'" in window 1)"},
                  {21, R"(do script "edit 'o'\\''neil.xcodeproj'" in window 1)"}}},
        // A file name the editor could take for an option or a command.
        PieceRow{"FileNameLikeAnOptionIsGivenAsAPath",
                 {{entry_key::filePath, s("/srv/App/-e")}},
                 {},
                 false,
                 {{17, "do script \" cd '/srv/App'\" in window 1"},
                  {21, "do script \"edit './-e'\" in window 1"}}},
        PieceRow{"FileNameLikeALongOptionIsGivenAsAPath",
                 {{entry_key::filePath, s("/srv/App/--help")}},
                 {},
                 false,
                 {{17, "do script \" cd '/srv/App'\" in window 1"},
                  {21, "do script \"edit './--help'\" in window 1"}}},
        PieceRow{"FileNameLikeAnEditorCommandIsGivenAsAPath",
                 {{entry_key::filePath, s("/srv/App/+!touch x")}},
                 {},
                 false,
                 {{17, "do script \" cd '/srv/App'\" in window 1"},
                  {21, "do script \"edit './+!touch x'\" in window 1"}}},
        PieceRow{"DashInsideAFileNameStaysAsWritten",
                 {{entry_key::filePath, s("/srv/App/my-app.xcodeproj")}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/App'\" in window 1"},
                  {21, "do script \"edit 'my-app.xcodeproj'\" in window 1"}}},
        PieceRow{"DoubleQuoteAndBackslashInAPath",
                 {{entry_key::filePath, s(R"(/srv/say "hi" \now)")}},
                 {},
                 true,
                 {{17, R"(do script " cd '/srv/say \"hi\" \\now'" in window 1)"},
                  {21, "do script \"edit ./\" in window 1"}}},
        PieceRow{"QuotesInTheTerminalName",
                 {},
                 {{setting_key::terminal, s("My'\"Term")}},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {17, R"(do script "open -a 'My'\\''\"Term' ./" in window 1)"},
                  {21, "do script \"edit ./\" in window 1"},
                  {17, "do script \"exit\" in window 1"}}},
        PieceRow{"BackslashesInCommandsAreKept",
                 {{entry_key::commands, s(R"(printf 'a\tb\n')")}},
                 {},
                 true,
                 {{17, "do script \" cd '/srv/web'\" in window 1"},
                  {17, R"(do script "printf 'a\\tb\\n'" in window 1)"},
                  {21, "do script \"edit ./\" in window 1"}}}),
    [](const ::testing::TestParamInfo<PieceRow>& info) { return std::string(info.param.name); });

// Reading the built script back gives exactly the shell commands meant,
// whatever the stored texts hold.
TEST(LaunchScript, ReadsBackAsTheIntendedCommands)
{
    const ProjectEntry entry{{entry_key::filePath, s("/srv/a'b \"c\" \\d\\\"/Demo's.xcodeproj")},
                             {entry_key::openFinder, s("1")},
                             {entry_key::commands, s("echo \"x\" \\\"; printf '%s\\n' \\\\")},
                             {entry_key::customOpen, s("open -t")}};
    const LaunchSettings settings{{setting_key::terminal, s("T\\'\"")}};
    const ParsedTerminalScript parsed =
        parseTerminalScript(buildLaunchScript(entry, settings, true));
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    ASSERT_EQ(parsed.script.windows.size(), 1);
    EXPECT_EQ(parsed.script.windows[0],
              QStringList({s("clear"), s(R"( cd '/srv/a'\''b "c" \d\"')"), s("open ./"),
                           s(R"(open -a 'T\'\''"' ./)"), s(R"(echo 'x' \'; printf '%s\n' \\)"),
                           s(R"(open -t 'Demo'\''s.xcodeproj')"), s("exit")}));
}

struct PathRow {
    const char* path;
    const char* parent;
    const char* last;
    const char* extension;
};

class PathOperations : public ::testing::TestWithParam<PathRow> {};

TEST_P(PathOperations, FollowThePlatformRules)
{
    const PathRow& row = GetParam();
    EXPECT_EQ(parentPath(s(row.path)), s(row.parent)) << row.path;
    EXPECT_EQ(lastPathComponent(s(row.path)), s(row.last)) << row.path;
    EXPECT_EQ(pathExtension(s(row.path)), s(row.extension)) << row.path;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PathOperations,
    ::testing::Values(PathRow{"/tmp/scratch.tiff", "/tmp", "scratch.tiff", "tiff"},
                      PathRow{"/tmp/lock/", "/tmp", "lock", ""},
                      PathRow{"/tmp/lock///", "/tmp", "lock", ""}, PathRow{"/tmp/", "/", "tmp", ""},
                      PathRow{"/tmp", "/", "tmp", ""}, PathRow{"/", "/", "/", ""},
                      PathRow{"//", "/", "/", ""},
                      PathRow{"scratch.tiff", "", "scratch.tiff", "tiff"},
                      PathRow{"a/b.c/d", "a/b.c", "d", ""}, PathRow{"/a//b", "/a", "b", ""},
                      PathRow{"/x/App.v2.xcodeproj", "/x", "App.v2.xcodeproj", "xcodeproj"},
                      PathRow{"", "", "", ""}));

// The file system's answer, through real directories and links.
TEST(LaunchScript, IsFolderFollowsLinksAndTreatsNothingAsAFile)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QDir dir(temp.path());
    ASSERT_TRUE(dir.mkpath(s("real")));
    ASSERT_TRUE(dir.mkpath(s("App.xcodeproj")));
    QFile file(dir.filePath(s("file.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(QFile::link(dir.filePath(s("real")), dir.filePath(s("to-real"))));
    ASSERT_TRUE(QFile::link(dir.filePath(s("file.txt")), dir.filePath(s("to-file"))));
    ASSERT_TRUE(QFile::link(dir.filePath(s("gone")), dir.filePath(s("dangling"))));

    const struct {
        const char* name;
        bool isDirectory;
    } rows[] = {{"real", true},      {"real/", true},    {"to-real", true},   {"to-real/", true},
                {"file.txt", false}, {"to-file", false}, {"dangling", false}, {"nothing", false}};
    for (const auto& row : rows) {
        EXPECT_EQ(pathIsDirectory(dir.filePath(s(row.name))), row.isDirectory) << row.name;
    }

    const LaunchSettings settings{{setting_key::editorCommand, s("edit")}};
    const QString linked =
        launchScriptFor({{entry_key::filePath, dir.filePath(s("to-real"))}}, settings);
    EXPECT_TRUE(linked.contains(s("do script \"edit ./\""))) << linked.toStdString();
    const QString xcode =
        launchScriptFor({{entry_key::filePath, dir.filePath(s("App.xcodeproj"))}}, settings);
    EXPECT_TRUE(xcode.contains(s("do script \" cd '%1'\"").arg(temp.path())))
        << xcode.toStdString();
    EXPECT_TRUE(xcode.contains(s("do script \"edit 'App.xcodeproj'\""))) << xcode.toStdString();
}

} // namespace
} // namespace zarvo
