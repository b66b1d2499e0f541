#include "panel/projectsearch.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

// Readable failure messages.
[[maybe_unused]] static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace zarvo {
namespace {

QString u(const char16_t* text)
{
    return QString::fromUtf16(text);
}

struct FilterRow {
    const char* name;
    QString text;
    QStringList names;
    QStringList expected;
};

void PrintTo(const FilterRow& row, std::ostream* os)
{
    *os << row.name;
}

class FilterTest : public ::testing::TestWithParam<FilterRow> {};

TEST_P(FilterTest, ListsTheExpectedNamesInCandidateOrder)
{
    const FilterRow& row = GetParam();
    EXPECT_EQ(filterProjectNames(row.names, row.text), row.expected);
}

const QStringList kMixed{u(u"Backup"), u(u"kernel"), u(u"Kiosk"), u(u"Ķekava"),
                         u(u"market"), u(u"Poker"),  u(u"zk")};

INSTANTIATE_TEST_SUITE_P(
    Names, FilterTest,
    ::testing::Values(
        // One character: only names beginning with it, in any case or accent.
        FilterRow{"OneCharacterIsAPrefixTest",
                  u(u"k"),
                  kMixed,
                  {u(u"kernel"), u(u"Kiosk"), u(u"Ķekava")}},
        FilterRow{"OneUppercaseCharacterIsAPrefixTest",
                  u(u"K"),
                  kMixed,
                  {u(u"kernel"), u(u"Kiosk"), u(u"Ķekava")}},
        // Two characters: anywhere in the name.
        FilterRow{"TwoCharactersAreASubstringTest",
                  u(u"ke"),
                  kMixed,
                  {u(u"kernel"), u(u"Ķekava"), u(u"market"), u(u"Poker")}},
        FilterRow{"SubstringAtTheEnd", u(u"sk"), kMixed, {u(u"Kiosk")}},
        FilterRow{"WholeName", u(u"backup"), kMixed, {u(u"Backup")}},
        FilterRow{"LongerThanEveryName", u(u"kernel-tools"), kMixed, {}},
        FilterRow{"NoMatch", u(u"qq"), kMixed, {}},
        FilterRow{"EmptyTextMatchesNothing", QString(), kMixed, {}},
        FilterRow{"NoCandidates", u(u"a"), {}, {}},
        // Diacritics and case, both ways round.
        FilterRow{"PlainLetterMatchesUmlaut", u(u"a"), {u(u"Äpfel"), u(u"Birne")}, {u(u"Äpfel")}},
        FilterRow{"PlainLetterMatchesAcute", u(u"e"), {u(u"école"), u(u"Dose")}, {u(u"école")}},
        FilterRow{
            "AccentedTextMatchesPlainName", u(u"É"), {u(u"ecole"), u(u"Dose")}, {u(u"ecole")}},
        FilterRow{"AccentedSubstring",
                  u(u"fé"),
                  {u(u"Café Noir"), u(u"CAFE"), u(u"chef"), u(u"caffè")},
                  {u(u"Café Noir"), u(u"CAFE"), u(u"caffè")}},
        FilterRow{"DecomposedNameMatchesComposedText",
                  u(u"ré"),
                  {u(u"sore\u0301"), u(u"sorbet")},
                  {u(u"sore\u0301")}},
        FilterRow{"LettersBeyondLatin", u(u"ολ"), {u(u"ΚΟΛΛΑ"), u(u"Άλφα")}, {u(u"ΚΟΛΛΑ")}},
        FilterRow{"GreekWithTonos", u(u"α"), {u(u"Άλφα"), u(u"βήτα")}, {u(u"Άλφα")}},
        FilterRow{
            "CyrillicCase", u(u"ПРО"), {u(u"проект"), u(u"запрос")}, {u(u"проект"), u(u"запрос")}},
        FilterRow{"AsciiNameNeverMatchesLetterWithoutDecomposition",
                  u(u"ø"),
                  {u(u"o"), u(u"Ørsted")},
                  {u(u"Ørsted")}},
        FilterRow{"HangulSyllableIsNotAPrefixOfAnotherSyllable",
                  u(u"하"),
                  {u(u"한국"), u(u"하늘")},
                  {u(u"하늘")}},
        FilterRow{"CharacterOutsideTheBasicPlane",
                  u(u"\U0001F680x"),
                  {u(u"go \U0001F680X"), u(u"\U0001F680")},
                  {u(u"go \U0001F680X")}},
        FilterRow{"OnlyCombiningMarksMatchNothing", u(u"\u0301"), {u(u"é"), u(u"e")}, {}},
        // Duplicates and order are the candidates' own.
        FilterRow{"KeepsCandidateOrderUnsorted",
                  u(u"x"),
                  {u(u"xb"), u(u"Xa"), u(u"xc")},
                  {u(u"xb"), u(u"Xa"), u(u"xc")}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProjectSearchTest, ChoosesTheTestByTheTextsLengthInCodeUnits)
{
    EXPECT_TRUE(ProjectSearch(u(u"é")).isPrefixSearch());
    // The same letter typed decomposed is two code units long.
    EXPECT_FALSE(ProjectSearch(u(u"e\u0301")).isPrefixSearch());
    EXPECT_FALSE(ProjectSearch(u(u"ab")).isPrefixSearch());
    EXPECT_EQ(filterProjectNames({u(u"café")}, u(u"é")), QStringList());
    EXPECT_EQ(filterProjectNames({u(u"café")}, u(u"e\u0301")), QStringList{u(u"café")});
}

TEST(ProjectSearchTest, SearchKeyFoldsCaseAndDropsMarks)
{
    EXPECT_EQ(searchKey(u(u"ÄÉÎõÑ")), u(u"aeion"));
    EXPECT_EQ(searchKey(u(u"İstanbul")), u(u"istanbul"));
    EXPECT_EQ(searchKey(u(u"Ǖ")), u(u"u"));      // two marks stacked
    EXPECT_EQ(searchKey(u(u"\u212A")), u(u"k")); // the Kelvin sign is K
}

// The table that spares most names an allocation must agree with the full
// folding for every text it handles.
TEST(ProjectSearchTest, FastFoldingAgreesWithTheFullFolding)
{
    QRandomGenerator random(20240607);
    for (int round = 0; round < 4000; ++round) {
        QString name;
        const int length = 1 + random.bounded(12);
        for (int i = 0; i < length; ++i) {
            // Mostly Latin, Greek and Cyrillic with their marks, sometimes
            // characters beyond them, among them pairs that compose into one
            // character (Hangul jamo, Oriya vowel signs).
            static const char16_t* const kOthers[] = {u"\u1100\u1161", u"\u1100\u1161\u11A8",
                                                      u"\u0B47\u0B3E", u"\u0915\u093F",
                                                      u"\u4E2D",       u"\u212A"};
            const int pick = random.bounded(24);
            if (pick == 1) {
                name.append(QString::fromUtf16(kOthers[random.bounded(6)]));
                continue;
            }
            const char16_t c = pick == 0   ? char16_t(0x0300 + random.bounded(0x70))
                               : pick == 2 ? char16_t(0x1E00 + random.bounded(0x200))
                               : pick < 6  ? char16_t(0x0370 + random.bounded(0x1C0))
                                           : char16_t(0x20 + random.bounded(0x250 - 0x20));
            name.append(QChar(c));
        }
        const QString key = searchKey(name);
        for (qsizetype start = 0; start < name.size(); ++start) {
            const QString text = name.mid(start, 1 + random.bounded(3));
            const QString textKey = searchKey(text);
            const bool expected = !textKey.isEmpty() && (text.size() == 1 ? key.startsWith(textKey)
                                                                          : key.contains(textKey));
            ASSERT_EQ(ProjectSearch(text).matches(name), expected)
                << "name " << name.toStdString() << " text " << text.toStdString();
        }
    }
}

// Primary screen 1440 × 900 at the origin, a desktop panel 30 high along the bottom.
const QRectF kScreen(0, 0, 1440, 900);
const QRectF kUsable(0, 30, 1440, 870);
const QRectF kPanel(872, 780, 280, 98);

TEST(SearchLayoutTest, EmptyTextGivesTheOpeningHeightAndHidesTheList)
{
    const QRectF tall(872, 683, 280, 195);
    const SearchLayout layout = searchLayout(QString(), 0, tall, kScreen, kUsable);
    ASSERT_TRUE(layout.panelFrame.has_value());
    EXPECT_EQ(*layout.panelFrame, QRectF(872, 900 - 98 - 22, 280, 98));
    EXPECT_FALSE(layout.listVisible);
}

TEST(SearchLayoutTest, ThreeMatches)
{
    const SearchLayout layout = searchLayout(QStringLiteral("ke"), 3, kPanel, kScreen, kUsable);
    ASSERT_TRUE(layout.panelFrame.has_value());
    EXPECT_EQ(*layout.panelFrame, QRectF(872, 900 - 195 - 22, 280, 195));
    EXPECT_TRUE(layout.listVisible);
    EXPECT_EQ(layout.listArea, QRectF(2, 36, 276, 105));
    EXPECT_EQ(layout.contentHeight, 105);
}

TEST(SearchLayoutTest, OneMatch)
{
    const SearchLayout layout = searchLayout(QStringLiteral("k"), 1, kPanel, kScreen, kUsable);
    EXPECT_EQ(layout.panelFrame->height(), 125);
    EXPECT_EQ(layout.listArea, QRectF(2, 36, 276, 35));
}

TEST(SearchLayoutTest, NoMatchKeepsThePanelFrameAndHidesTheList)
{
    const SearchLayout layout = searchLayout(QStringLiteral("qq"), 0, kPanel, kScreen, kUsable);
    EXPECT_FALSE(layout.panelFrame.has_value());
    EXPECT_FALSE(layout.listVisible);
}

TEST(SearchLayoutTest, TheScreensOriginIsAdded)
{
    const QRectF screen(0, 100, 1440, 900);
    const SearchLayout layout = searchLayout(QStringLiteral("ke"), 3, kPanel, screen, screen);
    EXPECT_EQ(layout.panelFrame->y(), 100 + 900 - 195 - 22);
}

TEST(SearchLayoutTest, ThePanelThatJustFitsIsNotCapped)
{
    // 22 rows: 22 × 35 + 90 = 860; the panel ends at 900 − 22 − 860 = 18, below 30.
    // 21 rows: 825, ending at 53.
    const SearchLayout fits = searchLayout(QStringLiteral("ke"), 21, kPanel, kScreen, kUsable);
    EXPECT_EQ(*fits.panelFrame, QRectF(872, 53, 280, 825));
    EXPECT_EQ(fits.listArea, QRectF(2, 36, 276, 735));
    EXPECT_EQ(fits.contentHeight, fits.listArea.height());
}

TEST(SearchLayoutTest, ManyMatchesEndAtTheBottomOfTheUsableAreaAndScroll)
{
    for (const qsizetype n : {22, 100, 100000}) {
        const SearchLayout layout = searchLayout(QStringLiteral("ke"), n, kPanel, kScreen, kUsable);
        ASSERT_TRUE(layout.panelFrame.has_value());
        EXPECT_EQ(*layout.panelFrame, QRectF(872, 30, 280, 900 - 22 - 30)) << n;
        EXPECT_EQ(layout.listArea, QRectF(2, 36, 276, 848 - 90)) << n;
        EXPECT_EQ(layout.contentHeight, double(n) * 35) << n;
    }
}

TEST(SearchLayoutTest, WithoutAUsableAreaTheScreenBounds)
{
    const SearchLayout layout = searchLayout(QStringLiteral("ke"), 50, kPanel, kScreen, QRectF());
    EXPECT_EQ(*layout.panelFrame, QRectF(872, 0, 280, 878));
}

TEST(SearchLayoutTest, ACappedPanelStillShowsOneRow)
{
    const QRectF tiny(0, 0, 800, 100);
    const SearchLayout layout = searchLayout(QStringLiteral("ke"), 5, kPanel, tiny, tiny);
    EXPECT_EQ(layout.panelFrame->height(), 125);
    EXPECT_EQ(layout.listArea, QRectF(2, 36, 276, 35));
}

// A panel standing on a bar 44 high along the bottom: it keeps its bottom edge
// and grows upwards, never beyond the top of the usable area.
struct FromBottomRow {
    const char* name;
    QString text;
    qsizetype matches;
    QRectF frame;
    QRectF listArea;
};

class SearchFromBottomTest : public ::testing::TestWithParam<FromBottomRow> {};

TEST_P(SearchFromBottomTest, GrowsUpwardsAndStaysOnTheScreen)
{
    const FromBottomRow& row = GetParam();
    const QRectF usable(0, 44, 1440, 834);
    const SearchLayout layout =
        searchLayout(row.text, row.matches, QRectF(160, 44, 280, 98), kScreen, usable, {true, 44});
    ASSERT_TRUE(layout.panelFrame.has_value());
    EXPECT_EQ(*layout.panelFrame, row.frame);
    EXPECT_EQ(layout.listArea, row.listArea);
    EXPECT_LE(layout.panelFrame->y() + layout.panelFrame->height(), 878);
}

// A bar thinner than kTopGap (trayer's 22 pixels at scale factor 2 are 11
// points): the panel keeps touching it.
TEST(SearchLayoutTest, ThePanelKeepsTheTopItWasOpenedWith)
{
    const SearchLayout layout = searchLayout(QStringLiteral("ke"), 3, QRectF(872, 791, 280, 98),
                                             kScreen, kUsable, {false, 889});
    EXPECT_EQ(*layout.panelFrame, QRectF(872, 889 - 195, 280, 195));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SearchFromBottomTest,
    ::testing::Values(FromBottomRow{"EmptyTextOpeningHeight", QString(), 0,
                                    QRectF(160, 44, 280, 98), QRectF()},
                      // The list starts below the search field, the arrow being at the bottom.
                      FromBottomRow{"FourMatches", QStringLiteral("alp"), 4,
                                    QRectF(160, 44, 280, 230), QRectF(2, 44, 276, 140)},
                      // 30 rows would be 1140 high: capped at 878 - 44, the list scrolls.
                      FromBottomRow{"ManyMatchesEndAtTheUsableTop", QStringLiteral("a"), 30,
                                    QRectF(160, 44, 280, 834), QRectF(2, 44, 276, 744)}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zarvo
