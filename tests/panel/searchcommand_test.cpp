#include "platform/plistio.h"
#include "support/runzarvo.h"
#include "support/tempresources.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

[[maybe_unused]] static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace zarvo {
namespace {

using test::runZarvo;

class SearchCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char16_t* name : {u"Kiosk", u"Backup", u"Ķekava", u"market", u"poker"}) {
            ASSERT_EQ(
                runZarvo({QStringLiteral("add"), QString::fromUtf16(name), QStringLiteral("/srv")})
                    .exitCode,
                0);
        }
    }
    test::TempResources resources;
};

TEST_F(SearchCommandTest, PrintsTheMatchesInListOrder)
{
    // The store's order, not one by folded name: "Ķ" sorts after every ASCII letter.
    const auto result = runZarvo({QStringLiteral("search"), QStringLiteral("KE")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, QStringLiteral("market\npoker\n") + QString::fromUtf16(u"Ķekava\n"));
}

TEST_F(SearchCommandTest, OneCharacterIsAPrefix)
{
    const auto result = runZarvo({QStringLiteral("search"), QStringLiteral("k")});
    EXPECT_EQ(result.out, QStringLiteral("Kiosk\n") + QString::fromUtf16(u"Ķekava\n"));
}

TEST_F(SearchCommandTest, NothingForNoMatchOrTheEmptyText)
{
    for (const QString& text : {QStringLiteral("zz"), QString()}) {
        const auto result = runZarvo({QStringLiteral("search"), text});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
    }
}

TEST_F(SearchCommandTest, WithoutATextIsAUsageError)
{
    const auto result = runZarvo({QStringLiteral("search")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains(QStringLiteral("usage")));
}

// Most used first: usage records written as a launch leaves them, then the
// order `zarvo search` prints (the panel's, see panelsearch_test.cpp).
struct UsageRow {
    const char* name;
    const char* order; // the "Order" setting, or null for none
    // Project name and the ages (seconds before now) of its uses.
    std::vector<std::pair<const char16_t*, std::vector<qint64>>> uses;
    const char16_t* text;
    const char16_t* expected;
    // Written as the usage file instead of the uses, when given.
    const char* fileContents = nullptr;
};

void PrintTo(const UsageRow& row, std::ostream* os)
{
    *os << row.name;
}

class UsageOrderTest : public SearchCommandTest, public ::testing::WithParamInterface<UsageRow> {
protected:
    void SetUp() override
    {
        SearchCommandTest::SetUp();
        ASSERT_TRUE(state.isValid());
        env.insert(QStringLiteral("XDG_STATE_HOME"), state.path());
    }
    QString usageFile() const { return state.filePath(QStringLiteral("zarvo/usage.plist")); }

    QTemporaryDir state;
    QProcessEnvironment env;
};

constexpr qint64 kMinute = 60;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;

TEST_P(UsageOrderTest, SearchListsByFrecencyWithTiesInStoreOrder)
{
    const UsageRow& row = GetParam();
    if (row.order) {
        ASSERT_EQ(runZarvo({QStringLiteral("settings"), QStringLiteral("order"),
                            QString::fromLatin1(row.order)})
                      .exitCode,
                  0);
    }
    ASSERT_TRUE(QDir().mkpath(QFileInfo(usageFile()).path()));
    QFile file(usageFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    if (row.fileContents) {
        file.write(row.fileContents);
    } else {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QVariantMap records;
        for (const auto& [name, ages] : row.uses) {
            QVariantList uses;
            for (const qint64 age : ages) {
                uses.append(now - age);
            }
            records.insert(QString::fromUtf16(name), QVariantMap{{QStringLiteral("uses"), uses}});
        }
        file.write(plist::toXml(records));
    }
    file.close();

    const auto result = runZarvo({QStringLiteral("search"), QString::fromUtf16(row.text)}, env);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, QString::fromUtf16(row.expected));
}

// Store order: Backup, Kiosk, market, poker, Ķekava. "ke" matches market,
// poker and Ķekava; "k" Kiosk and Ķekava.
INSTANTIATE_TEST_SUITE_P(
    Rows, UsageOrderTest,
    ::testing::Values(
        UsageRow{"ARecentUseBeatsOldFrequentOnes",
                 "use",
                 {{u"poker", {10 * kMinute}},
                  {u"market", {10 * kDay, 11 * kDay, 12 * kDay, 13 * kDay, 14 * kDay}}},
                 u"ke",
                 u"poker\nmarket\nĶekava\n"},
        UsageRow{"SeveralUsesTodayBeatOneJustNow",
                 "use",
                 {{u"poker", {kMinute}}, {u"Ķekava", {2 * kHour, 3 * kHour, 5 * kHour}}},
                 u"ke",
                 u"Ķekava\npoker\nmarket\n"},
        UsageRow{"EqualScoresKeepTheStoreOrder",
                 "use",
                 {{u"Ķekava", {2 * kDay}}, {u"poker", {3 * kDay}}},
                 u"ke",
                 u"poker\nĶekava\nmarket\n"},
        UsageRow{"ThePrefixSearchIsOrderedToo",
                 "use",
                 {{u"Ķekava", {kMinute}}},
                 u"k",
                 u"Ķekava\nKiosk\n"},
        UsageRow{"TheEmptyTextListsTheUsedOnesOnly",
                 "use",
                 {{u"Kiosk", {kDay + kHour}}, {u"poker", {kHour + 1}}, {u"gone", {kMinute}}},
                 u"",
                 u"poker\nKiosk\n"},
        UsageRow{"TheStoreOrderIgnoresTheUses",
                 "store",
                 {{u"poker", {kMinute}}},
                 u"ke",
                 u"market\npoker\nĶekava\n"},
        UsageRow{"NoOrderSettingIsTheStoreOrder", nullptr, {{u"poker", {kMinute}}}, u"", u""},
        UsageRow{"ABrokenFileReadsAsNoUses",
                 "use",
                 {},
                 u"ke",
                 u"market\npoker\nĶekava\n",
                 "<?xml version=\"1.0\"?><plist><dict><key>poker</key>"},
        UsageRow{"UsesThatAreNotTimesCountNothing",
                 "use",
                 {},
                 u"ke",
                 u"poker\nmarket\nĶekava\n",
                 "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                 "<key>market</key><dict><key>uses</key><array><string>x</string></array></dict>"
                 "<key>poker</key><dict><key>uses</key><array><integer>4102444800</integer>"
                 "</array></dict></dict></plist>"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zarvo
