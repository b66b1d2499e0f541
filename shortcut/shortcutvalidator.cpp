#include "shortcut/shortcutvalidator.h"

#include "platform/hotkeyservice.h"
#include "platform/services.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <array>

namespace zarvo {
namespace {

constexpr quint64 kSpaceKeyCode = 49;
constexpr quint64 kEscapeKeyCode = 53;

// F1 to F20.
constexpr std::array<quint64, 20> kFunctionKeys = {122, 120, 99,  118, 96,  97,  98, 100, 101, 109,
                                                   103, 111, 105, 107, 113, 106, 64, 79,  80,  90};

bool allowsOption = false;

QPointer<QWidget>& mainMenuPointer()
{
    static QPointer<QWidget> menu;
    return menu;
}

ShortcutError takenError(const QString& message)
{
    return ShortcutError{QStringLiteral("NSCocoaErrorDomain"), 0, message};
}

QString menuTakenMessage(const QString& title)
{
    QString message = shortcutText(
        "This shortcut cannot be used because it is already used by the menu item \u2018%@\u2019.");
    const qsizetype at = message.indexOf(QLatin1String("%@"));
    if (at >= 0) {
        message.replace(at, 2, title);
    }
    return message;
}

QString systemTakenMessage()
{
    return shortcutText("This combination cannot be used because it is already used by a "
                        "system-wide keyboard shortcut.\n"
                        "If you really want to use this key combination, most shortcuts can be "
                        "changed in the Keyboard & Mouse panel in System Preferences.");
}

struct KeyCharacter {
    int key;
    char16_t character;
};

// Qt keys whose menu key equivalent is a control or function-key character
// rather than the key's own text.
constexpr std::array kKeyCharacters = std::to_array<KeyCharacter>({
    {Qt::Key_Return, u'\r'},       {Qt::Key_Enter, u'\u0003'},  {Qt::Key_Tab, u'\t'},
    {Qt::Key_Backtab, u'\u0019'},  {Qt::Key_Backspace, u'\b'},  {Qt::Key_Escape, u'\u001B'},
    {Qt::Key_Up, u'\uF700'},       {Qt::Key_Down, u'\uF701'},   {Qt::Key_Left, u'\uF702'},
    {Qt::Key_Right, u'\uF703'},    {Qt::Key_Insert, u'\uF727'}, {Qt::Key_Delete, u'\uF728'},
    {Qt::Key_Home, u'\uF729'},     {Qt::Key_End, u'\uF72B'},    {Qt::Key_PageUp, u'\uF72C'},
    {Qt::Key_PageDown, u'\uF72D'}, {Qt::Key_Print, u'\uF72E'},  {Qt::Key_ScrollLock, u'\uF72F'},
    {Qt::Key_Pause, u'\uF730'},    {Qt::Key_SysReq, u'\uF731'}, {Qt::Key_Menu, u'\uF735'},
    {Qt::Key_Help, u'\uF746'},     {Qt::Key_Clear, u'\uF739'},
});

struct KeyEquivalent {
    QString key;
    quint64 mask = 0;
};

// An action's shortcut the way a menu item names it: a letter typed with
// Shift is the upper-case letter (Shift leaves the mask), any other letter
// is lower case; other keys give their character or function-key character
// with Shift kept in the mask. No shortcut is "" with no modifiers.
KeyEquivalent keyEquivalentOf(const QKeyCombination& combination)
{
    const int key = int(combination.key());
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    KeyEquivalent equivalent;
    if (key == 0 || key == Qt::Key_unknown) {
        return equivalent;
    }
    if (modifiers & Qt::ShiftModifier) {
        equivalent.mask |= modifier::kShift;
    }
    if (modifiers & Qt::ControlModifier) {
        equivalent.mask |= modifier::kControl;
    }
    if (modifiers & Qt::AltModifier) {
        equivalent.mask |= modifier::kOption;
    }
    if (modifiers & Qt::MetaModifier) {
        equivalent.mask |= modifier::kCommand;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) {
        equivalent.key = QString(QChar(char16_t(0xF704 + (key - Qt::Key_F1))));
        return equivalent;
    }
    for (const KeyCharacter& row : kKeyCharacters) {
        if (row.key == key) {
            equivalent.key = QString(QChar(row.character));
            return equivalent;
        }
    }
    if (key >= 0x01000000) {
        return equivalent;
    }
    const char32_t character = char32_t(key);
    const QString text = QString::fromUcs4(&character, 1);
    const bool letter = text.toLower() != text.toUpper();
    if (letter && (equivalent.mask & modifier::kShift)) {
        equivalent.key = text.toUpper();
        equivalent.mask &= ~modifier::kShift;
    } else {
        equivalent.key = letter ? text.toLower() : text;
    }
    return equivalent;
}

// The title as shown: "&&" is a literal ampersand, a single '&' only marks
// the mnemonic.
QString withoutMnemonics(const QString& text)
{
    QString title;
    title.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
        }
        title += text[i];
    }
    return title;
}

} // namespace

bool shouldBypass(const Shortcut& shortcut)
{
    // The application's own Close and Quit: Ctrl+W and Ctrl+Q.
    if (shortcut.modifierFlags() != modifier::kControl) {
        return false;
    }
    const std::optional<QString> key = shortcut.keyCodeString();
    return key && (*key == QLatin1String("W") || *key == QLatin1String("Q"));
}

bool isValid(const Shortcut& shortcut)
{
    const quint64 keyCode = shortcut.keyCode();
    const quint64 flags = shortcut.modifierFlags();
    if (std::find(kFunctionKeys.cbegin(), kFunctionKeys.cend(), keyCode) != kFunctionKeys.cend()) {
        return true;
    }
    if (flags == 0) {
        return false;
    }
    if (flags & (modifier::kControl | modifier::kCommand)) {
        return true;
    }
    if (!(flags & modifier::kOption)) {
        return false;
    }
    if (keyCode == kSpaceKeyCode || keyCode == kEscapeKeyCode) {
        return true;
    }
    return allowsOption;
}

bool allowsAnyHotkeyWithOptionModifier()
{
    return allowsOption;
}

void setAllowsAnyHotkeyWithOptionModifier(bool allows)
{
    allowsOption = allows;
}

bool isTakenError(const Shortcut& shortcut, ShortcutError* error)
{
    // The system-wide shortcuts: the combinations other programs hold. Key
    // codes beyond 32 bits name no key and are never held.
    HotKeyService* service = services().hotKeys;
    const std::optional<bool> held =
        service && shortcut.keyCode() <= 0xFFFFFFFFu
            ? service->isHeldByAnotherClient(shortcut.keyCode(), shortcut.modifierFlags())
            : std::nullopt;
    if (held.value_or(false)) {
        if (error) {
            *error = takenError(systemTakenMessage());
        }
        return true;
    }
    // Without a key text there is nothing a menu item could equal.
    const std::optional<QString> keyEquivalent = shortcut.keyCodeStringForKeyEquivalent();
    if (!keyEquivalent) {
        return false;
    }
    return isKeyEquivalent(*keyEquivalent, shortcut.modifierFlags(), mainMenu(), error);
}

bool isKeyEquivalent(const QString& keyEquivalent, quint64 flags, const QWidget* menu,
                     ShortcutError* error)
{
    if (!menu) {
        return false;
    }
    for (const QAction* action : menu->actions()) {
        if (const QMenu* submenu = action->menu<QMenu*>()) {
            if (isKeyEquivalent(keyEquivalent, flags, submenu, error)) {
                return true;
            }
        }
        const QKeyCombination combination =
            action->shortcut().isEmpty() ? QKeyCombination() : action->shortcut()[0];
        const KeyEquivalent item = keyEquivalentOf(combination);
        const QString& itemKey = item.key;
        const quint64 itemMask = item.mask;
        if (itemKey.toLower() != keyEquivalent) {
            continue;
        }
        const bool uses = itemKey == keyEquivalent ? (itemMask & modifier::kMask) == flags
                                                   : (itemMask | modifier::kShift) == flags;
        if (uses) {
            if (error) {
                *error = takenError(menuTakenMessage(withoutMnemonics(action->text())));
            }
            return true;
        }
    }
    return false;
}

void setMainMenu(QWidget* menu)
{
    mainMenuPointer() = menu;
}

QWidget* mainMenu()
{
    return mainMenuPointer().data();
}

} // namespace zarvo
