#include "app/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace zarvo {
namespace {

// Sets XDG_CONFIG_HOME (or unsets it, for a null VALUE) while it lives.
class ConfigHome final {
public:
    explicit ConfigHome(const QString& value)
        : previous_(qgetenv("XDG_CONFIG_HOME")), had_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
    {
        if (value.isNull()) {
            qunsetenv("XDG_CONFIG_HOME");
        } else {
            qputenv("XDG_CONFIG_HOME", value.toLocal8Bit());
        }
    }
    ~ConfigHome()
    {
        if (had_) {
            qputenv("XDG_CONFIG_HOME", previous_);
        } else {
            qunsetenv("XDG_CONFIG_HOME");
        }
    }

private:
    QByteArray previous_;
    bool had_;
};

TEST(AutostartTest, TheEntryLivesInTheConfigHomesAutostartFolder)
{
    struct Row {
        const char* what;
        QString configHome;
        QString expected;
    };
    const QString fallback = QDir::homePath() + QStringLiteral("/.config/autostart/zarvo.desktop");
    const std::vector<Row> rows{
        {"absolute", QStringLiteral("/etc/xdg-user"),
         QStringLiteral("/etc/xdg-user/autostart/zarvo.desktop")},
        {"unset", QString(), fallback},
        {"empty", QStringLiteral(""), fallback},
        {"relative", QStringLiteral("conf"), fallback},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ConfigHome home(row.configHome);
        EXPECT_EQ(autostartEntryPath(), row.expected);
    }
}

TEST(AutostartTest, TheExecLineQuotesAndEscapesThePath)
{
    struct Row {
        const char* what;
        QString executable;
        QString execLine;
    };
    const std::vector<Row> rows{
        {"plain", QStringLiteral("/usr/bin/zarvo"), QStringLiteral("Exec=/usr/bin/zarvo")},
        {"space", QStringLiteral("/opt/my apps/zarvo"),
         QStringLiteral("Exec=\"/opt/my apps/zarvo\"")},
        {"quote and dollar", QStringLiteral("/opt/a\"b$c/zarvo"),
         QStringLiteral("Exec=\"/opt/a\\\\\"b\\\\$c/zarvo\"")},
        {"backslash", QStringLiteral("/opt/a\\b/zarvo"),
         QStringLiteral("Exec=\"/opt/a\\\\\\\\b/zarvo\"")},
        {"percent", QStringLiteral("/opt/100%/zarvo"), QStringLiteral("Exec=/opt/100%%/zarvo")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::optional<QByteArray> entry = autostartEntry(row.executable);
        ASSERT_TRUE(entry.has_value());
        const QStringList lines = QString::fromUtf8(*entry).split(QLatin1Char('\n'));
        EXPECT_TRUE(lines.contains(row.execLine)) << entry->constData();
        EXPECT_EQ(lines.front(), QStringLiteral("[Desktop Entry]"));
        EXPECT_TRUE(lines.contains(QStringLiteral("Type=Application")));
    }
}

TEST(AutostartTest, PathsThatCannotBeWrittenGiveNoEntry)
{
    EXPECT_FALSE(autostartEntry(QStringLiteral("zarvo")).has_value());
    EXPECT_FALSE(autostartEntry(QStringLiteral("/opt/a\nExec=/bin/evil")).has_value());
    EXPECT_FALSE(autostartEntry(QStringLiteral("/opt/a\tb")).has_value());
}

TEST(AutostartTest, EnablingWritesTheEntryAndDisablingRemovesIt)
{
    QTemporaryDir config;
    const ConfigHome home(config.path());
    const QString path = config.filePath(QStringLiteral("autostart/zarvo.desktop"));
    EXPECT_FALSE(startsAtLogin());

    ASSERT_TRUE(setStartAtLogin(true, QStringLiteral("/usr/bin/zarvo")).ok());
    EXPECT_TRUE(startsAtLogin());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), autostartEntry(QStringLiteral("/usr/bin/zarvo")));
    file.close();

    ASSERT_TRUE(setStartAtLogin(true, QStringLiteral("/opt/zarvo")).ok()) << "written again";
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Exec=/opt/zarvo\n"));
    file.close();

    ASSERT_TRUE(setStartAtLogin(false, QString()).ok());
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(setStartAtLogin(false, QString()).ok()) << "nothing to remove is fine";
}

TEST(AutostartTest, FailuresAreReportedAndLeaveNoEntry)
{
    QTemporaryDir config;
    const ConfigHome home(config.path());
    EXPECT_FALSE(setStartAtLogin(true, QStringLiteral("relative/zarvo")).ok());
    EXPECT_FALSE(startsAtLogin());

    QFile blocker(config.filePath(QStringLiteral("autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(setStartAtLogin(true, QStringLiteral("/usr/bin/zarvo")).ok());
    EXPECT_FALSE(startsAtLogin());
}

} // namespace
} // namespace zarvo
