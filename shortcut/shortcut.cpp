#include "shortcut/shortcut.h"

#include "platform/plistio.h"
#include "platform/xkbkeyboardlayout.h"

#include <QCoreApplication>
#include <QVariantList>
#include <QVariantMap>

#include <algorithm>
#include <array>

namespace zarvo {
namespace {

const QString kArchiver = QStringLiteral("$archiver");
const QString kArchiverName = QStringLiteral("NSKeyedArchiver");
const QString kVersion = QStringLiteral("$version");
constexpr qint64 kArchiveVersion = 100000;
const QString kTop = QStringLiteral("$top");
const QString kRoot = QStringLiteral("root");
const QString kObjects = QStringLiteral("$objects");
const QString kNull = QStringLiteral("$null");
const QString kClass = QStringLiteral("$class");
const QString kClassName = QStringLiteral("$classname");
const QString kClasses = QStringLiteral("$classes");
const QString kShortcutClass = QStringLiteral("Shortcut");
const QString kKeyCodeKey = QStringLiteral("KeyCode");
const QString kModifierFlagsKey = QStringLiteral("ModifierFlags");

struct KeyText {
    quint16 keyCode;
    const char16_t* text;
};

// Keys shown by a fixed glyph or name rather than their layout label. The
// space bar (49) is translated and handled apart.
constexpr std::array kKeyTexts = std::to_array<KeyText>({
    {36, u"\u21A9"},                                                 // Return
    {48, u"\u21E5"},                                                 // Tab
    {51, u"\u232B"},                                                 // Delete
    {53, u"\u238B"},                                                 // Escape
    {71, u"\u2327"},                                                 // keypad Clear
    {76, u"\u2305"},                                                 // keypad Enter
    {114, u"?"},                                                     // Help
    {115, u"\u2196"},                                                // Home
    {116, u"\u21DE"},                                                // Page Up
    {117, u"\u2326"},                                                // Forward Delete
    {119, u"\u2198"},                                                // End
    {121, u"\u21DF"},                                                // Page Down
    {123, u"\u2190"},                                                // Left
    {124, u"\u2192"},                                                // Right
    {125, u"\u2193"},                                                // Down
    {126, u"\u2191"},                                                // Up
    {65, u"."},                                                      // keypad
    {67, u"*"},       {69, u"+"},    {75, u"/"},    {78, u"\u2013"}, // keypad minus: an en dash
    {81, u"="},       {82, u"0"},    {83, u"1"},    {84, u"2"},      {85, u"3"},
    {86, u"4"},       {87, u"5"},    {88, u"6"},    {89, u"7"},      {91, u"8"},
    {92, u"9"},       {122, u"F1"}, // function keys
    {120, u"F2"},     {99, u"F3"},   {118, u"F4"},  {96, u"F5"},     {97, u"F6"},
    {98, u"F7"},      {100, u"F8"},  {101, u"F9"},  {109, u"F10"},   {103, u"F11"},
    {111, u"F12"},    {105, u"F13"}, {107, u"F14"}, {113, u"F15"},   {106, u"F16"},
    {64, u"F17"},     {79, u"F18"},  {80, u"F19"},
});

constexpr quint64 kSpaceKeyCode = 49;

// F1 to F19 in order; Fn's menu character is U+F703 + n.
constexpr std::array<quint16, 19> kFunctionKeys = {122, 120, 99,  118, 96,  97,  98, 100, 101, 109,
                                                   103, 111, 105, 107, 113, 106, 64, 79,  80};
constexpr char16_t kFunctionKeyBase = 0xF703;

// Letters, marks and digits, punctuation and symbols: what a key may show.
bool isDisplayable(QChar unit)
{
    switch (unit.category()) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
    case QChar::Symbol_Math:
    case QChar::Symbol_Currency:
    case QChar::Symbol_Modifier:
    case QChar::Symbol_Other:
        return true;
    default:
        return false;
    }
}

QVariant uid(quint64 index)
{
    return QVariant::fromValue(PlistUid{index});
}

QByteArray archive(const std::optional<QVariantMap>& root)
{
    QVariantList objects{kNull};
    quint64 rootIndex = 0;
    if (root) {
        QVariantMap object = *root;
        object.insert(kClass, uid(2));
        objects << object;
        objects << QVariantMap{
            {kClassName, kShortcutClass},
            {kClasses, QVariantList{kShortcutClass, QStringLiteral("NSObject")}}};
        rootIndex = 1;
    }
    const QVariantMap top{{kArchiver, kArchiverName},
                          {kVersion, kArchiveVersion},
                          {kTop, QVariantMap{{kRoot, uid(rootIndex)}}},
                          {kObjects, objects}};
    return plist::toBinary(top);
}

bool isType(const QVariant& value, QMetaType::Type type)
{
    return value.metaType().id() == type;
}

// An object reference. XML property lists have no reference type: there a
// reference is written as a dictionary whose only key is "CF$UID", and that
// is how such an archive reads back.
std::optional<PlistUid> asUid(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<PlistUid>()) {
        return value.value<PlistUid>();
    }
    if (!isType(value, QMetaType::QVariantMap)) {
        return std::nullopt;
    }
    const QVariantMap map = value.toMap();
    const QVariant index = map.value(QStringLiteral("CF$UID"));
    if (map.size() != 1 || !isType(index, QMetaType::LongLong) || index.toLongLong() < 0) {
        return std::nullopt;
    }
    return PlistUid{quint64(index.toLongLong())};
}

// The archive's object list and the root object's index in it; nothing when
// DATA is not a keyed archive.
struct Unarchived {
    QVariantList objects;
    quint64 root = 0;
};
std::optional<Unarchived> unarchive(const QByteArray& data)
{
    const auto parsed = plist::parse(data);
    if (!parsed || !isType(*parsed, QMetaType::QVariantMap)) {
        return std::nullopt;
    }
    const QVariantMap top = parsed->toMap();
    const QVariant archiver = top.value(kArchiver);
    const QVariant objects = top.value(kObjects);
    const QVariant topObject = top.value(kTop);
    if (!isType(archiver, QMetaType::QString) || archiver.toString() != kArchiverName ||
        !isType(objects, QMetaType::QVariantList) || !isType(topObject, QMetaType::QVariantMap)) {
        return std::nullopt;
    }
    const auto root = asUid(topObject.toMap().value(kRoot));
    const QVariantList list = objects.toList();
    if (!root || root->value >= quint64(list.size())) {
        return std::nullopt;
    }
    return Unarchived{list, root->value};
}

// An integer of the archive: absent reads as 0, anything but an integer is
// no archive of ours.
std::optional<qint64> decodeInteger(const QVariantMap& object, const QString& key)
{
    if (!object.contains(key)) {
        return 0;
    }
    const QVariant value = object.value(key);
    if (!isType(value, QMetaType::LongLong)) {
        return std::nullopt;
    }
    return value.toLongLong();
}

} // namespace

QString shortcutText(const char* text)
{
    return QCoreApplication::translate("Shortcut", text);
}

Shortcut::Shortcut(quint64 keyCode, quint64 modifierFlags)
    : keyCode_(keyCode), modifierFlags_(modifierFlags & modifier::kMask)
{
}

QByteArray Shortcut::data() const
{
    const qint64 keyCode = keyCode_ == kNoKeyCode ? -1 : qint64(keyCode_);
    return archive(
        QVariantMap{{kKeyCodeKey, keyCode}, {kModifierFlagsKey, qint64(modifierFlags_)}});
}

QByteArray Shortcut::archivedDataWithEmptyRoot()
{
    return archive(std::nullopt);
}

bool Shortcut::isArchiveOfEmptyRoot(const QByteArray& data)
{
    const auto archived = unarchive(data);
    return archived && archived->root == 0 && archived->objects.value(0).toString() == kNull &&
           isType(archived->objects.value(0), QMetaType::QString);
}

std::optional<Shortcut> Shortcut::shortcutWithData(const std::optional<QByteArray>& data)
{
    if (!data) {
        return std::nullopt;
    }
    const auto archived = unarchive(*data);
    if (!archived) {
        return std::nullopt;
    }
    const QVariant rootObject = archived->objects.at(qsizetype(archived->root));
    if (!isType(rootObject, QMetaType::QVariantMap)) {
        return std::nullopt;
    }
    const QVariantMap object = rootObject.toMap();
    const auto classIndex = asUid(object.value(kClass));
    if (!classIndex || classIndex->value >= quint64(archived->objects.size())) {
        return std::nullopt;
    }
    const QVariant classObject = archived->objects.at(qsizetype(classIndex->value));
    if (!isType(classObject, QMetaType::QVariantMap) ||
        classObject.toMap().value(kClassName).toString() != kShortcutClass) {
        return std::nullopt;
    }
    const auto keyCode = decodeInteger(object, kKeyCodeKey);
    const auto flags = decodeInteger(object, kModifierFlagsKey);
    if (!keyCode || !flags) {
        return std::nullopt;
    }
    return Shortcut(*keyCode < 0 ? kNoKeyCode : quint64(*keyCode), quint64(*flags));
}

quint32 Shortcut::carbonKeyCode() const
{
    return keyCode_ == kNoKeyCode ? 0 : quint32(keyCode_);
}

quint32 Shortcut::carbonFlags() const
{
    // The classic hot key calls' modifier bits.
    constexpr quint32 kCommandKey = 0x100;
    constexpr quint32 kShiftKey = 0x200;
    constexpr quint32 kOptionKey = 0x800;
    constexpr quint32 kControlKey = 0x1000;
    quint32 flags = 0;
    if (modifierFlags_ & modifier::kCommand) {
        flags |= kCommandKey;
    }
    if (modifierFlags_ & modifier::kShift) {
        flags |= kShiftKey;
    }
    if (modifierFlags_ & modifier::kOption) {
        flags |= kOptionKey;
    }
    if (modifierFlags_ & modifier::kControl) {
        flags |= kControlKey;
    }
    return flags;
}

QString Shortcut::modifierFlagsString() const
{
    QString glyphs;
    if (modifierFlags_ & modifier::kControl) {
        glyphs += QChar(0x2303);
    }
    if (modifierFlags_ & modifier::kOption) {
        glyphs += QChar(0x2325);
    }
    if (modifierFlags_ & modifier::kShift) {
        glyphs += QChar(0x21E7);
    }
    if (modifierFlags_ & modifier::kCommand) {
        glyphs += QChar(0x2318);
    }
    return glyphs;
}

std::optional<QString> Shortcut::keyCodeString() const
{
    if (keyCode_ == kNoKeyCode) {
        return QString();
    }
    if (keyCode_ == kSpaceKeyCode) {
        return shortcutText("Space");
    }
    for (const KeyText& row : kKeyTexts) {
        if (row.keyCode == keyCode_) {
            return QString::fromUtf16(row.text);
        }
    }
    std::optional<QString> text = currentKeyboardLayout().keyLabel(quint16(keyCode_));
    if (!text) {
        return std::nullopt;
    }
    const bool displayable = std::all_of(text->cbegin(), text->cend(), isDisplayable);
    return displayable ? text->toUpper() : QString();
}

std::optional<QString> Shortcut::keyCodeStringForKeyEquivalent() const
{
    const std::optional<QString> text = keyCodeString();
    if (!text || text->size() < 2) {
        return text ? std::optional<QString>(text->toLower()) : std::nullopt;
    }
    if (keyCode_ == kSpaceKeyCode) {
        return QStringLiteral(" ");
    }
    for (size_t i = 0; i < kFunctionKeys.size(); ++i) {
        if (kFunctionKeys[i] == keyCode_) {
            return QString(QChar(char16_t(kFunctionKeyBase + i + 1)));
        }
    }
    return QString();
}

QString Shortcut::description() const
{
    const std::optional<QString> key = keyCodeString();
    return modifierFlagsString() + (key ? *key : QStringLiteral("(null)"));
}

} // namespace zarvo
