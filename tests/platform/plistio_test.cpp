#include "platform/atomicfile.h"
#include "platform/binaryplist.h"
#include "platform/filestamp.h"
#include "platform/plistio.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

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

TEST(PlistIo, DatesRoundTripToTheSecond)
{
    const QDateTime when = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    const auto read = plist::parse(plist::toBinary(QVariantMap{{QStringLiteral("d"), when}}));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->toMap().value(QStringLiteral("d")).toDateTime(), when);
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

TEST(PlistIo, KeysWithEmbeddedNulAreKept)
{
    // A key "a\0b" must neither crash the reader nor be cut short.
    const QByteArray objects("\xD1\x01\x02\x53\x61\x00\x62\x09", 8);
    const auto read = plist::readBinary(binaryList(objects, {8, 11, 15}, 0));
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(read->toMap().contains(QString::fromLatin1("a\0b", 3)));
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
