#include "platform/plistio.h"
#include "support/runzarvo.h"
#include "support/tempresources.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

using test::runZarvo;

class CommandLineTest : public ::testing::Test {
protected:
    test::TempResources resources;
};

TEST_F(CommandLineTest, AddListRemove)
{
    EXPECT_EQ(runZarvo({QStringLiteral("add"), QStringLiteral("web"), QStringLiteral("/srv/web"),
                        QStringLiteral("--pull"), QStringLiteral("--commands"),
                        QStringLiteral("make serve")})
                  .exitCode,
              0);
    EXPECT_EQ(runZarvo({QStringLiteral("add"), QStringLiteral("api"), QStringLiteral("/srv/api")})
                  .exitCode,
              0);

    const auto listed = runZarvo({QStringLiteral("list")});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_EQ(listed.out, QStringLiteral("api\nweb\n"));

    const auto store = plist::readDictionaryFile(resources.file(QStringLiteral("projects.plist")));
    ASSERT_TRUE(store.has_value());
    const QVariantMap expected{{QStringLiteral("filePath"), QStringLiteral("/srv/web")},
                               {QStringLiteral("doPull"), QStringLiteral("1")},
                               {QStringLiteral("openFinder"), QStringLiteral("0")},
                               {QStringLiteral("customOpen"), QString()},
                               {QStringLiteral("commands"), QStringLiteral("make serve")}};
    EXPECT_EQ(store->value(QStringLiteral("web")).toMap(), expected);

    const auto removed = runZarvo({QStringLiteral("remove"), QStringLiteral("web")});
    EXPECT_EQ(removed.exitCode, 0);
    EXPECT_TRUE(removed.err.contains(QStringLiteral("Removing project: web")));
    EXPECT_EQ(runZarvo({QStringLiteral("list")}).out, QStringLiteral("api\n"));
}

TEST_F(CommandLineTest, AddKeepsAnExistingNameUnlessToldAndWarnsAboutAMissingPath)
{
    const QString folder = resources.path();
    const auto first = runZarvo({QStringLiteral("add"), QStringLiteral("web"), folder});
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_FALSE(first.err.contains(QStringLiteral("warning"))) << first.err.toStdString();
    const QByteArray stored = resources.read(QStringLiteral("projects.plist"));

    const auto again =
        runZarvo({QStringLiteral("add"), QStringLiteral("web"), QStringLiteral("/x")});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("--replace"))) << again.err.toStdString();
    EXPECT_EQ(resources.read(QStringLiteral("projects.plist")), stored);

    const auto replaced = runZarvo({QStringLiteral("add"), QStringLiteral("web"),
                                    QStringLiteral("/no/such/web"), QStringLiteral("--replace")});
    EXPECT_EQ(replaced.exitCode, 0);
    EXPECT_TRUE(replaced.err.contains(QStringLiteral("warning: nothing exists at /no/such/web")))
        << replaced.err.toStdString();
    const auto store = plist::readDictionaryFile(resources.file(QStringLiteral("projects.plist")));
    ASSERT_TRUE(store.has_value());
    EXPECT_EQ(store->value(QStringLiteral("web")).toMap().value(QStringLiteral("filePath")),
              QStringLiteral("/no/such/web"));
}

TEST_F(CommandLineTest, EditChangesOnlyWhatIsGivenAndRenamesInOneWrite)
{
    const QString folder = resources.path();
    ASSERT_EQ(
        runZarvo({QStringLiteral("add"), QStringLiteral("web"), folder, QStringLiteral("--pull"),
                  QStringLiteral("--commands"), QStringLiteral("make")})
            .exitCode,
        0);
    ASSERT_EQ(runZarvo({QStringLiteral("add"), QStringLiteral("api"), folder}).exitCode, 0);

    const auto edited =
        runZarvo({QStringLiteral("edit"), QStringLiteral("web"), QStringLiteral("--name"),
                  QStringLiteral("site"), QStringLiteral("--no-pull"), QStringLiteral("--finder"),
                  QStringLiteral("--custom"), QStringLiteral("code .")});
    EXPECT_EQ(edited.exitCode, 0) << edited.err.toStdString();
    const auto store = plist::readDictionaryFile(resources.file(QStringLiteral("projects.plist")));
    ASSERT_TRUE(store.has_value());
    EXPECT_EQ(store->keys(), (QStringList{QStringLiteral("api"), QStringLiteral("site")}));
    EXPECT_EQ(store->value(QStringLiteral("site")).toMap(),
              (QVariantMap{{QStringLiteral("filePath"), folder},
                           {QStringLiteral("doPull"), QStringLiteral("0")},
                           {QStringLiteral("openFinder"), QStringLiteral("1")},
                           {QStringLiteral("customOpen"), QStringLiteral("code .")},
                           {QStringLiteral("commands"), QStringLiteral("make")}}));

    const QByteArray before = resources.read(QStringLiteral("projects.plist"));
    struct Row {
        const char* what;
        QStringList args;
        QString says;
    };
    const Row refused[] = {
        {"unknown", {QStringLiteral("ghost"), QStringLiteral("--pull")}, QStringLiteral("ghost")},
        {"onto another",
         {QStringLiteral("site"), QStringLiteral("--name"), QStringLiteral("api")},
         QStringLiteral("already exists")},
    };
    for (const Row& row : refused) {
        const auto result = runZarvo(QStringList{QStringLiteral("edit")} + row.args);
        EXPECT_EQ(result.exitCode, 1) << row.what;
        EXPECT_TRUE(result.err.contains(row.says)) << row.what << result.err.toStdString();
        EXPECT_EQ(resources.read(QStringLiteral("projects.plist")), before) << row.what;
    }
    const auto moved = runZarvo({QStringLiteral("edit"), QStringLiteral("api"),
                                 QStringLiteral("--path"), QStringLiteral("/no/such/api")});
    EXPECT_EQ(moved.exitCode, 0);
    EXPECT_TRUE(moved.err.contains(QStringLiteral("warning: nothing exists at /no/such/api")));
}

TEST_F(CommandLineTest, AddLogsTheCreation)
{
    const auto result =
        runZarvo({QStringLiteral("add"), QStringLiteral("web"), QStringLiteral("/w")});
    EXPECT_TRUE(result.err.contains(QStringLiteral("Creating project: web")))
        << result.err.toStdString();
}

TEST_F(CommandLineTest, RemovingAnUnknownProjectFails)
{
    const auto result = runZarvo({QStringLiteral("remove"), QStringLiteral("ghost")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(QStringLiteral("ghost")));
}

TEST_F(CommandLineTest, SettingsAreShownAndStored)
{
    EXPECT_EQ(
        runZarvo({QStringLiteral("settings"), QStringLiteral("editor"), QStringLiteral("code -n")})
            .exitCode,
        0);
    EXPECT_EQ(
        runZarvo({QStringLiteral("settings"), QStringLiteral("terminal"), QString()}).exitCode, 0);
    EXPECT_EQ(runZarvo({QStringLiteral("settings")}).out,
              QStringLiteral("Editor Command: code -n\nTerminal: \n"));
}

// Whatever stops a subcommand from doing its work makes it exit with 1 and
// say why in one line, never 0 after a message.
struct FailureRow {
    const char* name;
    const char* store; // the projects file's contents
    QStringList args;
    const char* terminal; // ZARVO_TERMINAL, or null
    const char* output;   // where standard output goes, or null
    const char* reason;   // a part of the one line on stderr
};

void PrintTo(const FailureRow& row, std::ostream* os)
{
    *os << row.name;
}

class CommandLineFailureTest : public CommandLineTest,
                               public ::testing::WithParamInterface<FailureRow> {};

TEST_P(CommandLineFailureTest, ExitsWithStatusOneAndSaysWhy)
{
    const FailureRow& row = GetParam();
    QByteArray store(row.store);
    store.replace("HOME", QFile::encodeName(QDir::homePath()));
    QFile file(resources.file(QStringLiteral("projects.plist")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(store), store.size());
    file.close();
    QProcessEnvironment env;
    if (row.terminal) {
        env.insert(QStringLiteral("ZARVO_TERMINAL"), QString::fromLatin1(row.terminal));
    }
    const auto result =
        runZarvo(row.args, env, row.output ? QString::fromLatin1(row.output) : QString());
    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QString::fromLatin1(row.reason))) << result.err.toStdString();
}

constexpr const char* kOneProject =
    "<plist><dict><key>p</key><dict><key>filePath</key><string>HOME</string></dict></dict>"
    "</plist>";

INSTANTIATE_TEST_SUITE_P(
    Failures, CommandLineFailureTest,
    ::testing::Values(FailureRow{"LaunchWithoutATerminal",
                                 kOneProject,
                                 {QStringLiteral("launch"), QStringLiteral("p")},
                                 "/no/such/terminal",
                                 nullptr,
                                 "Launch not run"},
                      FailureRow{"ListOfABrokenStore",
                                 "junk",
                                 {QStringLiteral("list")},
                                 nullptr,
                                 nullptr,
                                 "projects.plist"},
                      FailureRow{"SearchOfABrokenStore",
                                 "junk",
                                 {QStringLiteral("search"), QStringLiteral("p")},
                                 nullptr,
                                 nullptr,
                                 "projects.plist"},
                      FailureRow{"RemoveFromABrokenStore",
                                 "junk",
                                 {QStringLiteral("remove"), QStringLiteral("p")},
                                 nullptr,
                                 nullptr,
                                 "projects.plist"},
                      FailureRow{"ListIntoAFullDisk",
                                 kOneProject,
                                 {QStringLiteral("list")},
                                 nullptr,
                                 "/dev/full",
                                 "cannot write the output"}),
    [](const auto& info) { return std::string(info.param.name); });

struct UsageRow {
    const char* name;
    QStringList args;
};

void PrintTo(const UsageRow& row, std::ostream* os)
{
    *os << row.name;
}

class CommandLineUsageTest : public CommandLineTest,
                             public ::testing::WithParamInterface<UsageRow> {};

TEST_P(CommandLineUsageTest, ExitsWithStatusTwoAndUsageOnStderr)
{
    const auto result = runZarvo(GetParam().args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_TRUE(result.err.contains(QStringLiteral("usage"))) << result.err.toStdString();
    EXPECT_TRUE(runZarvo({QStringLiteral("list")}).out.isEmpty()) << "nothing was stored";
}

INSTANTIATE_TEST_SUITE_P(
    BadArguments, CommandLineUsageTest,
    ::testing::Values(
        UsageRow{"UnknownSubcommand", {QStringLiteral("frobnicate")}},
        UsageRow{"AddWithoutPath", {QStringLiteral("add"), QStringLiteral("web")}},
        UsageRow{"AddWithEmptyName", {QStringLiteral("add"), QString(), QStringLiteral("/w")}},
        UsageRow{"AddWithEmptyPath", {QStringLiteral("add"), QStringLiteral("web"), QString()}},
        UsageRow{"AddWithUnknownOption",
                 {QStringLiteral("add"), QStringLiteral("w"), QStringLiteral("/w"),
                  QStringLiteral("--x")}},
        UsageRow{"CommandsWithoutValue",
                 {QStringLiteral("add"), QStringLiteral("w"), QStringLiteral("/w"),
                  QStringLiteral("--commands")}},
        UsageRow{"RemoveWithoutName", {QStringLiteral("remove")}},
        UsageRow{"UnknownSetting",
                 {QStringLiteral("settings"), QStringLiteral("x"), QStringLiteral("y")}},
        UsageRow{"UnknownOrder",
                 {QStringLiteral("settings"), QStringLiteral("order"), QStringLiteral("name")}},
        UsageRow{"UnknownPlaceToOpen",
                 {QStringLiteral("settings"), QStringLiteral("open"), QStringLiteral("screen")}},
        UsageRow{"ScanWithoutFolder", {QStringLiteral("scan"), QStringLiteral("--dry-run")}},
        UsageRow{"ScanOfAFile", {QStringLiteral("scan"), QStringLiteral("/dev/null")}},
        UsageRow{"ScanOfNothing",
                 {QStringLiteral("scan"), QStringLiteral("/"), QStringLiteral("/no/such/dir")}},
        UsageRow{"ScanDepthNotANumber",
                 {QStringLiteral("scan"), QStringLiteral("--depth"), QStringLiteral("x"),
                  QStringLiteral("/")}},
        UsageRow{"ScanDepthNegative",
                 {QStringLiteral("scan"), QStringLiteral("--depth"), QStringLiteral("-1"),
                  QStringLiteral("/")}},
        UsageRow{"ScanWithUnknownOption",
                 {QStringLiteral("scan"), QStringLiteral("--deep"), QStringLiteral("/")}},
        UsageRow{"ImportWithoutEditor", {QStringLiteral("import"), QStringLiteral("--dry-run")}},
        UsageRow{"ImportFromAnUnknownEditor", {QStringLiteral("import"), QStringLiteral("emacs")}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandLineTest, HelpAndVersion)
{
    const auto help = runZarvo({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"list", "add", "remove", "settings"}) {
        EXPECT_TRUE(help.out.contains(QString::fromLatin1(word)));
    }
    // Every subcommand has its own entry, and the text says what the launcher does.
    for (const char* entry :
         {"\n  list\n", "\n  search TEXT\n", "\n  add NAME PATH", "\n  remove NAME\n",
          "\n  scan [--dry-run] [--depth N] DIR...\n", "\n  import vscode|jetbrains",
          "\n  settings [", "\n  shortcut [bind | unbind]\n", "\n  script NAME\n",
          "\n  launch NAME\n", "\n  toggle\n", "Ctrl+Alt+Super+K", "ZARVO_TERMINAL",
          "ZARVO_HOTKEY_BACKEND", "zarvo toggle"}) {
        EXPECT_TRUE(help.out.contains(QString::fromLatin1(entry))) << entry;
    }
    const auto version = runZarvo({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("zarvo ")));
}

} // namespace
} // namespace zarvo
