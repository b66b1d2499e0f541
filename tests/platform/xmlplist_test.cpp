#include "platform/plistio.h"
#include "platform/xmlplist.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

// What the fast reader answers must be what the general parser reads.
void expectSameAsGeneral(const QByteArray& bytes)
{
    const auto general = plist::parseGeneral(bytes);
    const auto fast = plist::readSimpleXml(bytes);
    ASSERT_TRUE(fast.has_value()) << "gave up on " << bytes.constData();
    ASSERT_TRUE(general.has_value());
    EXPECT_EQ(*fast, *general) << bytes.constData();
    if (general->metaType().id() == QMetaType::QVariantMap) {
        EXPECT_EQ(plist::readSimpleXmlKeys(bytes), general->toMap().keys()) << bytes.constData();
    }
}

QByteArray document(const char* body)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                      "<plist version=\"1.0\">\n") +
           body + "\n</plist>\n";
}

struct Row {
    const char* name;
    const char* body;
};

class ReadByBoth : public ::testing::TestWithParam<Row> {};

TEST_P(ReadByBoth, FastReaderAgreesWithTheGeneralParser)
{
    expectSameAsGeneral(document(GetParam().body));
}

INSTANTIATE_TEST_SUITE_P(
    XmlPlist, ReadByBoth,
    ::testing::Values(
        Row{"store", "<dict><key>api</key><dict><key>filePath</key><string>/src/api</string>"
                     "<key>doPull</key><string>1</string></dict></dict>"},
        Row{"entities", "<dict><key>a &amp; b &lt;c&gt;</key><string>&quot;x&apos;</string>"
                        "</dict>"},
        Row{"spaces_kept", "<dict><key> a </key><string>\tb\n c </string></dict>"},
        Row{"unicode", "<dict><key>Über café 日本 🚀</key><string>é</string></dict>"},
        Row{"raw_greater_than", "<dict><key>a>b</key><string>c > d</string></dict>"},
        Row{"empty_forms", "<dict><key>s</key><string/><key>t</key><string></string>"
                           "<key>d</key><dict/><key>a</key><array/><key></key><dict></dict>"
                           "</dict>"},
        Row{"booleans_integers", "<dict><key>t</key><true/><key>f</key><false/>"
                                 "<key>z</key><integer>0</integer><key>n</key>"
                                 "<integer>-42</integer><key>big</key>"
                                 "<integer>123456789012345678</integer></dict>"},
        Row{"arrays", "<array><string>x</string><array><dict/></array><integer>1</integer>"
                      "</array>"},
        Row{"string_root", "<string>alone</string>"},
        Row{"keys_out_of_order", "<dict><key>b</key><string>2</string><key>a</key>"
                                 "<string>1</string><key>c</key><string>3</string></dict>"}),
    [](const auto& info) { return std::string(info.param.name); });

// Outside the subset the fast reader answers nothing, and parse() gives what
// the general parser gives, whether that is a tree or nothing.
class LeftToTheGeneralParser : public ::testing::TestWithParam<Row> {};

TEST_P(LeftToTheGeneralParser, FastReaderGivesUp)
{
    const QByteArray bytes = QByteArray(GetParam().body).contains("<plist")
                                 ? QByteArray(GetParam().body)
                                 : document(GetParam().body);
    EXPECT_FALSE(plist::readSimpleXml(bytes).has_value());
    const auto general = plist::parseGeneral(bytes);
    EXPECT_EQ(plist::parse(bytes), general);
    // Reading less, the other two may still answer, but only what the
    // general parser reads: a repeated key, say, is read once.
    const QVariantMap whole = general ? general->toMap() : QVariantMap();
    if (const auto keys = plist::readSimpleXmlKeys(bytes)) {
        EXPECT_EQ(*keys, whole.keys());
    }
    if (const auto value = plist::readSimpleXmlValue(bytes, QStringLiteral("a"))) {
        ASSERT_TRUE(value->has_value());
        EXPECT_EQ(**value, whole.value(QStringLiteral("a")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    XmlPlist, LeftToTheGeneralParser,
    ::testing::Values(
        Row{"comment", "<dict><key>a</key><string>b</string><!-- c --></dict>"},
        Row{"cdata", "<dict><key>a</key><string><![CDATA[b]]></string></dict>"},
        Row{"numeric_reference", "<dict><key>a</key><string>&#65;</string></dict>"},
        Row{"unknown_entity", "<dict><key>a</key><string>&nbsp;</string></dict>"},
        Row{"bare_ampersand", "<dict><key>a</key><string>b & c</string></dict>"},
        Row{"carriage_return", "<dict><key>a</key><string>b\r\nc</string></dict>"},
        Row{"control_character", "<dict><key>a</key><string>b\x01</string></dict>"},
        Row{"control_character_in_long_text",
            "<dict><key>a</key><string>a rather long text\x1f with more after it</string></dict>"},
        Row{"carriage_return_in_long_text",
            "<dict><key>a</key><string>first line of it\rsecond line of it</string></dict>"},
        Row{"real", "<dict><key>a</key><real>1.5</real></dict>"},
        Row{"date", "<dict><key>a</key><date>2020-01-01T00:00:00Z</date></dict>"},
        Row{"data", "<dict><key>a</key><data>AAE=</data></dict>"},
        Row{"repeated_key", "<dict><key>a</key><string>1</string><key>a</key>"
                            "<string>2</string></dict>"},
        Row{"nested_repeated_key", "<dict><key>a</key><dict><key>k</key><string>1</string>"
                                   "<key>k</key><string>2</string></dict></dict>"},
        Row{"key_without_value", "<dict><key>a</key></dict>"},
        Row{"text_between_elements", "<dict>junk<key>a</key><string>b</string></dict>"},
        Row{"space_in_tag", "<dict><key>a</key><string>b</string></dict >"},
        Row{"leading_zero", "<dict><key>a</key><integer>007</integer></dict>"},
        Row{"plus_sign", "<dict><key>a</key><integer>+3</integer></dict>"},
        Row{"minus_zero", "<dict><key>a</key><integer>-0</integer></dict>"},
        Row{"not_a_number", "<dict><key>a</key><integer>abc</integer></dict>"},
        Row{"too_many_digits", "<dict><key>a</key><integer>9999999999999999999</integer></dict>"},
        Row{"mismatched_tag", "<dict><key>a</key><string>b</strin></dict>"},
        Row{"unterminated", "<dict><key>a</key><string>b"},
        Row{"no_plist_root", "<dict><key>a</key><string>b</string></dict>\n<plist>"},
        Row{"other_version", "<plist version=\"2.0\"><dict/></plist>"},
        Row{"unbalanced_doctype",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUB-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n<dict/>\n</plist>\n"},
        Row{"other_declaration", "<?xml version=\"1.1\"?><plist><dict/></plist>"},
        Row{"text_after_the_end", "<plist><dict/></plist>trailing"},
        Row{"second_root", "<plist><dict/><dict/></plist>"},
        Row{"deep_nesting",
            "<array><array><array><array><array><array><array><array><array><array><array>"
            "<array><array><array><array><array><array><array><array><array><array><array>"
            "<array><array><array><array><array><array><array><array><array><array><array>"
            "<array/>"
            "</array></array></array></array></array></array></array></array></array></array>"
            "</array></array></array></array></array></array></array></array></array></array>"
            "</array></array></array></array></array></array></array></array></array></array>"
            "</array></array></array>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XmlPlist, KeysOfANonDictionaryRootAreNone)
{
    EXPECT_FALSE(plist::readSimpleXmlKeys(document("<array/>")).has_value());
    EXPECT_FALSE(plist::readSimpleXmlValue(document("<array/>"), QStringLiteral("a")));
    EXPECT_EQ(plist::readSimpleXmlKeys(document("<dict/>")), QStringList());
}

TEST(XmlPlist, ValueOfOneKeyIsBuiltAlone)
{
    const QByteArray bytes =
        document("<dict><key>a</key><dict><key>x</key><string>1</string></dict>"
                 "<key>b &amp; c</key><array><true/></array></dict>");
    const QVariantMap whole = plist::parseGeneral(bytes)->toMap();
    for (const QString& key : {QStringLiteral("a"), QStringLiteral("b & c")}) {
        const auto found = plist::readSimpleXmlValue(bytes, key);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(*found, whole.value(key));
    }
    const auto missing = plist::readSimpleXmlValue(bytes, QStringLiteral("b"));
    ASSERT_TRUE(missing.has_value()) << "a readable dictionary without the key";
    EXPECT_FALSE(missing->has_value());
}

// Random trees of the kinds the application writes, with texts full of the
// characters XML escapes, written by the general writer and read by both.
QString randomText(QRandomGenerator& random)
{
    static const QString alphabet = QString::fromUtf8("ab Z09&<>\"'\t\n-_/.éÄ日🚀");
    const auto pieces = alphabet.toUcs4();
    QString text;
    const int length = int(random.bounded(12));
    for (int i = 0; i < length; ++i) {
        const char32_t c = pieces[qsizetype(random.bounded(int(pieces.size())))];
        text += QString::fromUcs4(&c, 1);
    }
    return text;
}

QVariant randomTree(QRandomGenerator& random, int depth)
{
    switch (depth > 3 ? random.bounded(3) : random.bounded(6)) {
    case 0:
        return randomText(random);
    case 1:
        return random.bounded(2) == 1;
    case 2:
        return qint64(random.bounded(2000)) - 1000;
    case 3: {
        QVariantList list;
        for (int i = int(random.bounded(4)); i > 0; --i) {
            list.append(randomTree(random, depth + 1));
        }
        return list;
    }
    default: {
        QVariantMap map;
        for (int i = int(random.bounded(5)); i > 0; --i) {
            map.insert(randomText(random), randomTree(random, depth + 1));
        }
        return map;
    }
    }
}

TEST(XmlPlist, SpansHoldEachKeysValue)
{
    const QByteArray bytes =
        document("<dict>\n\t<key>a</key>\n\t<string>x &amp; y</string>\n\t<key>b</key>"
                 "<dict><key>k</key><array><true/></array></dict><key>c</key><dict/></dict>");
    QList<plist::ValueSpan> spans;
    const auto keys = plist::readSimpleXmlKeys(bytes, &spans);
    ASSERT_TRUE(keys.has_value());
    ASSERT_EQ(spans.size(), keys->size());
    const QVariantMap whole = plist::parseGeneral(bytes)->toMap();
    for (qsizetype i = 0; i < keys->size(); ++i) {
        const QByteArrayView span =
            QByteArrayView(bytes).sliced(spans[i].begin, spans[i].end - spans[i].begin);
        EXPECT_EQ(plist::readSimpleXmlFragment(span), whole.value(keys->at(i)))
            << span.toByteArray().constData();
    }
    // Keys out of order: the keys are sorted, and no spans are given.
    EXPECT_TRUE(plist::readSimpleXmlKeys(document("<dict><key>b</key><true/><key>a</key><true/>"
                                                  "</dict>"),
                                         &spans)
                    .has_value());
    EXPECT_TRUE(spans.isEmpty());
    // A span holds one value and nothing else.
    EXPECT_FALSE(plist::readSimpleXmlFragment("<true/><true/>").has_value());
    EXPECT_FALSE(plist::readSimpleXmlFragment("<string>x</string>junk").has_value());
}

TEST(XmlPlist, RandomTreesReadTheSameByBoth)
{
    QRandomGenerator random(20261208);
    for (int i = 0; i < 300; ++i) {
        QVariantMap root;
        for (int k = int(random.bounded(6)); k > 0; --k) {
            root.insert(randomText(random), randomTree(random, 1));
        }
        const QByteArray bytes = plist::toXml(root);
        expectSameAsGeneral(bytes);
        for (auto it = root.cbegin(); it != root.cend(); ++it) {
            const auto found = plist::readSimpleXmlValue(bytes, it.key());
            ASSERT_TRUE(found.has_value() && found->has_value());
            EXPECT_EQ(**found, plist::parseGeneral(bytes)->toMap().value(it.key()));
        }
    }
}

} // namespace
} // namespace zarvo
