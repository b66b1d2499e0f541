#include "support/runzarvo.h"
#include "support/tempresources.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace zarvo
