#include "projects/textform.h"

#include <gtest/gtest.h>

#include <limits>

namespace zarvo {
namespace {

struct TextFormRow {
    const char* name;
    std::optional<QVariant> value;
    const char* expected;
};

void PrintTo(const TextFormRow& row, std::ostream* os)
{
    *os << row.name;
}

class TextFormTest : public ::testing::TestWithParam<TextFormRow> {};

TEST_P(TextFormTest, ReadsAsFormattedWithPercentAt)
{
    EXPECT_EQ(textForm(GetParam().value), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Values, TextFormTest,
    ::testing::Values(
        TextFormRow{"String", QVariant(QStringLiteral("make serve")), "make serve"},
        TextFormRow{"EmptyString", QVariant(QString()), ""},
        TextFormRow{"True", QVariant(true), "1"}, TextFormRow{"False", QVariant(false), "0"},
        TextFormRow{"Integer", QVariant(qint64(42)), "42"},
        TextFormRow{"NegativeInteger", QVariant(qint64(-1)), "-1"},
        TextFormRow{"LargestUnsignedInteger", QVariant(std::numeric_limits<quint64>::max()),
                    "18446744073709551615"},
        TextFormRow{"Real", QVariant(1.5), "1.5"}, TextFormRow{"WholeReal", QVariant(2.0), "2"},
        TextFormRow{"Missing", std::nullopt, "(null)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextFormOfDictionary, MissingKeyReadsAsNull)
{
    const QVariantMap dict{{QStringLiteral("doPull"), QStringLiteral("1")}};
    EXPECT_EQ(textForm(dict, QStringLiteral("doPull")), QStringLiteral("1"));
    EXPECT_EQ(textForm(dict, QStringLiteral("commands")), QStringLiteral("(null)"));
}

} // namespace
} // namespace zarvo
