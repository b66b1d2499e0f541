#include "platform/plistio.h"
#include "platform/resourcedir.h"
#include "projects/projectstore.h"
#include "support/hostileplists.h"
#include "support/runzarvo.h"
#include "support/tempresources.h"

#include <gtest/gtest.h>

namespace zarvo {
namespace {

using test::runZarvo;

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

struct HostileName {
    const char* description;
    QString name;
};

void PrintTo(const HostileName& row, std::ostream* os)
{
    *os << row.description;
}

// Names and paths that break careless quoting, encoding or display must go
// through add, list, search and script unharmed and run nothing.
class HostileNameTest : public ::testing::TestWithParam<HostileName> {
protected:
    void SetUp() override { prepareResourceDirectory(); }
    test::TempResources resources;
};

TEST_P(HostileNameTest, SurvivesAddListSearchAndScript)
{
    const QString& name = GetParam().name;
    const QString path = s("/home/dev/") + name;
    const auto added = runZarvo({s("add"), name, path, s("--commands"), name});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();

    EXPECT_EQ(ProjectStore::projectNames(), QStringList{name});
    EXPECT_EQ(ProjectStore::projectEntry(name)->value(entry_key::filePath).toString(), path);
    EXPECT_EQ(runZarvo({s("list")}).out, name + QLatin1Char('\n'));

    const QString needle = name.left(3);
    const auto found = runZarvo({s("search"), needle});
    EXPECT_EQ(found.exitCode, 0);
    EXPECT_EQ(found.out, name + QLatin1Char('\n'));

    const auto script = runZarvo({s("script"), name});
    EXPECT_EQ(script.exitCode, 0) << script.err.toStdString();
    EXPECT_TRUE(script.out.startsWith(s("                 tell application \"Terminal\"")));
    EXPECT_TRUE(script.out.endsWith(s("end tell\n")));
}

INSTANTIATE_TEST_SUITE_P(Names, HostileNameTest,
                         ::testing::Values(HostileName{"Quotes", s("it's \"quoted\"")},
                                           HostileName{"Backslashes", s("back\\slash\\\" end")},
                                           HostileName{"CommandSubstitution", s("$(touch pwned)")},
                                           HostileName{"Backticks", s("`touch pwned`")},
                                           HostileName{"Newline", s("two\nlines")},
                                           HostileName{"RightToLeft", s("מיזם \u202Eevil\u202C")},
                                           HostileName{"Emoji", s("🚀 rocket 👩‍💻")},
                                           HostileName{"VeryLong",
                                                       QString(64 * 1024, QLatin1Char('x'))}),
                         [](const auto& info) { return std::string(info.param.description); });

TEST(HostileStore, InvalidUtf8InTheStoreReadsWithReplacementCharacters)
{
    test::TempResources resources;
    prepareResourceDirectory();
    QByteArray xml =
        plist::toXml(QVariantMap{{s("bad@@name"), QVariantMap{{entry_key::filePath, s("/tmp")}}}});
    xml.replace("@@", "\xff\xfe");
    resources.write(s("projects.plist"), xml);

    const auto listed = runZarvo({s("list")});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_TRUE(listed.out.startsWith(s("bad"))) << listed.out.toStdString();
    EXPECT_EQ(runZarvo({s("search"), s("bad")}).exitCode, 0);
}

// Files made to crash or exhaust every command: each command reads them as
// "not a property list", in whichever of the two files they stand, and a
// write leaves them as they are.
TEST(HostileStore, FilesThatWouldCrashEveryCommandAreNotPropertyLists)
{
    struct Row {
        const char* name;
        QByteArray bytes;
    };
    const Row rows[] = {
        {"200,000 nested arrays in XML", test::nestedXml(200'000)},
        {"200,000 nested arrays in XML with comments", test::nestedXml(200'000, "<!-- -->")},
        {"200,000 nested arrays in a binary list", test::nestedBinary(200'000)},
        {"a million copies of a 4 KiB string", test::amplifiedBinary(1, 1'000'000)},
        {"a key holding NUL", QByteArray("<plist><dict><key>p") + '\0' +
                                  "evil</key><dict/><key>p</key><dict/></dict></plist>"},
    };
    for (const Row& row : rows) {
        for (const char* file : {"projects.plist", "settings.plist"}) {
            test::TempResources resources;
            prepareResourceDirectory();
            resources.write(
                s("projects.plist"),
                plist::toXml(QVariantMap{{s("p"), QVariantMap{{entry_key::filePath, s("/tmp")}}}}));
            resources.write(s(file), row.bytes);
            const std::string where = std::string(row.name) + " in " + file;
            for (const QStringList& args :
                 {QStringList{s("list")}, QStringList{s("search"), s("p")},
                  QStringList{s("script"), s("p")}}) {
                const auto run = runZarvo(args);
                EXPECT_NE(run.exitCode, -1)
                    << where << ": " << args.join(QLatin1Char(' ')).toStdString();
            }
            const auto added = runZarvo(file == std::string("projects.plist")
                                            ? QStringList{s("add"), s("q"), s("/tmp")}
                                            : QStringList{s("settings"), s("editor"), s("q")});
            EXPECT_EQ(added.exitCode, 1) << where;
            EXPECT_TRUE(added.err.contains(resources.file(s(file)) + s(" is not a property list")))
                << where << ": " << added.err.toStdString();
            EXPECT_EQ(resources.read(s(file)), row.bytes) << where;
        }
    }
}

} // namespace
} // namespace zarvo
