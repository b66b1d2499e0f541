// Decodes arbitrary bytes as a stored shortcut; whatever decodes must encode
// back to an archive that decodes to the same shortcut.
#include "shortcut/shortcut.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto shortcut = zarvo::Shortcut::shortcutWithData(bytes);
    zarvo::Shortcut::isArchiveOfEmptyRoot(bytes);
    if (shortcut) {
        shortcut->description();
        const auto again = zarvo::Shortcut::shortcutWithData(shortcut->data());
        if (!again || again->keyCode() != shortcut->keyCode() ||
            again->modifierFlags() != shortcut->modifierFlags()) {
            __builtin_trap();
        }
    }
    return 0;
}
