#include "support/hostileplists.h"

namespace zarvo::test {

QByteArray nestedXml(int levels, const QByteArray& between)
{
    QByteArray bytes("<plist version=\"1.0\"><dict><key>k</key>");
    for (int i = 0; i < levels; ++i) {
        bytes += "<array>" + between;
    }
    for (int i = 0; i < levels; ++i) {
        bytes += "</array>";
    }
    return bytes + "</dict></plist>";
}

QByteArray nestedBinary(int levels)
{
    // 0: {"k": 2}; 1: "k"; 2 … levels + 1: an array holding the next, the last empty.
    QList<QByteArray> objects{containerMarker(0xD, 1) + ref4(1) + ref4(2), "\x51k"};
    for (int i = 0; i < levels; ++i) {
        objects << (i + 1 < levels ? containerMarker(0xA, 1) + ref4(quint32(i + 3))
                                   : containerMarker(0xA, 0));
    }
    return wideBinaryList(objects);
}

QByteArray ref4(quint32 object)
{
    QByteArray bytes(4, '\0');
    for (int i = 3; i >= 0; --i, object >>= 8) {
        bytes[i] = char(object & 0xFF);
    }
    return bytes;
}

QByteArray containerMarker(int type, quint32 count)
{
    return QByteArray(1, char(type << 4 | 0xF)) + '\x12' + ref4(count);
}

QByteArray manyReferences(quint32 count, quint32 to)
{
    QByteArray object = containerMarker(0xA, count);
    const QByteArray ref = ref4(to);
    for (quint32 i = 0; i < count; ++i) {
        object += ref;
    }
    return object;
}

QByteArray wideBinaryList(const QList<QByteArray>& objects)
{
    QByteArray bytes("bplist00");
    QByteArray table;
    for (const QByteArray& object : objects) {
        table += ref4(quint32(bytes.size()));
        bytes += object;
    }
    const quint32 tableOffset = quint32(bytes.size());
    QByteArray trailer(32, '\0');
    trailer[6] = 4; // offset size
    trailer[7] = 4; // reference size
    trailer.replace(12, 4, ref4(quint32(objects.size())));
    trailer.replace(28, 4, ref4(tableOffset));
    return bytes + table + trailer;
}

QByteArray amplifiedBinary(quint32 outer, quint32 inner)
{
    const QByteArray page = QByteArray("\x5F\x11\x10\x00", 4) + QByteArray(4096, 'x');
    return wideBinaryList({containerMarker(0xD, 1) + ref4(1) + ref4(2), "\x51k",
                           manyReferences(outer, 3), manyReferences(inner, 4), page});
}

} // namespace zarvo::test
