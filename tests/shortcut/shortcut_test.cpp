#include "platform/plistio.h"
#include "shortcut/shortcut.h"
#include "shortcuttesting.h"

#include <QRandomGenerator>
#include <QVariantList>
#include <QVariantMap>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

const QString kControl = QString(QChar(0x2303));
const QString kOption = QString(QChar(0x2325));
const QString kShift = QString(QChar(0x21E7));
const QString kCommand = QString(QChar(0x2318));

class ShortcutTest : public ::testing::Test {
protected:
    test::UsKeyboard keyboard;
};

// The archive's object for a shortcut, to build unusual archives from.
QVariantMap archiveWith(const QVariantMap& object, const QString& className)
{
    QVariantMap root = object;
    root.insert(QStringLiteral("$class"), QVariant::fromValue(PlistUid{2}));
    return QVariantMap{{QStringLiteral("$archiver"), QStringLiteral("NSKeyedArchiver")},
                       {QStringLiteral("$version"), qint64(100000)},
                       {QStringLiteral("$top"),
                        QVariantMap{{QStringLiteral("root"), QVariant::fromValue(PlistUid{1})}}},
                       {QStringLiteral("$objects"),
                        QVariantList{QStringLiteral("$null"), root,
                                     QVariantMap{{QStringLiteral("$classname"), className}}}}};
}

TEST_F(ShortcutTest, DefaultShortcutDescribesItselfAsControlOptionCommandK)
{
    const Shortcut shortcut(40, 0x1C0000);
    EXPECT_EQ(shortcut.description(), kControl + kOption + kCommand + QStringLiteral("K"));
    EXPECT_EQ(shortcut.carbonKeyCode(), 40u);
    EXPECT_EQ(shortcut.carbonFlags(), 0x1900u);
}

TEST_F(ShortcutTest, ModifierFlagsKeepOnlyTheFourModifierBits)
{
    Shortcut shortcut(0, 0x10000 | 0x800000 | 0x40000 | 0x1);
    EXPECT_EQ(shortcut.modifierFlags(), 0x40000u);
    shortcut.setModifierFlags(0xFFFFFFFF);
    EXPECT_EQ(shortcut.modifierFlags(), 0x1E0000u);
    shortcut.setKeyCode(0x123456789);
    EXPECT_EQ(shortcut.keyCode(), 0x123456789u);
}

TEST_F(ShortcutTest, CarbonFlagsMapEachModifier)
{
    struct Row {
        const char* name;
        quint64 flags;
        quint32 carbon;
    } rows[] = {
        {"none", 0, 0},
        {"command", 0x100000, 0x100},
        {"shift", 0x20000, 0x200},
        {"option", 0x80000, 0x800},
        {"control", 0x40000, 0x1000},
        {"all", 0x1E0000, 0x1B00},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Shortcut(1, row.flags).carbonFlags(), row.carbon) << row.name;
    }
}

TEST_F(ShortcutTest, GlyphsComeInControlOptionShiftCommandOrder)
{
    EXPECT_EQ(Shortcut(0, 0x1E0000).modifierFlagsString(), kControl + kOption + kShift + kCommand);
    EXPECT_EQ(Shortcut(0, 0x120000).modifierFlagsString(), kShift + kCommand);
    EXPECT_EQ(Shortcut(0, 0).modifierFlagsString(), QString());
    EXPECT_EQ(Shortcut(0, 0).description(), QStringLiteral("A"));
}

TEST_F(ShortcutTest, KeyTexts)
{
    struct Row {
        const char* name;
        quint64 keyCode;
        QString text;
        QString keyEquivalent;
    } rows[] = {
        {"A key", 0, QStringLiteral("A"), QStringLiteral("a")},
        {"K key", 40, QStringLiteral("K"), QStringLiteral("k")},
        {"main minus is the layout's hyphen", 27, QStringLiteral("-"), QStringLiteral("-")},
        {"main 0", 29, QStringLiteral("0"), QStringLiteral("0")},
        {"keypad 0 shows the same text", 82, QStringLiteral("0"), QStringLiteral("0")},
        {"keypad minus is an en dash", 78, QString(QChar(0x2013)), QString(QChar(0x2013))},
        {"space bar", 49, QStringLiteral("Space"), QStringLiteral(" ")},
        {"F1", 122, QStringLiteral("F1"), QString(QChar(0xF704))},
        {"F5", 96, QStringLiteral("F5"), QString(QChar(0xF708))},
        {"F19", 80, QStringLiteral("F19"), QString(QChar(0xF716))},
        {"Return", 36, QString(QChar(0x21A9)), QString(QChar(0x21A9))},
        {"Escape", 53, QString(QChar(0x238B)), QString(QChar(0x238B))},
        {"Up arrow", 126, QString(QChar(0x2191)), QString(QChar(0x2191))},
        {"Help", 114, QStringLiteral("?"), QStringLiteral("?")},
        {"F20 has no row: the layout gives it nothing displayable", 90, QString(), QString()},
        {"a modifier key has no text", 0x37, QString(), QString()},
        {"a key code no keyboard has", 0x7F, QString(), QString()},
        {"no key", Shortcut::kNoKeyCode, QString(), QString()},
    };
    for (const Row& row : rows) {
        const Shortcut shortcut(row.keyCode, 0);
        ASSERT_TRUE(shortcut.keyCodeString().has_value()) << row.name;
        EXPECT_EQ(*shortcut.keyCodeString(), row.text) << row.name;
        ASSERT_TRUE(shortcut.keyCodeStringForKeyEquivalent().has_value()) << row.name;
        EXPECT_EQ(*shortcut.keyCodeStringForKeyEquivalent(), row.keyEquivalent) << row.name;
    }
}

TEST_F(ShortcutTest, KeyTextFollowsTheLayoutAtEveryCall)
{
    const Shortcut zKey(6, 0);
    EXPECT_EQ(zKey.keyCodeString(), QStringLiteral("Z"));
    keyboard.setLayout("de");
    EXPECT_EQ(zKey.keyCodeString(), QStringLiteral("Y"));
    // A dead key shows its spacing character instead of waiting for a letter.
    EXPECT_EQ(Shortcut(50, 0).keyCodeString(), QStringLiteral("^"));
    keyboard.setLayout("us");
    EXPECT_EQ(zKey.keyCodeString(), QStringLiteral("Z"));
}

TEST_F(ShortcutTest, NoLayoutGivesNullKeyText)
{
    keyboard.setLayout("no-such-layout-anywhere");
    const Shortcut shortcut(0, 0x100000);
    EXPECT_FALSE(shortcut.keyCodeString().has_value());
    EXPECT_FALSE(shortcut.keyCodeStringForKeyEquivalent().has_value());
    EXPECT_EQ(shortcut.description(), kCommand + QStringLiteral("(null)"));
    // Table rows need no layout.
    EXPECT_EQ(Shortcut(96, 0).keyCodeString(), QStringLiteral("F5"));
}

TEST_F(ShortcutTest, NoKeyValue)
{
    const Shortcut shortcut(Shortcut::kNoKeyCode, 0x40000);
    EXPECT_EQ(shortcut.keyCodeString(), QString());
    EXPECT_EQ(shortcut.carbonKeyCode(), 0u);
    EXPECT_EQ(shortcut.description(), kControl);
}

TEST_F(ShortcutTest, ArchiveRoundTrips)
{
    struct Row {
        const char* name;
        quint64 keyCode;
        quint64 flags;
    } rows[] = {
        {"default", 40, 0x1C0000},
        {"A without modifiers", 0, 0},
        {"no key", Shortcut::kNoKeyCode, 0x100000},
        {"large key code", 0x7FFFFFFFFFFFFFFE, 0x20000},
    };
    for (const Row& row : rows) {
        const auto back = Shortcut::shortcutWithData(Shortcut(row.keyCode, row.flags).data());
        ASSERT_TRUE(back.has_value()) << row.name;
        EXPECT_EQ(back->keyCode(), row.keyCode) << row.name;
        EXPECT_EQ(back->modifierFlags(), row.flags) << row.name;
    }
}

TEST_F(ShortcutTest, ArchiveIsABinaryKeyedArchiveWithMinusOneForNoKey)
{
    const QByteArray data = Shortcut(Shortcut::kNoKeyCode, 0x1C0000).data();
    EXPECT_TRUE(data.startsWith("bplist00"));
    const auto parsed = plist::parse(data);
    ASSERT_TRUE(parsed.has_value());
    const QVariantMap top = parsed->toMap();
    EXPECT_EQ(top.value(QStringLiteral("$archiver")).toString(), QStringLiteral("NSKeyedArchiver"));
    EXPECT_EQ(top.value(QStringLiteral("$version")).toLongLong(), 100000);
    const QVariantList objects = top.value(QStringLiteral("$objects")).toList();
    ASSERT_EQ(objects.size(), 3);
    EXPECT_EQ(objects[0].toString(), QStringLiteral("$null"));
    const auto root = top.value(QStringLiteral("$top")).toMap().value(QStringLiteral("root"));
    EXPECT_EQ(root.value<PlistUid>(), PlistUid{1});
    const QVariantMap object = objects[1].toMap();
    EXPECT_EQ(object.value(QStringLiteral("KeyCode")).toLongLong(), -1);
    EXPECT_EQ(object.value(QStringLiteral("ModifierFlags")).toLongLong(), 0x1C0000);
    const auto classRef = object.value(QStringLiteral("$class")).value<PlistUid>();
    EXPECT_EQ(objects[qsizetype(classRef.value)].toMap().value(QStringLiteral("$classname")),
              QStringLiteral("Shortcut"));
}

TEST_F(ShortcutTest, DecodingUnusualArchives)
{
    struct Row {
        const char* name;
        QVariantMap object;
        bool xml;
        std::optional<quint64> keyCode;
        quint64 flags;
    } rows[] = {
        {"missing KeyCode reads as the A key",
         {{QStringLiteral("ModifierFlags"), qint64(0x40000)}},
         false,
         0,
         0x40000},
        {"missing ModifierFlags reads as none",
         {{QStringLiteral("KeyCode"), qint64(40)}},
         false,
         40,
         0},
        {"any negative key code is no key",
         {{QStringLiteral("KeyCode"), qint64(-7)}},
         false,
         Shortcut::kNoKeyCode,
         0},
        {"flags outside the mask are dropped",
         {{QStringLiteral("KeyCode"), qint64(1)}, {QStringLiteral("ModifierFlags"), qint64(-1)}},
         false,
         1,
         0x1E0000},
        {"an XML archive with -1 reads too",
         {{QStringLiteral("KeyCode"), qint64(-1)}},
         true,
         Shortcut::kNoKeyCode,
         0},
        {"a key code that is text is no shortcut",
         {{QStringLiteral("KeyCode"), QStringLiteral("40")}},
         false,
         std::nullopt,
         0},
    };
    for (const Row& row : rows) {
        const QVariantMap archive = archiveWith(row.object, QStringLiteral("Shortcut"));
        const auto decoded =
            Shortcut::shortcutWithData(row.xml ? plist::toXml(archive) : plist::toBinary(archive));
        ASSERT_EQ(decoded.has_value(), row.keyCode.has_value()) << row.name;
        if (decoded) {
            EXPECT_EQ(decoded->keyCode(), *row.keyCode) << row.name;
            EXPECT_EQ(decoded->modifierFlags(), row.flags) << row.name;
        }
    }
}

TEST_F(ShortcutTest, DataThatIsNoShortcutArchiveReadsAsNoShortcut)
{
    const QVariantMap good =
        archiveWith({{QStringLiteral("KeyCode"), qint64(40)}}, QStringLiteral("Shortcut"));
    QVariantMap rootOutOfRange = good;
    rootOutOfRange[QStringLiteral("$top")] =
        QVariantMap{{QStringLiteral("root"), QVariant::fromValue(PlistUid{9})}};
    QVariantMap rootIsText = good;
    rootIsText[QStringLiteral("$top")] =
        QVariantMap{{QStringLiteral("root"), QVariant::fromValue(PlistUid{0})}};
    QVariantMap otherArchiver = good;
    otherArchiver[QStringLiteral("$archiver")] = QStringLiteral("SomethingElse");
    struct Row {
        const char* name;
        std::optional<QByteArray> data;
    } rows[] = {
        {"nil", std::nullopt},
        {"empty", QByteArray()},
        {"text", QByteArray("KeyCode=40")},
        {"a plist that is not an archive",
         plist::toBinary(QVariantMap{{QStringLiteral("KeyCode"), qint64(40)}})},
        {"another class", plist::toBinary(archiveWith({{QStringLiteral("KeyCode"), qint64(40)}},
                                                      QStringLiteral("NSColor")))},
        {"root out of range", plist::toBinary(rootOutOfRange)},
        {"root is the null string", plist::toBinary(rootIsText)},
        {"another archiver", plist::toBinary(otherArchiver)},
        {"empty root", Shortcut::archivedDataWithEmptyRoot()},
    };
    for (const Row& row : rows) {
        EXPECT_FALSE(Shortcut::shortcutWithData(row.data).has_value()) << row.name;
    }
}

TEST_F(ShortcutTest, EmptyRootArchiveIsRecognised)
{
    EXPECT_TRUE(Shortcut::isArchiveOfEmptyRoot(Shortcut::archivedDataWithEmptyRoot()));
    EXPECT_FALSE(Shortcut::isArchiveOfEmptyRoot(Shortcut(40, 0x1C0000).data()));
    EXPECT_FALSE(Shortcut::isArchiveOfEmptyRoot(QByteArray("bplist00")));
    const auto parsed = plist::parse(Shortcut::archivedDataWithEmptyRoot());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->toMap().value(QStringLiteral("$objects")).toList(),
              QVariantList{QStringLiteral("$null")});
}

TEST_F(ShortcutTest, TruncatedAndMangledArchivesNeverCrash)
{
    const QByteArray data = Shortcut(40, 0x1C0000).data();
    int decoded = 0;
    for (qsizetype length = 0; length < data.size(); ++length) {
        decoded += Shortcut::shortcutWithData(data.left(length)).has_value();
    }
    EXPECT_EQ(decoded, 0) << "a truncated archive decoded";

    QRandomGenerator random(20240611);
    for (int round = 0; round < 3000; ++round) {
        QByteArray mangled = data;
        const int flips = 1 + int(random.bounded(4));
        for (int i = 0; i < flips; ++i) {
            mangled[random.bounded(int(mangled.size()))] = char(random.bounded(256));
        }
        const auto shortcut = Shortcut::shortcutWithData(mangled);
        if (shortcut) {
            EXPECT_EQ(shortcut->modifierFlags() & ~quint64(0x1E0000), 0u);
        }
    }
    for (int round = 0; round < 1000; ++round) {
        QByteArray noise(qsizetype(random.bounded(200)), Qt::Uninitialized);
        for (char& byte : noise) {
            byte = char(random.bounded(256));
        }
        if (round % 2 == 0) {
            noise.prepend("bplist00");
        }
        EXPECT_FALSE(Shortcut::shortcutWithData(noise).has_value());
    }
}

} // namespace
} // namespace zarvo
