#pragma once

#include <QByteArray>
#include <QVariant>

#include <optional>

namespace zarvo::plist {

// Reads a binary property list ("bplist00") into the QVariant tree described
// in plistio.h. Written for untrusted bytes: every offset, length and object
// reference is checked; reference cycles, nesting deeper than
// kMaxNestingDepth, trees larger than kMaxBuiltBytes (however often the file
// refers to one object), strings holding NUL and integers beyond 64 bits are
// refused; and anything malformed reads as absent.
std::optional<QVariant> readBinary(const QByteArray& bytes);

} // namespace zarvo::plist
