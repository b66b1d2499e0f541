#include "platform/x11/x11hotkeyservice.h"

#include "platform/keycodes.h"
#include "platform/x11/x11connection.h"
#include "shortcut/shortcut.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

namespace zarvo::x11 {
namespace {

// Keysyms of the keys whose modifier bits the grabs need.
constexpr xcb_keysym_t kAltL = 0xffe9;
constexpr xcb_keysym_t kAltR = 0xffea;
constexpr xcb_keysym_t kSuperL = 0xffeb;
constexpr xcb_keysym_t kSuperR = 0xffec;
constexpr xcb_keysym_t kNumLock = 0xff7f;
constexpr xcb_keysym_t kScrollLock = 0xff14;

// Shift, Lock, Control and Mod1 to Mod5: the bits of a key event's state that
// are modifiers (the rest are pointer buttons).
constexpr uint16_t kModifierBits = 0x00FF;

struct ModifierMasks {
    uint16_t alt = XCB_MOD_MASK_1;
    uint16_t super = XCB_MOD_MASK_4;
    uint16_t numLock = XCB_MOD_MASK_2;
    uint16_t scrollLock = 0;
};

// Which of Mod1..Mod5 carry Alt, Super, Num Lock and Scroll Lock on this
// server; the usual assignment where the server does not say.
ModifierMasks modifierMasks(xcb_connection_t* connection)
{
    ModifierMasks masks;
    xcb_get_modifier_mapping_reply_t* reply =
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr);
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
    if (!reply || !symbols) {
        std::free(reply);
        xcb_key_symbols_free(symbols);
        return masks;
    }
    ModifierMasks found{0, 0, 0, 0};
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    // Shift, Lock and Control (0 to 2) are fixed; Mod1 to Mod5 are 3 to 7.
    for (int modifier = 3; modifier < 8; ++modifier) {
        const auto bit = uint16_t(1u << modifier);
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t keycode = keycodes[modifier * perModifier + i];
            if (keycode == 0) {
                continue;
            }
            for (int column = 0; column < 4; ++column) {
                switch (xcb_key_symbols_get_keysym(symbols, keycode, column)) {
                case kAltL:
                case kAltR:
                    found.alt |= bit;
                    break;
                case kSuperL:
                case kSuperR:
                    found.super |= bit;
                    break;
                case kNumLock:
                    found.numLock |= bit;
                    break;
                case kScrollLock:
                    found.scrollLock |= bit;
                    break;
                default:
                    break;
                }
            }
        }
    }
    xcb_key_symbols_free(symbols);
    std::free(reply);
    masks.alt = found.alt ? found.alt : masks.alt;
    masks.super = found.super ? found.super : masks.super;
    masks.numLock = found.numLock ? found.numLock : masks.numLock;
    masks.scrollLock = found.scrollLock;
    return masks;
}

// Every combination of the lock modifiers, none included.
std::vector<uint16_t> lockCombinations(const ModifierMasks& masks)
{
    std::vector<uint16_t> locks;
    for (const uint16_t lock : {uint16_t(XCB_MOD_MASK_LOCK), masks.numLock, masks.scrollLock}) {
        if (lock != 0 && std::find(locks.cbegin(), locks.cend(), lock) == locks.cend()) {
            locks.push_back(lock);
        }
    }
    std::vector<uint16_t> combinations;
    for (unsigned subset = 0; subset < (1u << locks.size()); ++subset) {
        uint16_t combination = 0;
        for (size_t i = 0; i < locks.size(); ++i) {
            if (subset & (1u << i)) {
                combination |= locks[i];
            }
        }
        combinations.push_back(combination);
    }
    return combinations;
}

std::optional<uint16_t> x11Modifiers(quint64 modifiers, const ModifierMasks& masks)
{
    if (modifiers & ~modifier::kMask) {
        return std::nullopt;
    }
    uint16_t state = 0;
    if (modifiers & modifier::kShift) {
        state |= XCB_MOD_MASK_SHIFT;
    }
    if (modifiers & modifier::kControl) {
        state |= XCB_MOD_MASK_CONTROL;
    }
    if (modifiers & modifier::kOption) {
        state |= masks.alt;
    }
    if (modifiers & modifier::kCommand) {
        state |= masks.super;
    }
    return state;
}

class X11HotKeyService final : public HotKeyService, public QAbstractNativeEventFilter {
public:
    X11HotKeyService(xcb_connection_t* connection, int screen, bool owned, bool delivers)
        : connection_(connection), root_(rootWindow(connection, screen)), owned_(owned)
    {
        if (delivers && QCoreApplication::instance()) {
            QCoreApplication::instance()->installNativeEventFilter(this);
            filterInstalled_ = true;
        }
    }

    ~X11HotKeyService() override
    {
        if (filterInstalled_ && QCoreApplication::instance()) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
        }
        while (!registrations_.empty()) {
            unregisterShortcut(registrations_.back().id);
        }
        if (owned_) {
            xcb_disconnect(connection_);
        }
    }
    X11HotKeyService(const X11HotKeyService&) = delete;
    X11HotKeyService& operator=(const X11HotKeyService&) = delete;

    HotKeyResult registerShortcut(HotKeyId id, quint64 keyCode, quint64 modifiers) override
    {
        unregisterShortcut(id);
        const auto keycode = keyCode <= 0xFFFFFFFFu
                                 ? keycode::x11KeycodeForVirtualKey(quint32(keyCode))
                                 : std::nullopt;
        const ModifierMasks masks = modifierMasks(connection_);
        const auto state = x11Modifiers(modifiers, masks);
        if (!keycode || *keycode > 255 || !state) {
            return HotKeyResult::failed(HotKeyFailure::invalid);
        }
        Registration registration;
        registration.keycode = xcb_keycode_t(*keycode);
        registration.state = *state;
        registration.locks = lockCombinations(masks);
        registration.id = id;
        if (ownRegistration(registration.keycode, registration.state)) {
            return HotKeyResult::failed(HotKeyFailure::taken);
        }
        const HotKeyResult grabbed =
            grab(registration.keycode, registration.state, registration.locks);
        if (!grabbed.ok()) {
            return grabbed;
        }
        registrations_.push_back(registration);
        return HotKeyResult::success();
    }

    void unregisterShortcut(HotKeyId id) override
    {
        const auto it = std::find_if(registrations_.begin(), registrations_.end(),
                                     [id](const Registration& r) { return r.id == id; });
        if (it == registrations_.end()) {
            return;
        }
        const Registration gone = *it;
        registrations_.erase(it);
        ungrab(gone.keycode, gone.state, gone.locks);
    }

    // A grab another client holds fails with BadAccess.
    bool canTellTaken() const override { return true; }

    std::optional<bool> isHeldByAnotherClient(quint64 keyCode, quint64 modifiers) override
    {
        const auto keycode = keyCode <= 0xFFFFFFFFu
                                 ? keycode::x11KeycodeForVirtualKey(quint32(keyCode))
                                 : std::nullopt;
        const ModifierMasks masks = modifierMasks(connection_);
        const auto state = x11Modifiers(modifiers, masks);
        if (!keycode || *keycode > 255 || !state) {
            return false;
        }
        // Our own grab would make the test grab succeed and then be released
        // with it; the hot keys of this application are not another program's.
        if (ownRegistration(xcb_keycode_t(*keycode), *state)) {
            return false;
        }
        const std::vector<uint16_t> locks = lockCombinations(masks);
        const HotKeyResult result = grab(xcb_keycode_t(*keycode), *state, locks);
        if (result.ok()) {
            ungrab(xcb_keycode_t(*keycode), *state, locks);
        }
        return result.failure == HotKeyFailure::taken;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t" || !message) {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const uint8_t type = event->response_type & 0x7F;
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
            return false;
        }
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (key->event != root_) {
            return false;
        }
        if (type == XCB_KEY_RELEASE) {
            bool ours = false;
            for (Registration& registration : registrations_) {
                if (registration.keycode == key->detail) {
                    registration.down = false;
                    registration.releasedAt = key->time;
                    ours = true;
                }
            }
            return ours;
        }
        std::vector<HotKeyId> pressed;
        for (Registration& registration : registrations_) {
            uint16_t locks = 0;
            for (const uint16_t lock : registration.locks) {
                locks |= lock;
            }
            const uint16_t state = key->state & kModifierBits & ~locks;
            if (registration.keycode != key->detail || registration.state != state) {
                continue;
            }
            // A held key repeats: as a release and a press with the same
            // time, or (with detectable auto-repeat) as presses without
            // releases. Only the first press counts.
            const bool repeat = registration.down ||
                                (registration.releasedAt && *registration.releasedAt == key->time);
            registration.down = true;
            if (!repeat) {
                pressed.push_back(registration.id);
            }
        }
        if (pressed.empty()) {
            return false;
        }
        // A handler may register or unregister hot keys: the ids were copied.
        for (const HotKeyId id : pressed) {
            Q_EMIT activated(id);
        }
        return true;
    }

private:
    struct Registration {
        HotKeyId id = 0;
        xcb_keycode_t keycode = 0;
        uint16_t state = 0;
        std::vector<uint16_t> locks;
        bool down = false;
        std::optional<xcb_timestamp_t> releasedAt;
    };

    const Registration* ownRegistration(xcb_keycode_t keycode, uint16_t state) const
    {
        for (const Registration& registration : registrations_) {
            if (registration.keycode == keycode && registration.state == state) {
                return &registration;
            }
        }
        return nullptr;
    }

    // Grabs the combination under every lock state, all or nothing.
    HotKeyResult grab(xcb_keycode_t keycode, uint16_t state, const std::vector<uint16_t>& locks)
    {
        std::vector<xcb_void_cookie_t> cookies;
        for (const uint16_t lock : locks) {
            // Not owner_events: every press of the combination comes to the
            // root window, also while one of our own windows has the focus.
            cookies.push_back(xcb_grab_key_checked(connection_, 0, root_, state | lock, keycode,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
        HotKeyResult result = HotKeyResult::success();
        std::vector<uint16_t> grabbed;
        for (size_t i = 0; i < cookies.size(); ++i) {
            if (xcb_generic_error_t* error = xcb_request_check(connection_, cookies[i])) {
                if (result.ok()) {
                    result = HotKeyResult::failed(error->error_code == XCB_ACCESS
                                                      ? HotKeyFailure::taken
                                                      : HotKeyFailure::invalid);
                }
                std::free(error);
            } else {
                grabbed.push_back(locks[i]);
            }
        }
        if (!result.ok()) {
            ungrab(keycode, state, grabbed);
        }
        return result;
    }

    void ungrab(xcb_keycode_t keycode, uint16_t state, const std::vector<uint16_t>& locks)
    {
        for (const uint16_t lock : locks) {
            xcb_ungrab_key(connection_, keycode, root_, state | lock);
        }
        xcb_flush(connection_);
    }

    xcb_connection_t* connection_;
    xcb_window_t root_;
    bool owned_;
    bool filterInstalled_ = false;
    std::vector<Registration> registrations_;
};

} // namespace

std::unique_ptr<HotKeyService> createHotKeyService()
{
    xcb_connection_t* connection = applicationConnection();
    if (!connection) {
        return nullptr;
    }
    return std::make_unique<X11HotKeyService>(connection, -1, false, true);
}

std::unique_ptr<HotKeyService> createHotKeyServiceOnDisplay(const QByteArray& display)
{
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(display.constData(), &screen);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection) {
            xcb_disconnect(connection);
        }
        return nullptr;
    }
    return std::make_unique<X11HotKeyService>(connection, screen, true, false);
}

} // namespace zarvo::x11
