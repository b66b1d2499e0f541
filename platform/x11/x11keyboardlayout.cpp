#include "platform/x11/x11keyboardlayout.h"

#include "platform/x11/x11connection.h"
#include "platform/xkbkeyboardlayout.h"

#include <xcb/xcb.h>

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

namespace zarvo::x11 {
namespace {

class X11KeyboardLayout final : public KeyboardLayout {
public:
    explicit X11KeyboardLayout(xcb_connection_t* connection)
        : connection_(connection), context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS))
    {
        if (context_) {
            xkb_context_set_log_level(context_, XKB_LOG_LEVEL_CRITICAL);
        }
        extension_ = xkb_x11_setup_xkb_extension(connection_, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                                 XKB_X11_MIN_MINOR_XKB_VERSION,
                                                 XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr,
                                                 nullptr, nullptr, nullptr) == 1;
    }
    ~X11KeyboardLayout() override { xkb_context_unref(context_); }
    X11KeyboardLayout(const X11KeyboardLayout&) = delete;
    X11KeyboardLayout& operator=(const X11KeyboardLayout&) = delete;

    std::optional<QString> keyLabel(quint16 virtualKeyCode) override
    {
        if (!context_ || !extension_) {
            return std::nullopt;
        }
        // Asked afresh each time: the user may switch layouts at any moment.
        const int32_t device = xkb_x11_get_core_keyboard_device_id(connection_);
        if (device < 0) {
            return std::nullopt;
        }
        xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context_, connection_, device,
                                                            XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (!keymap) {
            return std::nullopt;
        }
        xkb_state* state = xkb_x11_state_new_from_device(keymap, connection_, device);
        const xkb_layout_index_t group =
            state ? xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE) : 0;
        const QString label = xkbKeyLabel(keymap, group, virtualKeyCode);
        xkb_state_unref(state);
        xkb_keymap_unref(keymap);
        return label;
    }

private:
    xcb_connection_t* connection_;
    xkb_context* context_;
    bool extension_ = false;
};

} // namespace

std::unique_ptr<KeyboardLayout> createKeyboardLayout()
{
    xcb_connection_t* connection = applicationConnection();
    if (!connection) {
        return nullptr;
    }
    return std::make_unique<X11KeyboardLayout>(connection);
}

} // namespace zarvo::x11
