#include "platform/atomicfile.h"
#include "platform/binaryplist.h"
#include "platform/filestamp.h"
#include "platform/plistio.h"
#include "support/hostileplists.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

namespace zarvo {
namespace {

QVariantMap sampleTree()
{
    return {{QStringLiteral("string"), QStringLiteral("make serve")},
            {QStringLiteral("unicode"), QStringLiteral("Ärger é 日本 🚀")},
            {QStringLiteral("empty"), QString()},
            {QStringLiteral("true"), true},
            {QStringLiteral("false"), false},
            {QStringLiteral("small"), qint64(7)},
            {QStringLiteral("large"), qint64(1) << 40},
            {QStringLiteral("negative"), qint64(-1)},
            {QStringLiteral("real"), 1.5},
            {QStringLiteral("data"), QByteArray("\x00\x01\xff", 3)},
            {QStringLiteral("uid"), QVariant::fromValue(PlistUid{3})},
            {QStringLiteral("list"), QVariantList{1, QStringLiteral("two"), QVariantList{}}},
            {QStringLiteral("nested"), QVariantMap{{QStringLiteral("k"), QVariantMap{}}}}};
}

TEST(PlistIo, BinaryAndXmlRoundTripEveryValueType)
{
    const QVariantMap tree = sampleTree();
    for (const QByteArray& bytes : {plist::toBinary(tree), plist::toXml(tree)}) {
        const auto read = plist::parse(bytes);
        ASSERT_TRUE(read.has_value());
        const QVariantMap map = read->toMap();
        ASSERT_EQ(map.size(), tree.size());
        for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
            if (it.key() == QLatin1String("uid") && bytes.startsWith("<?xml")) {
                continue; // XML has no UID type
            }
            EXPECT_EQ(map.value(it.key()), it.value()) << it.key().toStdString();
        }
    }
}

// Hand-made binary lists: header, objects, offset table, trailer.
QByteArray binaryList(const QByteArray& objects, const QList<int>& offsets, int top)
{
    QByteArray bytes("bplist00");
    bytes += objects;
    const int tableOffset = int(bytes.size());
    for (int offset : offsets) {
        bytes += char(offset);
    }
    QByteArray trailer(32, '\0');
    trailer[6] = 1; // offset size
    trailer[7] = 1; // reference size
    trailer[15] = char(offsets.size());
    trailer[23] = char(top);
    trailer[31] = char(tableOffset);
    return bytes + trailer;
}

// What a rewrite reads back, in both forms and by both readers of each.
std::vector<std::pair<const char*, QVariant>> rewrites(const QVariant& value)
{
    const QVariantMap tree{{QStringLiteral("v"), value}};
    std::vector<std::pair<const char*, QVariant>> read;
    for (const auto& [form, bytes] :
         {std::pair{"xml", plist::toXml(tree)}, std::pair{"binary", plist::toBinary(tree)}}) {
        const auto general = plist::parseGeneral(bytes);
        const auto either = plist::parse(bytes);
        read.emplace_back(form, general ? general->toMap().value(QStringLiteral("v")) : QVariant());
        read.emplace_back(form, either ? either->toMap().value(QStringLiteral("v")) : QVariant());
    }
    return read;
}

TEST(PlistIo, DatesOfEveryYearSurviveARewriteToTheSecond)
{
    const char* const dates[] = {
        "0001-01-01T00:00:00Z", "0100-02-28T12:34:56Z", "1000-06-30T23:59:59Z",
        "1900-01-01T00:00:00Z", "1932-12-13T20:45:51Z", "1933-01-01T00:00:00Z",
        "2000-12-31T23:59:59Z", "2001-01-01T00:00:00Z", "2069-12-31T23:59:59Z",
        "2070-01-01T00:00:00Z", "2106-02-07T06:28:16Z", "9999-12-31T23:59:59Z"};
    for (const char* text : dates) {
        const QDateTime when = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
        ASSERT_TRUE(when.isValid()) << text;
        for (const auto& [form, read] : rewrites(when)) {
            EXPECT_EQ(read.toDateTime(), when) << text << " as " << form;
        }
        // Written as ISO 8601 has it, which every reader knows.
        EXPECT_TRUE(plist::toXml(QVariantMap{{QStringLiteral("d"), when}})
                        .contains(QByteArray("<date>") + text + "</date>"))
            << text;
    }
    // Dates no XML writer writes back as they were are not read.
    const auto binaryDate = [](double seconds) {
        quint64 bits = 0;
        std::memcpy(&bits, &seconds, sizeof bits);
        QByteArray object("\xA1\x01\x33", 3);
        for (int shift = 56; shift >= 0; shift -= 8) {
            object += char((bits >> shift) & 0xFF);
        }
        return binaryList(object, {8, 10}, 0);
    };
    const std::pair<double, bool> seconds[] = {{-63113904000.0, true},
                                               {-63113904000.5, false},
                                               {252423993599.0, true},
                                               {252423993600.0, false},
                                               {-1e300, false}};
    for (const auto& [since2001, reads] : seconds) {
        EXPECT_EQ(plist::parse(binaryDate(since2001)).has_value(), reads) << since2001;
    }
    // A date between two seconds keeps the earlier one, before 2001 as well.
    const QDateTime between = QDateTime::fromMSecsSinceEpoch(-1500, Qt::UTC);
    for (const auto& [form, read] : rewrites(between)) {
        EXPECT_EQ(read.toDateTime(), between.addMSecs(-500)) << form;
    }
}

TEST(PlistIo, IntegersOfTheWhole64BitRangesSurviveARewrite)
{
    const QVariant integers[] = {qint64(0),
                                 qint64(-1),
                                 std::numeric_limits<qint64>::min(),
                                 std::numeric_limits<qint64>::max(),
                                 quint64(std::numeric_limits<qint64>::max()) + 1,
                                 std::numeric_limits<quint64>::max()};
    for (const QVariant& integer : integers) {
        for (const auto& [form, read] : rewrites(integer)) {
            EXPECT_EQ(read, integer) << integer.toString().toStdString() << " as " << form;
            EXPECT_EQ(read.toString(), integer.toString()) << form;
        }
    }
    // As other writers put them; beyond 64 bits nothing could be kept.
    const std::pair<const char*, const char*> written[] = {
        {"18446744073709551615", "18446744073709551615"},
        {"-9223372036854775808", "-9223372036854775808"},
        {"0x10", "16"},
        {"18446744073709551616", nullptr},
        {"99999999999999999999", nullptr},
        {"-9223372036854775809", nullptr},
        {"-18446744073709551615", nullptr},
        {"0x10000000000000000", nullptr},
    };
    for (const auto& [text, reads] : written) {
        const auto read = plist::parse(QByteArray("<plist><dict><key>n</key><integer>") + text +
                                       "</integer></dict></plist>");
        EXPECT_EQ(read.has_value(), reads != nullptr) << text;
        if (read && reads) {
            EXPECT_EQ(read->toMap().value(QStringLiteral("n")).toString(),
                      QString::fromLatin1(reads))
                << text;
        }
    }
}

TEST(PlistIo, EveryTruncationOfABinaryListIsRefused)
{
    const QByteArray bytes = plist::toBinary(sampleTree());
    for (qsizetype n = 0; n < bytes.size(); ++n) {
        EXPECT_FALSE(plist::parse(bytes.left(n)).has_value()) << "length " << n;
    }
}

TEST(PlistIo, RandomDamageNeverCrashes)
{
    const QByteArray original = plist::toBinary(sampleTree());
    QRandomGenerator random(42);
    for (int round = 0; round < 5000; ++round) {
        QByteArray bytes = original;
        for (int flips = random.bounded(1, 6); flips > 0; --flips) {
            bytes[random.bounded(qsizetype(8), bytes.size())] = char(random.bounded(256));
        }
        plist::parse(bytes); // must return, whatever it returns
    }
}

TEST(PlistIo, ReferenceCyclesAreRefused)
{
    // Object 0: an array holding itself.
    EXPECT_FALSE(plist::readBinary(binaryList(QByteArray("\xA1\x00", 2), {8}, 0)).has_value());
}

TEST(PlistIo, ExponentialSharingIsRefused)
{
    // Object i is an array of two references to object i+1: 2^40 leaves.
    constexpr int kLevels = 40;
    QByteArray objects;
    QList<int> offsets;
    for (int i = 0; i < kLevels; ++i) {
        offsets << 8 + int(objects.size());
        objects += '\xA2';
        objects += char(i + 1);
        objects += char(i + 1);
    }
    offsets << 8 + int(objects.size());
    objects += '\x08';
    EXPECT_FALSE(plist::readBinary(binaryList(objects, offsets, 0)).has_value());
}

TEST(PlistIo, DictionaryKeysMustBeStrings)
{
    // Object 0: a dictionary whose key is object 1 (the integer 5), value object 2.
    const QByteArray objects("\xD1\x01\x02\x10\x05\x09", 6);
    EXPECT_FALSE(plist::readBinary(binaryList(objects, {8, 11, 13}, 0)).has_value());
    // The same with a string key "a" reads fine.
    const QByteArray good("\xD1\x01\x02\x51\x61\x09", 6);
    const auto read = plist::readBinary(binaryList(good, {8, 11, 13}, 0));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->toMap().value(QStringLiteral("a")), QVariant(true));
}

// A key "a\0evil" would be written back as "a", and take the place of the
// entry "a": no key or string holding NUL is read at all.
TEST(PlistIo, KeysAndStringsHoldingNulAreNotRead)
{
    struct Row {
        const char* name;
        QByteArray bytes;
    };
    // Objects: a dictionary of two entries, "a" and the key under test, both true.
    const auto twoKeys = [](const QByteArray& key) {
        const QByteArray objects = QByteArray("\xD2\x01\x02\x03\x03\x51\x61", 7) + key + '\x09';
        return binaryList(objects, {8, 13, 15, 15 + int(key.size())}, 0);
    };
    const Row rows[] = {
        {"ascii key", twoKeys(QByteArray("\x56"
                                         "a\0evil",
                                         7))},
        {"utf-16 key", twoKeys(QByteArray("\x63\x00\x61\x00\x00\x00\x62", 7))},
        {"ascii value",
         binaryList(QByteArray("\xD1\x01\x02\x51\x61\x53\x61\x00\x62", 9), {8, 11, 13}, 0)},
        {"xml key", QByteArray("<plist><dict><key>a") + '\0' +
                        "evil</key><true/><key>a</key><true/></dict></plist>"},
        {"xml value",
         QByteArray("<plist><dict><key>a</key><string>x") + '\0' + "y</string></dict></plist>"},
        {"xml reference", "<plist><dict><key>a&#0;evil</key><true/></dict></plist>"},
    };
    for (const Row& row : rows) {
        EXPECT_FALSE(plist::parse(row.bytes).has_value()) << row.name;
        EXPECT_FALSE(plist::parseGeneral(row.bytes).has_value()) << row.name;
    }
    // The same without the NUL reads as two keys.
    const auto good = plist::parse(twoKeys(QByteArray("\x56"
                                                      "a-evil",
                                                      7)));
    ASSERT_TRUE(good.has_value());
    EXPECT_EQ(good->toMap().size(), 2);
}

TEST(PlistIo, NestingDeeperThanAnyStoreIsNotAPropertyList)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("deep.plist"));
    struct Row {
        const char* name;
        QByteArray bytes;
        bool reads;
    };
    constexpr int kDeepest = plist::kMaxNestingDepth - 1; // arrays under the root dictionary
    const Row rows[] = {
        {"plain xml at the limit", test::nestedXml(kDeepest), true},
        {"plain xml past it", test::nestedXml(kDeepest + 1), false},
        {"plain xml 200,000 deep", test::nestedXml(200'000), false},
        {"xml with comments at the limit", test::nestedXml(kDeepest, "<!-- -->"), true},
        {"xml with comments past it", test::nestedXml(kDeepest + 1, "<!-- -->"), false},
        {"xml with comments 200,000 deep", test::nestedXml(200'000, "<!-- -->"), false},
        // Closing tags the parser skips must not be counted.
        {"closing tags in comments", test::nestedXml(100'000, "<!--</array>-->"), false},
        {"closing tags in CDATA", test::nestedXml(100'000, "<string><![CDATA[</array>]]></string>"),
         false},
        {"closing tags in a processing instruction", test::nestedXml(100'000, "<?x </array>?>"),
         false},
        {"binary at the limit", test::nestedBinary(kDeepest), true},
        {"binary past it", test::nestedBinary(kDeepest + 1), false},
        {"binary 200,000 deep", test::nestedBinary(200'000), false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(plist::parse(row.bytes).has_value(), row.reads) << row.name;
        ASSERT_TRUE(writeFileAtomically(path, row.bytes).ok());
        plist::ReadReport report;
        const auto store = plist::readDictionaryFile(path, Writers::anyone, &report);
        EXPECT_EQ(store.has_value(), row.reads) << row.name;
        if (!row.reads) {
            EXPECT_EQ(report.outcome, plist::ReadReport::Outcome::notPropertyList) << row.name;
            EXPECT_EQ(report.reason, path + QStringLiteral(" is not a property list")) << row.name;
            EXPECT_FALSE(plist::readDictionaryKeys(path).has_value()) << row.name;
            EXPECT_FALSE(plist::readDictionaryValue(path, QStringLiteral("k")).has_value())
                << row.name;
        } else if (store) {
            // What reads is written back and reads again.
            EXPECT_EQ(plist::parse(plist::toXml(*store)), QVariant(*store)) << row.name;
        }
    }
}

// Binary lists may refer to one object many times; each reference builds it
// once more, for the reader and for everything that walks what it built.
TEST(PlistIo, AmplifiedBinaryListsAreNotAPropertyList)
{
    struct Row {
        const char* name;
        QByteArray bytes;
        bool reads;
    };
    const Row rows[] = {
        {"a thousand copies of a page", test::amplifiedBinary(1, 1000), true},
        // From a file of 400 kB, 800 MB of strings.
        {"a hundred thousand copies of a page", test::amplifiedBinary(1, 100'000), false},
        // Few visits, building much: 64 references to 4,096 references.
        {"references to references to a page", test::amplifiedBinary(64, 4096), false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(plist::parse(row.bytes).has_value(), row.reads) << row.name;
    }
}

} // namespace
} // namespace zarvo

namespace zarvo {
namespace {

// The reader keeps the last parse of a settled file; any change of the file
// after that, however it is made, must be seen by the next read.
class DictionaryFileCacheTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    void writeInPlace(const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite)); // no truncation: same inode, same size
        file.write(bytes);
    }

    void waitUntilSettled()
    {
        const QDeadlineTimer deadline(5000);
        while (!isSettled(*fileStamp(path)) && !deadline.hasExpired()) {
            QThread::msleep(50);
        }
        ASSERT_TRUE(isSettled(*fileStamp(path)));
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("store.plist"));
};

QByteArray storeWith(const char* value)
{
    return plist::toXml(QVariantMap{{QStringLiteral("key"), QString::fromLatin1(value)}});
}

TEST_F(DictionaryFileCacheTest, SameSizeRewriteInPlaceIsSeen)
{
    writeInPlace(storeWith("old"));
    waitUntilSettled();
    ASSERT_EQ(plist::readDictionaryFile(path)->value(QStringLiteral("key")), QStringLiteral("old"));
    ASSERT_EQ(plist::readDictionaryFile(path)->value(QStringLiteral("key")), QStringLiteral("old"));

    const QByteArray replacement = storeWith("new");
    ASSERT_EQ(replacement.size(), storeWith("old").size());
    writeInPlace(replacement);
    EXPECT_EQ(plist::readDictionaryFile(path)->value(QStringLiteral("key")), QStringLiteral("new"));

    // And again once the new version has settled and is cached in turn.
    waitUntilSettled();
    ASSERT_EQ(plist::readDictionaryFile(path)->value(QStringLiteral("key")), QStringLiteral("new"));
    writeInPlace(storeWith("old"));
    EXPECT_EQ(plist::readDictionaryFile(path)->value(QStringLiteral("key")), QStringLiteral("old"));
}

// The names and single entries are kept apart from the whole tree; they
// must be as fresh as it is.
TEST_F(DictionaryFileCacheTest, SameSizeRewriteInPlaceIsSeenByTheNamesAndTheEntries)
{
    const auto store = [](const char* key) {
        return plist::toXml(QVariantMap{{QString::fromLatin1(key), QStringLiteral("v")}});
    };
    writeInPlace(store("old"));
    waitUntilSettled();
    ASSERT_EQ(plist::readDictionaryKeys(path), QStringList{QStringLiteral("old")});
    ASSERT_EQ(plist::readDictionaryKeys(path), QStringList{QStringLiteral("old")});
    ASSERT_TRUE(plist::readDictionaryFile(path).has_value()); // the tree kept beside the names

    writeInPlace(store("new"));
    EXPECT_EQ(plist::readDictionaryKeys(path), QStringList{QStringLiteral("new")});
    EXPECT_EQ(plist::readDictionaryValue(path, QStringLiteral("new")), QStringLiteral("v"));
    EXPECT_FALSE(plist::readDictionaryValue(path, QStringLiteral("old")).has_value());

    waitUntilSettled();
    ASSERT_EQ(plist::readDictionaryKeys(path), QStringList{QStringLiteral("new")});
    ASSERT_TRUE(plist::readDictionaryFile(path).has_value());
    writeInPlace(store("old"));
    EXPECT_EQ(plist::readDictionaryValue(path, QStringLiteral("old")), QStringLiteral("v"));
    EXPECT_EQ(plist::readDictionaryKeys(path), QStringList{QStringLiteral("old")});
}

// Once the names of a settled file are kept, an entry is read from where its
// value lies; the file's stamp must still be checked first.
TEST_F(DictionaryFileCacheTest, EntriesReadFromTheirKeptPlaceAreFresh)
{
    const auto store = [](const char* first) {
        return plist::toXml(
            QVariantMap{{QString::fromLatin1(first), QStringLiteral("one")},
                        {QStringLiteral("c"), QVariantMap{{QStringLiteral("k"), qint64(2)}}}});
    };
    writeInPlace(store("a"));
    waitUntilSettled();
    ASSERT_EQ(plist::readDictionaryKeys(path),
              (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    const QVariantMap whole = plist::parseGeneral(store("a"))->toMap();
    EXPECT_EQ(plist::readDictionaryValue(path, QStringLiteral("a")),
              whole.value(QStringLiteral("a")));
    EXPECT_EQ(plist::readDictionaryValue(path, QStringLiteral("c")),
              whole.value(QStringLiteral("c")));
    EXPECT_FALSE(plist::readDictionaryValue(path, QStringLiteral("b")).has_value());

    // "b" takes the place of "a": the same bytes at the same places but one.
    writeInPlace(store("b"));
    EXPECT_FALSE(plist::readDictionaryValue(path, QStringLiteral("a")).has_value());
    EXPECT_EQ(plist::readDictionaryValue(path, QStringLiteral("b")), QStringLiteral("one"));
}

// The names and an entry read alone are those of the whole tree, also for
// files the fast reader leaves to the general parser.
TEST_F(DictionaryFileCacheTest, NamesAndEntriesAgreeWithTheWholeTree)
{
    const QVariantMap tree{{QStringLiteral("b"), QVariantMap{{QStringLiteral("x"), 1.5}}},
                           {QStringLiteral("a"), QStringLiteral("text")}};
    for (const QByteArray& bytes : {plist::toXml(tree), plist::toBinary(tree)}) {
        ASSERT_TRUE(writeFileAtomically(path, bytes).ok());
        EXPECT_EQ(plist::readDictionaryKeys(path), tree.keys());
        for (const QString& key : tree.keys()) {
            EXPECT_EQ(plist::readDictionaryValue(path, key), tree.value(key));
        }
        EXPECT_FALSE(plist::readDictionaryValue(path, QStringLiteral("c")).has_value());
    }
    ASSERT_TRUE(writeFileAtomically(path, "not a property list").ok());
    EXPECT_FALSE(plist::readDictionaryKeys(path).has_value());
    EXPECT_FALSE(plist::readDictionaryValue(path, QStringLiteral("a")).has_value());
}

// Large files are read into memory of their own, and a binary one of this
// size has offsets of three bytes; they read the same as small ones.
TEST_F(DictionaryFileCacheTest, LargeFilesReadTheSame)
{
    QVariantMap tree;
    for (int i = 0; i < 4000; ++i) {
        tree.insert(
            QStringLiteral("project %1").arg(i),
            QVariantMap{{QStringLiteral("filePath"),
                         QStringLiteral("/home/someone/src/a/rather/long/path/%1").arg(i)}});
    }
    for (const QByteArray& bytes : {plist::toXml(tree), plist::toBinary(tree)}) {
        ASSERT_GT(bytes.size(), 256 * 1024);
        ASSERT_TRUE(writeFileAtomically(path, bytes).ok());
        EXPECT_EQ(plist::readDictionaryFile(path), tree);
        EXPECT_EQ(plist::readDictionaryKeys(path), tree.keys());
        EXPECT_EQ(plist::readDictionaryValue(path, QStringLiteral("project 3999")),
                  tree.value(QStringLiteral("project 3999")));
    }
}

TEST_F(DictionaryFileCacheTest, ReplacedOrRemovedFileIsSeen)
{
    writeInPlace(storeWith("old"));
    waitUntilSettled();
    ASSERT_TRUE(plist::readDictionaryFile(path).has_value());

    ASSERT_TRUE(writeFileAtomically(path, storeWith("new")).ok());
    EXPECT_EQ(plist::readDictionaryFile(path)->value(QStringLiteral("key")), QStringLiteral("new"));

    QFile::remove(path);
    EXPECT_FALSE(plist::readDictionaryFile(path).has_value());
}

} // namespace
} // namespace zarvo
