#include "app/helppages.h"

#include "platform/defaultsstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace zarvo {
namespace {

// A prefix with bin/ and, as asked, installed pages, a build tree's copy
// beside bin/ and a source tree's copy.
class HelpDirectoryTest : public ::testing::Test {
protected:
    QString makePages(const QString& relative)
    {
        const QString dir = root.filePath(relative);
        EXPECT_TRUE(QDir().mkpath(dir));
        QFile index(dir + QStringLiteral("/index.html"));
        EXPECT_TRUE(index.open(QIODevice::WriteOnly));
        return dir;
    }
    QString bin() const { return root.filePath(QStringLiteral("bin")); }

    QTemporaryDir root;
};

TEST_F(HelpDirectoryTest, InstalledPagesComeFirst)
{
    const QString installed = makePages(QStringLiteral("share/zarvo/help"));
    makePages(QStringLiteral("bin/share/zarvo/help"));
    const QString source = makePages(QStringLiteral("src/resources/help"));
    EXPECT_EQ(findHelpDirectory(bin(), source), installed);
}

TEST_F(HelpDirectoryTest, TheBuildTreesCopyComesNext)
{
    const QString built = makePages(QStringLiteral("bin/share/zarvo/help"));
    const QString source = makePages(QStringLiteral("src/resources/help"));
    EXPECT_EQ(findHelpDirectory(bin(), source), built);
}

TEST_F(HelpDirectoryTest, TheSourceTreeIsTheLastResort)
{
    // A folder without an index page does not count.
    ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("share/zarvo/help"))));
    const QString source = makePages(QStringLiteral("src/resources/help"));
    EXPECT_EQ(findHelpDirectory(bin(), source), source);
    EXPECT_FALSE(findHelpDirectory(bin(), root.filePath(QStringLiteral("nowhere"))).has_value());
}

TEST(HelpPageUrlTest, PagesUnderTheBase)
{
    struct Row {
        const char* what;
        QString base;
        QString help;
        QString commands;
    };
    const std::vector<Row> rows{
        {"web site", QStringLiteral("https://zarvo.example"),
         QStringLiteral("https://zarvo.example#help"),
         QStringLiteral("https://zarvo.example/launch-commands")},
        {"web folder with a slash", QStringLiteral("https://zarvo.example/docs/"),
         QStringLiteral("https://zarvo.example/docs/#help"),
         QStringLiteral("https://zarvo.example/docs/launch-commands")},
        {"local folder", QStringLiteral("file:///usr/share/zarvo/help"),
         QStringLiteral("file:///usr/share/zarvo/help/index.html#help"),
         QStringLiteral("file:///usr/share/zarvo/help/launch-commands/index.html")},
        {"local folder with a slash", QStringLiteral("file:///usr/share/zarvo/help/"),
         QStringLiteral("file:///usr/share/zarvo/help/index.html#help"),
         QStringLiteral("file:///usr/share/zarvo/help/launch-commands/index.html")},
        {"plain path", QStringLiteral("/opt/help"),
         QStringLiteral("file:///opt/help/index.html#help"),
         QStringLiteral("file:///opt/help/launch-commands/index.html")},
        {"local index page", QStringLiteral("file:///opt/help/index.html"),
         QStringLiteral("file:///opt/help/index.html#help"),
         QStringLiteral("file:///opt/help/launch-commands/index.html")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(helpPageUrl(row.base, HelpPage::help), QUrl(row.help));
        EXPECT_EQ(helpPageUrl(row.base, HelpPage::launchCommands), QUrl(row.commands));
    }
    EXPECT_FALSE(helpPageUrl(QString(), HelpPage::help).isValid());
}

TEST(HelpBaseUrlTest, TheDefaultsEntryReplacesTheLocalPages)
{
    QTemporaryDir dir;
    DefaultsStore defaults(dir.filePath(QStringLiteral("defaults.plist")));
    DefaultsStore::setStandardUserDefaults(&defaults);

    defaults.setObject(QStringLiteral(" https://zarvo.example "), kHelpBaseUrlKey);
    EXPECT_EQ(helpBaseUrl(), QStringLiteral("https://zarvo.example"));

    // Blank text does not count; the local pages (here the source tree's) do.
    defaults.setObject(QStringLiteral("  "), kHelpBaseUrlKey);
    const QUrl local(helpBaseUrl());
    EXPECT_TRUE(local.isLocalFile()) << helpBaseUrl().toStdString();
    EXPECT_TRUE(QFile::exists(local.toLocalFile() + QStringLiteral("/index.html")));

    DefaultsStore::setStandardUserDefaults(nullptr);
}

} // namespace
} // namespace zarvo
