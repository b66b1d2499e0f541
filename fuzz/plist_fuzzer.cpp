// Feeds arbitrary bytes to the property-list reader the store and the
// defaults use, and writes back what it read.
#include "platform/plistio.h"
#include "platform/xmlplist.h"
#include "projects/textform.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // The fast reader of plain XML answers only what the general parser reads.
    const auto general = zarvo::plist::parseGeneral(bytes);
    if (const auto fast = zarvo::plist::readSimpleXml(bytes); fast && fast != general) {
        __builtin_trap();
    }
    QList<zarvo::plist::ValueSpan> spans;
    if (const auto keys = zarvo::plist::readSimpleXmlKeys(bytes, &spans)) {
        if (!general || *keys != general->toMap().keys()) {
            __builtin_trap();
        }
        // A value read from its span alone is the one in the whole tree.
        const QVariantMap whole = general->toMap();
        for (qsizetype i = 0; i < spans.size(); ++i) {
            const auto value = zarvo::plist::readSimpleXmlFragment(
                QByteArrayView(bytes).sliced(spans[i].begin, spans[i].end - spans[i].begin));
            if (value && *value != whole.value(keys->at(i))) {
                __builtin_trap();
            }
        }
    }
    const auto root = zarvo::plist::parse(bytes);
    if (root) {
        // What was read must survive a rewrite and a text-form reading.
        zarvo::textForm(*root);
        const auto again = zarvo::plist::parse(zarvo::plist::toXml(*root));
        if (!again) {
            __builtin_trap();
        }
        // Read from XML, which holds no fractions of seconds, every value
        // is written back exactly.
        if (!bytes.startsWith("bplist") && again != root) {
            __builtin_trap();
        }
        zarvo::plist::parse(zarvo::plist::toBinary(*root));
    }
    return 0;
}
