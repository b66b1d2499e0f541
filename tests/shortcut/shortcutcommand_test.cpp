#include "platform/atomicfile.h"
#include "platform/plistio.h"
#include "shortcut/shortcut.h"
#include "support/runzarvo.h"
#include "support/tempresources.h"

#include <QDir>
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

TEST_F(ShortcutCommandTest, TakesNoArguments)
{
    const auto result =
        test::runZarvo({QStringLiteral("shortcut"), QStringLiteral("x")}, environment());
    EXPECT_EQ(result.exitCode, 2);
}

} // namespace
} // namespace zarvo
