#include "platform/xkbkeyboardlayout.h"

#include "platform/keycodes.h"
#include "platform/services.h"

#include <QByteArray>

#include <xkbcommon/xkbcommon.h>

#include <array>

namespace zarvo {
namespace {

struct DeadKey {
    xkb_keysym_t keysym;
    char16_t spacing;
};

// Dead keys and the spacing character each one shows on its key cap.
constexpr std::array kDeadKeys = std::to_array<DeadKey>({
    {XKB_KEY_dead_grave, u'\u0060'},
    {XKB_KEY_dead_acute, u'\u00B4'},
    {XKB_KEY_dead_circumflex, u'\u005E'},
    {XKB_KEY_dead_tilde, u'\u007E'},
    {XKB_KEY_dead_macron, u'\u00AF'},
    {XKB_KEY_dead_breve, u'\u02D8'},
    {XKB_KEY_dead_abovedot, u'\u02D9'},
    {XKB_KEY_dead_diaeresis, u'\u00A8'},
    {XKB_KEY_dead_abovering, u'\u02DA'},
    {XKB_KEY_dead_doubleacute, u'\u02DD'},
    {XKB_KEY_dead_caron, u'\u02C7'},
    {XKB_KEY_dead_cedilla, u'\u00B8'},
    {XKB_KEY_dead_ogonek, u'\u02DB'},
    {XKB_KEY_dead_iota, u'\u037A'},
    {XKB_KEY_dead_voiced_sound, u'\u309B'},
    {XKB_KEY_dead_semivoiced_sound, u'\u309C'},
});

const char* const kNameVariables[] = {"XKB_DEFAULT_RULES",   "XKB_DEFAULT_MODEL",
                                      "XKB_DEFAULT_LAYOUT",  "XKB_DEFAULT_VARIANT",
                                      "XKB_DEFAULT_OPTIONS", "XKB_CONFIG_ROOT"};

QByteArray environmentNames()
{
    QByteArray names;
    for (const char* variable : kNameVariables) {
        names += qgetenv(variable);
        names += '\n';
    }
    return names;
}

} // namespace

QString xkbKeyLabel(xkb_keymap* keymap, quint32 layout, quint16 virtualKeyCode)
{
    const auto keycode = keycode::x11KeycodeForVirtualKey(virtualKeyCode);
    if (!keymap || !keycode) {
        return QString();
    }
    const xkb_layout_index_t groups = xkb_keymap_num_layouts_for_key(keymap, *keycode);
    if (groups == 0) {
        return QString();
    }
    // A key with fewer groups than the active one wraps around, as XKB does.
    const xkb_layout_index_t group = layout % groups;
    const xkb_keysym_t* keysyms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap, *keycode, group, 0, &keysyms);
    if (count <= 0 || !keysyms) {
        return QString();
    }
    const xkb_keysym_t keysym = keysyms[0];
    for (const DeadKey& dead : kDeadKeys) {
        if (dead.keysym == keysym) {
            return QString(QChar(dead.spacing));
        }
    }
    const char32_t character = xkb_keysym_to_utf32(keysym);
    if (character == 0) {
        return QString();
    }
    return QString::fromUcs4(&character, 1);
}

QString usKeysymName(quint64 virtualKeyCode)
{
    // Built once: the US layout does not change under us.
    static xkb_keymap* const keymap = [] {
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
        if (!context) {
            return static_cast<xkb_keymap*>(nullptr);
        }
        xkb_context_set_log_level(context, XKB_LOG_LEVEL_CRITICAL);
        const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
        xkb_keymap* made = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        xkb_context_unref(context);
        return made;
    }();
    const auto keycode = keycode::x11KeycodeForVirtualKey(virtualKeyCode);
    if (!keymap || !keycode) {
        return QString();
    }
    const xkb_keysym_t* keysyms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap, *keycode, 0, 0, &keysyms);
    if (count <= 0 || !keysyms) {
        return QString();
    }
    char name[64];
    const int length = xkb_keysym_get_name(keysyms[0], name, sizeof name);
    if (length <= 0 || size_t(length) >= sizeof name) {
        return QString();
    }
    return QString::fromLatin1(name, length);
}

struct EnvironmentKeyboardLayout::Keymap {
    QByteArray names;
    xkb_context* context = nullptr;
    xkb_keymap* keymap = nullptr;

    ~Keymap()
    {
        xkb_keymap_unref(keymap);
        xkb_context_unref(context);
    }
};

EnvironmentKeyboardLayout::EnvironmentKeyboardLayout() = default;
EnvironmentKeyboardLayout::~EnvironmentKeyboardLayout() = default;

std::optional<QString> EnvironmentKeyboardLayout::keyLabel(quint16 virtualKeyCode)
{
    const QByteArray names = environmentNames();
    if (!keymap_ || keymap_->names != names) {
        auto fresh = std::make_unique<Keymap>();
        fresh->names = names;
        fresh->context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        if (fresh->context) {
            // Broken settings make no keymap; that is answered as "no layout",
            // without xkbcommon's messages on stderr.
            xkb_context_set_log_level(fresh->context, XKB_LOG_LEVEL_CRITICAL);
            fresh->keymap =
                xkb_keymap_new_from_names(fresh->context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
        }
        keymap_ = std::move(fresh);
    }
    if (!keymap_->keymap) {
        return std::nullopt;
    }
    return xkbKeyLabel(keymap_->keymap, 0, virtualKeyCode);
}

EnvironmentKeyboardLayout& environmentKeyboardLayout()
{
    static EnvironmentKeyboardLayout* layout = new EnvironmentKeyboardLayout;
    return *layout;
}

KeyboardLayout& currentKeyboardLayout()
{
    if (KeyboardLayout* installed = services().keyboardLayout) {
        return *installed;
    }
    return environmentKeyboardLayout();
}

} // namespace zarvo
