#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <limits>
#include <optional>

namespace zarvo {

// Modifier bits of a shortcut, as key events report them.
namespace modifier {
inline constexpr quint64 kShift = 0x20000;
inline constexpr quint64 kControl = 0x40000;
inline constexpr quint64 kOption = 0x80000;   // Alt
inline constexpr quint64 kCommand = 0x100000; // Super
// The four bits a shortcut keeps; every other bit of an event's flags is dropped.
inline constexpr quint64 kMask = 0x1E0000;
} // namespace modifier

// One keyboard shortcut: a key, named by its virtual key code
// (platform/keycodes.h), plus modifier keys. A plain value; it has no
// equality of its own, shortcuts are compared through description().
class Shortcut final {
public:
    // The key code of a shortcut without a key.
    static constexpr quint64 kNoKeyCode = quint64(std::numeric_limits<qint64>::max());

    // Keeps the key code as given and the modifier flags within modifier::kMask.
    Shortcut(quint64 keyCode, quint64 modifierFlags);
    static Shortcut shortcutWithKeyCode(quint64 keyCode, quint64 modifierFlags)
    {
        return Shortcut(keyCode, modifierFlags);
    }

    // The shortcut archived in DATA; nothing for no data, and nothing for
    // bytes that are not the archive of a shortcut (an archive of an empty
    // root included).
    static std::optional<Shortcut> shortcutWithData(const std::optional<QByteArray>& data);
    // The archive of this shortcut: a binary property list in the keyed
    // archiver layout, with the integers "KeyCode" (-1 without a key) and
    // "ModifierFlags". This is what user defaults store.
    QByteArray data() const;
    // The archive of an empty root: stored when the user clears a shortcut on
    // purpose, and read back as no shortcut.
    static QByteArray archivedDataWithEmptyRoot();
    // True when DATA is exactly such an archive of an empty root.
    static bool isArchiveOfEmptyRoot(const QByteArray& data);

    quint64 keyCode() const { return keyCode_; }
    void setKeyCode(quint64 keyCode) { keyCode_ = keyCode; }
    quint64 modifierFlags() const { return modifierFlags_; }
    void setModifierFlags(quint64 flags) { modifierFlags_ = flags & modifier::kMask; }

    // The key code and the modifiers in the classic hot key calls' encoding
    // (Command 0x100, Shift 0x200, Option 0x800, Control 0x1000).
    quint32 carbonKeyCode() const;
    quint32 carbonFlags() const;

    // The modifier glyphs, always in the order Control, Option, Shift, Command.
    QString modifierFlagsString() const;
    // The key's display text: a glyph or name for special keys, otherwise the
    // key's label on the current keyboard layout in upper case ("" when that
    // label is not displayable). Nothing when there is no keyboard layout.
    std::optional<QString> keyCodeString() const;
    // The key as a menu item names it: a single character in lower case, a
    // space, or a function-key character; "" for other named keys.
    std::optional<QString> keyCodeStringForKeyEquivalent() const;
    // The modifier glyphs followed by the key text ("(null)" when nothing).
    QString description() const;

private:
    quint64 keyCode_;
    quint64 modifierFlags_;
};

// A user-visible text of the shortcut subsystem through the application's
// translation; an untranslated text comes back as written.
QString shortcutText(const char* text);

} // namespace zarvo
