#include "platform/atomicfile.h"
#include "platform/plistio.h"
#include "shortcut/shortcut.h"
#include "support/runzarvo.h"
#include "support/tempresources.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

class ShortcutCommandTest : public ::testing::Test {
protected:
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("XKB_DEFAULT_LAYOUT"), QStringLiteral("us"));
        return env;
    }
    void store(const QVariant& value) const
    {
        QDir(config.path()).mkpath(QStringLiteral("zarvo"));
        const QVariantMap values{{QStringLiteral("ZarvoShortcut"), value}};
        ASSERT_TRUE(writeFileAtomically(config.filePath(QStringLiteral("zarvo/defaults.plist")),
                                        plist::toXml(values))
                        .ok());
    }
    test::TempResources resources;
    QTemporaryDir config;
};

TEST_F(ShortcutCommandTest, PrintsTheStoredShortcutOrNone)
{
    struct Row {
        const char* name;
        std::optional<QVariant> stored;
        QString out;
    } rows[] = {
        {"nothing stored", std::nullopt, QStringLiteral("none\n")},
        {"the default", QVariant(Shortcut(40, 0x1C0000).data()),
         QStringLiteral("\u2303\u2325\u2318K\n")},
        {"a recorded one", QVariant(Shortcut(96, 0x20000).data()), QStringLiteral("\u21E7F5\n")},
        {"a cleared one", QVariant(Shortcut::archivedDataWithEmptyRoot()),
         QStringLiteral("none\n")},
        {"garbage", QVariant(QByteArray("garbage")), QStringLiteral("none\n")},
    };
    for (const Row& row : rows) {
        if (row.stored) {
            store(*row.stored);
        }
        const auto result = test::runZarvo({QStringLiteral("shortcut")}, environment());
        EXPECT_EQ(result.exitCode, 0) << row.name << ": " << result.err.toStdString();
        EXPECT_EQ(result.out, row.out) << row.name;
    }
    // Reading never writes.
    store(QVariant(QByteArray("garbage")));
    test::runZarvo({QStringLiteral("shortcut")}, environment());
    EXPECT_EQ(plist::readDictionaryFile(config.filePath(QStringLiteral("zarvo/defaults.plist")))
                  ->value(QStringLiteral("ZarvoShortcut")),
              QVariant(QByteArray("garbage")));
}

TEST_F(ShortcutCommandTest, TakesBindUnbindOrNothing)
{
    const auto result =
        test::runZarvo({QStringLiteral("shortcut"), QStringLiteral("x")}, environment());
    EXPECT_EQ(result.exitCode, 2);
}

// GNOME's two schemas of custom keybindings, as far as `zarvo shortcut bind`
// uses them, in a schema folder of the test's own.
const char* const kMediaKeysSchema = R"(<schemalist>
  <schema id="org.gnome.settings-daemon.plugins.media-keys"
          path="/org/gnome/settings-daemon/plugins/media-keys/">
    <key name="custom-keybindings" type="as"><default>[]</default></key>
  </schema>
  <schema id="org.gnome.settings-daemon.plugins.media-keys.custom-keybinding">
    <key name="name" type="s"><default>''</default></key>
    <key name="command" type="s"><default>''</default></key>
    <key name="binding" type="s"><default>''</default></key>
  </schema>
</schemalist>
)";

class ShortcutBindTest : public ShortcutCommandTest {
protected:
    void SetUp() override
    {
        QFile file(schemas.filePath(QStringLiteral("media-keys.gschema.xml")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kMediaKeysSchema);
        file.close();
        QProcess compile;
        compile.start(QStringLiteral("glib-compile-schemas"), {schemas.path()});
        if (!compile.waitForFinished() || compile.exitCode() != 0) {
            GTEST_SKIP() << "glib-compile-schemas is not installed or failed";
        }
    }

    // GSettings in files of the test's own, with or without GNOME's schemas.
    QProcessEnvironment gnome(bool withSchemas = true) const
    {
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
        env.insert(QStringLiteral("GSETTINGS_SCHEMA_DIR"),
                   withSchemas ? schemas.path() : config.path());
        env.insert(QStringLiteral("XDG_DATA_DIRS"), config.path());
        return env;
    }

    QString gsettings(const QStringList& args) const
    {
        QProcess process;
        process.setProcessEnvironment([&] {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(gnome());
            return env;
        }());
        process.start(QStringLiteral("gsettings"), args);
        process.waitForFinished();
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    QString entry(const QString& key) const
    {
        return gsettings({QStringLiteral("get"),
                          QStringLiteral("org.gnome.settings-daemon.plugins.media-keys."
                                         "custom-keybinding:/org/gnome/settings-daemon/plugins/"
                                         "media-keys/custom-keybindings/zarvo/"),
                          key});
    }

    QString list() const
    {
        return gsettings({QStringLiteral("get"),
                          QStringLiteral("org.gnome.settings-daemon.plugins.media-keys"),
                          QStringLiteral("custom-keybindings")});
    }

    QTemporaryDir schemas;
};

TEST_F(ShortcutBindTest, BindWritesTheGnomeKeybindingAndUnbindRemovesIt)
{
    const QString mine =
        QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/");
    gsettings({QStringLiteral("set"),
               QStringLiteral("org.gnome.settings-daemon.plugins.media-keys"),
               QStringLiteral("custom-keybindings"), QStringLiteral("['%1']").arg(mine)});
    const QString zarvo =
        QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/zarvo/");

    for (int run = 0; run < 2; ++run) {
        const auto bound =
            test::runZarvo({QStringLiteral("shortcut"), QStringLiteral("bind")}, gnome());
        ASSERT_EQ(bound.exitCode, 0) << bound.out.toStdString() << bound.err.toStdString();
        EXPECT_TRUE(bound.out.contains(QStringLiteral("bindsym Ctrl+Mod1+Mod4+k exec ")))
            << bound.out.toStdString();
        EXPECT_TRUE(bound.out.contains(QStringLiteral("bind = CTRL ALT SUPER, k, exec, ")));
        EXPECT_EQ(list(), QStringLiteral("['%1', '%2']").arg(mine, zarvo))
            << "once, after the user's";
        EXPECT_EQ(entry(QStringLiteral("binding")), QStringLiteral("'<Control><Alt><Super>k'"));
        EXPECT_TRUE(entry(QStringLiteral("command")).endsWith(QStringLiteral("zarvo toggle'")))
            << entry(QStringLiteral("command")).toStdString();
    }

    // A recorded shortcut is what gets bound.
    store(QVariant(Shortcut(96, modifier::kShift).data()));
    ASSERT_EQ(
        test::runZarvo({QStringLiteral("shortcut"), QStringLiteral("bind")}, gnome()).exitCode, 0);
    EXPECT_EQ(entry(QStringLiteral("binding")), QStringLiteral("'<Shift>F5'"));

    const auto unbound =
        test::runZarvo({QStringLiteral("shortcut"), QStringLiteral("unbind")}, gnome());
    ASSERT_EQ(unbound.exitCode, 0) << unbound.out.toStdString();
    EXPECT_EQ(list(), QStringLiteral("['%1']").arg(mine));
    EXPECT_EQ(entry(QStringLiteral("binding")), QStringLiteral("''"));
}

TEST_F(ShortcutBindTest, WithoutGnomesSettingsTheOtherDesktopsLinesStillCome)
{
    const auto result =
        test::runZarvo({QStringLiteral("shortcut"), QStringLiteral("bind")}, gnome(false));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.contains(QStringLiteral("GNOME's keyboard settings were not changed")))
        << result.out.toStdString();
    EXPECT_TRUE(result.out.contains(QStringLiteral("bindsym Ctrl+Mod1+Mod4+k exec ")));
}

} // namespace
} // namespace zarvo
