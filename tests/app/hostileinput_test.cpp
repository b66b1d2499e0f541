#include "platform/plistio.h"
#include "platform/resourcedir.h"
#include "projects/projectstore.h"
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

} // namespace
} // namespace zarvo
