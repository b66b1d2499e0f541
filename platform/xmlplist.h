#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace zarvo::plist {

// A fast reader for the XML property lists this application writes itself.
//
// It knows a plain subset of the format: the XML declaration and DOCTYPE
// exactly as the writers put them (or none), the <plist> root, dictionaries, arrays, strings, keys,
// integers (decimal, without a sign of plus or leading zeros), true and false; whitespace between
// elements; the five named entities in text; UTF-8 text without control characters. Everything else
// - comments, CDATA, numeric character references, carriage returns, reals, dates, data, a repeated
// key in one dictionary, a key without a value, anything after </plist>, nesting deeper than it
// cares for - makes it give up and answer nothing, and the caller reads the file with the general
// parser instead. What it does answer is what the general parser reads from the same bytes.
//
// Each answers nothing also when the bytes are not a property list at all.

// The whole tree, as plist::parse() gives it.
std::optional<QVariant> readSimpleXml(QByteArrayView bytes);

// Where a value lies in the bytes: from the '<' of its first tag to just
// after its last.
struct ValueSpan {
    qsizetype begin = 0;
    qsizetype end = 0;
    friend bool operator==(const ValueSpan&, const ValueSpan&) = default;
};

// The keys of a root dictionary in the order of QVariantMap::keys(), without
// building the values. Nothing when the root is not a dictionary. SPANS, if
// given, gets the span of each key's value, in the same order; it is left
// empty when the file does not hold its keys in that order.
std::optional<QStringList> readSimpleXmlKeys(QByteArrayView bytes,
                                             QList<ValueSpan>* spans = nullptr);

// The one value that BYTES (a span given by readSimpleXmlKeys) hold.
std::optional<QVariant> readSimpleXmlFragment(QByteArrayView bytes);

// The value under KEY in a root dictionary, building that value alone. The
// outer optional is empty when the reader gives up or the root is not a
// dictionary; the inner one when the dictionary has no such key.
std::optional<std::optional<QVariant>> readSimpleXmlValue(QByteArrayView bytes, const QString& key);

// Whether the general XML parser (libplist) may be handed BYTES: they hold
// no NUL byte (at which it would cut a key short, merging "a\0b" into "a"),
// no arrays or dictionaries nested deeper than kMaxNestingDepth (it frees
// its tree recursively), and no more elements than a read may build
// (kMaxBuiltBytes), and no integer beyond 64 bits (which it would read as
// the largest that fits). The parser's tree is never deeper than the nesting this
// finds: it skips what the parser skips (comments, CDATA sections,
// processing instructions, the document type) and counts every other
// opening tag of an array or a dictionary, wherever it stands.
bool fitsGeneralXmlParser(QByteArrayView bytes);

} // namespace zarvo::plist
