#include "platform/plistio.h"
#include "projects/newprojects.h"
#include "support/runzarvo.h"
#include "support/tempresources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

using test::runZarvo;

// A home folder with a configuration folder of its own, and a few projects.
class EditorImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config());
        ASSERT_TRUE(QDir().mkpath(config()));
        resources.write(QStringLiteral("projects.plist"), plist::toXml(QVariantMap()));
        resources.write(QStringLiteral("settings.plist"), plist::toXml(QVariantMap()));
    }

    QString config() const { return home.filePath(QStringLiteral("config")); }
    QString folder(const QString& relative) const
    {
        EXPECT_TRUE(QDir().mkpath(home.filePath(relative)));
        return home.filePath(relative);
    }
    QString file(const QString& relative) const
    {
        QFile file(home.filePath(relative));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return file.fileName();
    }
    // As VS Code writes them: percent-encoded.
    static QString uri(const QString& path)
    {
        return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
    }
    QString line(const QString& name, const QString& path) const
    {
        return name + QLatin1Char('\t') + path + QLatin1Char('\n');
    }
    test::ProcessResult import(const char* editor, bool dryRun = true) const
    {
        QStringList args{QStringLiteral("import"), QString::fromLatin1(editor)};
        if (dryRun) {
            args << QStringLiteral("--dry-run");
        }
        return runZarvo(args, environment);
    }

    // Writes VS Code's state database for PRODUCT ("Code", "VSCodium", ...)
    // with JSON as its list of recently opened paths.
    QString vscodeState(const char* product, const QByteArray& json) const
    {
        const QString dir =
            QStringLiteral("%1/%2/User/globalStorage").arg(config(), QString::fromLatin1(product));
        EXPECT_TRUE(QDir().mkpath(dir));
        const QString path = dir + QStringLiteral("/state.vscdb");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path);
            db.setDatabaseName(path);
            EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
            QSqlQuery query(db);
            EXPECT_TRUE(query.exec(QStringLiteral(
                "CREATE TABLE ItemTable (key TEXT UNIQUE ON CONFLICT REPLACE, value BLOB)")));
            query.prepare(QStringLiteral("INSERT INTO ItemTable VALUES (?, ?)"));
            query.addBindValue(QStringLiteral("history.recentlyOpenedPathsList"));
            query.addBindValue(QString::fromUtf8(json));
            EXPECT_TRUE(query.exec()) << query.lastError().text().toStdString();
        }
        QSqlDatabase::removeDatabase(path);
        return path;
    }

    void jetbrainsFile(const char* product, const QByteArray& xml) const
    {
        const QString dir =
            QStringLiteral("%1/JetBrains/%2/options").arg(config(), QString::fromLatin1(product));
        EXPECT_TRUE(QDir().mkpath(dir));
        QFile file(dir + QStringLiteral("/recentProjects.xml"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(xml);
    }

    QTemporaryDir home;
    QProcessEnvironment environment;
    test::TempResources resources;
};

TEST_F(EditorImportTest, VscodeFoldersAndWorkspacesAreReadWithoutLockingTheDatabase)
{
    const QString app = folder(QStringLiteral("src/app"));
    const QString spaced = folder(QStringLiteral("src/my project #1"));
    const QString tools = folder(QStringLiteral("src/tools"));
    const QString workspace = file(QStringLiteral("src/all.code-workspace"));
    const QString aFile = file(QStringLiteral("src/notes.txt"));
    const QString database =
        vscodeState("Code", QStringLiteral(R"({"entries":[
            {"folderUri":"%1"},
            {"workspace":{"id":"f00","configPath":"%2"}},
            {"fileUri":"%3"},
            {"folderUri":"vscode-remote://ssh-remote+host/home/u/app","remoteAuthority":"ssh-remote+host"},
            {"folderUri":"%4"},
            {"folderUri":"%5","label":"mine"}]})")
                                .arg(uri(app), uri(workspace), uri(aFile),
                                     uri(home.filePath(QStringLiteral("gone"))), uri(spaced))
                                .toUtf8());
    vscodeState("VSCodium", QStringLiteral(R"({"entries":[{"folderUri":"%1"},{"folderUri":"%2"}]})")
                                .arg(uri(app), uri(tools))
                                .toUtf8());
    const QByteArray before = [&] {
        QFile f(database);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    // VS Code holds its database: a reader that took even a shared lock would
    // be turned away now.
    QSqlDatabase editor =
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("editor"));
    editor.setDatabaseName(database);
    ASSERT_TRUE(editor.open());
    QSqlQuery lock(editor);
    ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")))
        << lock.lastError().text().toStdString();

    const QString expected =
        line(QStringLiteral("app"), app) + line(QStringLiteral("all"), workspace) +
        line(QStringLiteral("my project #1"), spaced) + line(QStringLiteral("tools"), tools);
    const auto dryRun = import("vscode");
    EXPECT_EQ(dryRun.exitCode, 0) << dryRun.err.toStdString();
    EXPECT_EQ(dryRun.out.toStdString(), expected.toStdString()) << dryRun.err.toStdString();
    const auto imported = import("vscode", false);
    EXPECT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    EXPECT_EQ(imported.out.toStdString(), expected.toStdString());
    EXPECT_EQ(plist::readDictionaryFile(resources.file(QStringLiteral("projects.plist")))
                  ->value(QStringLiteral("all"))
                  .toMap(),
              newProjectEntry(workspace));

    lock.exec(QStringLiteral("ROLLBACK"));
    lock = QSqlQuery();
    editor.close();
    editor = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("editor"));
    QFile after(database);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
    const QDir dir = QFileInfo(database).dir();
    EXPECT_EQ(dir.entryList(QDir::Files), QStringList{QStringLiteral("state.vscdb")})
        << "nothing is created beside the database";
}

TEST_F(EditorImportTest, JetbrainsProjectsComeMostRecentFirstAcrossTheIdes)
{
    const QString older = folder(QStringLiteral("code/older"));
    const QString newest = folder(QStringLiteral("code/newest"));
    const QString python = folder(QStringLiteral("code/py"));
    jetbrainsFile("IntelliJIdea2024.1", R"(<application>
  <component name="RecentProjectsManager">
    <option name="additionalInfo">
      <map>
        <entry key="$USER_HOME$/code/older">
          <value><RecentProjectMetaInfo frameTitle="older">
            <option name="activationTimestamp" value="1000" />
          </RecentProjectMetaInfo></value>
        </entry>
        <entry key="/no/such/project">
          <value><RecentProjectMetaInfo><option name="activationTimestamp" value="5000" /></RecentProjectMetaInfo></value>
        </entry>
        <entry key="$APPLICATION_CONFIG_DIR$/light-edit">
          <value><RecentProjectMetaInfo /></value>
        </entry>
        <entry key="$USER_HOME$/code/newest">
          <value><RecentProjectMetaInfo>
            <option name="binFolder" value="$APPLICATION_HOME_DIR$/bin" />
            <option name="activationTimestamp" value="3000" />
          </RecentProjectMetaInfo></value>
        </entry>
      </map>
    </option>
    <option name="lastProjectLocation" value="$USER_HOME$/code" />
  </component>
</application>
)");
    // An older IDE's list of paths, without times.
    jetbrainsFile("PyCharm2019.3", R"(<application>
  <component name="RecentDirectoryProjectsManager">
    <option name="recentPaths">
      <list>
        <option value="$USER_HOME$/code/py" />
        <option value="$USER_HOME$/code/newest" />
      </list>
    </option>
  </component>
</application>)");
    const auto result = import("jetbrains");
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out.toStdString(),
              (line(QStringLiteral("newest"), newest) + line(QStringLiteral("older"), older) +
               line(QStringLiteral("py"), python))
                  .toStdString());
}

TEST_F(EditorImportTest, WithoutHistoryNothingIsAddedAndTheCommandSaysSo)
{
    // A JetBrains folder without a list of projects is no history either.
    ASSERT_TRUE(QDir().mkpath(config() + QStringLiteral("/JetBrains/WebStorm2024.1/options")));
    const QByteArray before = resources.read(QStringLiteral("projects.plist"));
    for (const auto& [editor, message] : {std::pair{"vscode", "no VS Code history found"},
                                          std::pair{"jetbrains", "no JetBrains history found"}}) {
        for (const bool dryRun : {true, false}) {
            const auto result = import(editor, dryRun);
            EXPECT_EQ(result.exitCode, 0) << editor;
            EXPECT_EQ(result.out.toStdString(), std::string()) << editor;
            EXPECT_TRUE(result.err.contains(QString::fromLatin1(message)))
                << result.err.toStdString();
        }
    }
    EXPECT_EQ(resources.read(QStringLiteral("projects.plist")), before);
}

} // namespace
} // namespace zarvo
