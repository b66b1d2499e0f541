#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace zarvo {

// A keyed-archive object reference (the property-list UID type). Plain
// integers and UIDs look alike in a QVariant, so UIDs get a type of their own.
struct PlistUid {
    quint64 value = 0;
    friend bool operator==(const PlistUid&, const PlistUid&) = default;
};

// Property lists as QVariant trees: dictionaries are QVariantMap, arrays
// QVariantList, strings QString, integers qint64, reals double, booleans bool,
// data QByteArray, dates QDateTime and UIDs PlistUid.
namespace plist {

// Parses an XML or binary property list. Absent when the bytes are not one.
std::optional<QVariant> parse(const QByteArray& bytes);
// The same with the general parsers alone (libplist for XML), without the
// fast reader of plain XML (platform/xmlplist.h) that parse() tries first.
std::optional<QVariant> parseGeneral(const QByteArray& bytes);

// Reads a file whose root must be a dictionary. Absent when the file is
// missing, unreadable, not a property list, or its root is not a dictionary.
std::optional<QVariantMap> readDictionaryFile(const QString& path);
// readDictionaryFile(PATH)->keys(), without building the values where it can.
std::optional<QStringList> readDictionaryKeys(const QString& path);
// The value under KEY of readDictionaryFile(PATH), building that value alone
// where it can. Absent also when the dictionary has no KEY.
std::optional<QVariant> readDictionaryValue(const QString& path, const QString& key);

QByteArray toXml(const QVariant& root);
QByteArray toBinary(const QVariant& root);

} // namespace plist
} // namespace zarvo

Q_DECLARE_METATYPE(zarvo::PlistUid)
