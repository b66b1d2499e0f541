#pragma once

#include "platform/filetrust.h"

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
// QVariantList, strings QString, integers qint64 (quint64 above the largest
// qint64), reals double, booleans bool, data QByteArray, dates QDateTime and
// UIDs PlistUid.
//
// What is read is written back as it was: integers over the whole signed and
// unsigned 64-bit range, dates to the second (years 1 to 9999 at least), and
// every key once. Keys and strings never hold a NUL character (XML cannot
// hold one, and dictionaries keyed by C strings would merge "a" and
// "a\0b"): a property list with one reads as none.
namespace plist {

// Parses an XML or binary property list. Absent when the bytes are not one.
std::optional<QVariant> parse(const QByteArray& bytes);
// The same with the general parsers alone (libplist for XML), without the
// fast reader of plain XML (platform/xmlplist.h) that parse() tries first.
std::optional<QVariant> parseGeneral(const QByteArray& bytes);

// Why one of the reads below gave nothing.
struct ReadReport {
    enum class Outcome {
        read,            // the file was read (a value read alone may still be absent)
        missing,         // there is no file
        refused,         // it was not opened (platform/filetrust.h): not a
                         // regular file, unreadable, or written by others
        notPropertyList, // not a property list whose root is a dictionary,
                         // or larger than any store (kMaxPropertyListFileSize)
    };
    Outcome outcome = Outcome::read;
    // For refused and notPropertyList: one line that names the file.
    QString reason;
};

// Files larger than this are not read at all.
inline constexpr qint64 kMaxPropertyListFileSize = qint64(64) << 20;

// Limits on what one read may build, far above what any store needs; a
// property list beyond them is read as none ("not a property list"), before
// anything recursive sees its tree.
//
// Arrays and dictionaries nested deeper than this: a chain of this many
// reads, one more does not.
inline constexpr int kMaxNestingDepth = 256;
// The values built, in bytes: every value (keys included) counts
// kBuiltValueCost, a string two bytes a character more and data its bytes.
// A value that a binary list refers to many times counts each time, as it
// does for everything that walks the tree built, the writers included.
inline constexpr qint64 kMaxBuiltBytes = qint64(256) << 20;
inline constexpr qint64 kBuiltValueCost = 32;

// The bytes built so far by one read, against kMaxBuiltBytes.
class BuiltBytes final {
public:
    // Count one value, or the contents of a string or data; false once over
    // the limit.
    bool addValue() { return addBytes(kBuiltValueCost); }
    bool addBytes(qint64 bytes)
    {
        total_ += bytes;
        return total_ <= kMaxBuiltBytes;
    }

private:
    qint64 total_ = 0;
};

// Reads a file whose root must be a dictionary. Absent when the file is
// missing, unreadable, not a property list, or its root is not a dictionary.
// The file is opened as openFileForReading(PATH, WRITERS) opens it; REPORT,
// when given, says why nothing was read.
std::optional<QVariantMap> readDictionaryFile(const QString& path,
                                              Writers writers = Writers::anyone,
                                              ReadReport* report = nullptr);
// readDictionaryFile(PATH)->keys(), without building the values where it can.
std::optional<QStringList> readDictionaryKeys(const QString& path,
                                              Writers writers = Writers::anyone,
                                              ReadReport* report = nullptr);
// The value under KEY of readDictionaryFile(PATH), building that value alone
// where it can. Absent also when the dictionary has no KEY.
std::optional<QVariant> readDictionaryValue(const QString& path, const QString& key,
                                            Writers writers = Writers::anyone,
                                            ReadReport* report = nullptr);

QByteArray toXml(const QVariant& root);
QByteArray toBinary(const QVariant& root);

} // namespace plist
} // namespace zarvo

Q_DECLARE_METATYPE(zarvo::PlistUid)
