#pragma once

#include <QByteArray>
#include <QList>

namespace zarvo::test {

// Property lists made to crash or exhaust a reader, generated small in the
// tests rather than stored.

// A store whose entry "k" is LEVELS arrays, one in the other, with BETWEEN
// after each opening tag: with the root, LEVELS + 1 containers deep.
QByteArray nestedXml(int levels, const QByteArray& between = {});
// The same store as a binary list.
QByteArray nestedBinary(int levels);

// Binary lists with offsets and references of four bytes. Each object is
// given encoded, with its references written by ref4().
QByteArray wideBinaryList(const QList<QByteArray>& objects);
QByteArray ref4(quint32 object);
// The marker of an array (TYPE 0xA) or a dictionary (0xD) of COUNT items.
QByteArray containerMarker(int type, quint32 count);
// An array of COUNT references to object TO.
QByteArray manyReferences(quint32 count, quint32 to);
// A store {"k": array} whose array holds OUTER references to an array of
// INNER references to one string of 4 KiB: OUTER × INNER copies of it.
QByteArray amplifiedBinary(quint32 outer, quint32 inner);

} // namespace zarvo::test
