// Feeds arbitrary bytes to the property-list reader the store and the
// defaults use, and writes back what it read.
#include "platform/plistio.h"
#include "projects/textform.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto root = zarvo::plist::parse(bytes);
    if (root) {
        // What was read must survive a rewrite and a text-form reading.
        zarvo::textForm(*root);
        const auto again = zarvo::plist::parse(zarvo::plist::toXml(*root));
        if (!again) {
            __builtin_trap();
        }
        zarvo::plist::parse(zarvo::plist::toBinary(*root));
    }
    return 0;
}
