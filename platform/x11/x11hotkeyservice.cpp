#include "platform/x11/x11hotkeyservice.h"

#include "platform/keycodes.h"
#include "platform/x11/x11connection.h"

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

std::optional<uint16_t> x11Modifiers(quint32 modifiers, const ModifierMasks& masks)
{
    constexpr quint32 known =
        hotkey::kCommandKey | hotkey::kShiftKey | hotkey::kOptionKey | hotkey::kControlKey;
    if (modifiers & ~known) {
        return std::nullopt;
    }
    uint16_t state = 0;
    if (modifiers & hotkey::kShiftKey) {
        state |= XCB_MOD_MASK_SHIFT;
    }
    if (modifiers & hotkey::kControlKey) {
        state |= XCB_MOD_MASK_CONTROL;
    }
    if (modifiers & hotkey::kOptionKey) {
        state |= masks.alt;
    }
    if (modifiers & hotkey::kCommandKey) {
        state |= masks.super;
    }
    return state;
}

class X11HotKeyService final : public HotKeyService, public QAbstractNativeEventFilter {
public:
    X11HotKeyService(xcb_connection_t* connection, int screen, bool owned, bool delivers)
        : connection_(connection), root_(rootWindow(connection, screen)), owned_(owned),
          delivers_(delivers)
    {
    }

    ~X11HotKeyService() override
    {
        if (filterInstalled_ && QCoreApplication::instance()) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
        }
        while (!registrations_.empty()) {
            unregisterEventHotKey(registrations_.back().ref);
        }
        if (owned_) {
            xcb_disconnect(connection_);
        }
    }
    X11HotKeyService(const X11HotKeyService&) = delete;
    X11HotKeyService& operator=(const X11HotKeyService&) = delete;

    int installEventHandler(EventTypeSpec type, EventHandler handler,
                            EventHandlerRef* outRef) override
    {
        if (!handler) {
            return hotkey::kParamErr;
        }
        if (delivers_ && !filterInstalled_ && QCoreApplication::instance()) {
            QCoreApplication::instance()->installNativeEventFilter(this);
            filterInstalled_ = true;
        }
        const EventHandlerRef ref = nextRef_++;
        handlers_.push_back({ref, type, std::move(handler)});
        if (outRef) {
            *outRef = ref;
        }
        return hotkey::kNoErr;
    }

    int removeEventHandler(EventHandlerRef ref) override
    {
        const auto it = std::find_if(handlers_.begin(), handlers_.end(),
                                     [ref](const Handler& h) { return h.ref == ref; });
        if (it == handlers_.end()) {
            return hotkey::kParamErr;
        }
        handlers_.erase(it);
        return hotkey::kNoErr;
    }

    int registerEventHotKey(quint32 keyCode, quint32 modifiers, EventHotKeyID id, quint32 options,
                            EventHotKeyRef* outRef) override
    {
        const auto keycode = keycode::x11KeycodeForVirtualKey(keyCode);
        const ModifierMasks masks = modifierMasks(connection_);
        const auto state = x11Modifiers(modifiers, masks);
        if (!keycode || *keycode > 255 || !state) {
            return hotkey::kParamErr;
        }
        Registration registration;
        registration.keycode = xcb_keycode_t(*keycode);
        registration.state = *state;
        registration.locks = lockCombinations(masks);
        registration.id = id;
        const Registration* same = ownRegistration(registration.keycode, registration.state);
        if (same && (options & hotkey::kEventHotKeyExclusive)) {
            return hotkey::kEventHotKeyExistsErr;
        }
        if (!same) {
            // Our own earlier grab of the combination serves both.
            const int status = grab(registration.keycode, registration.state, registration.locks);
            if (status != hotkey::kNoErr) {
                return status;
            }
        }
        registration.ref = nextRef_++;
        registrations_.push_back(registration);
        if (outRef) {
            *outRef = registration.ref;
        }
        return hotkey::kNoErr;
    }

    int unregisterEventHotKey(EventHotKeyRef ref) override
    {
        const auto it = std::find_if(registrations_.begin(), registrations_.end(),
                                     [ref](const Registration& r) { return r.ref == ref; });
        if (it == registrations_.end()) {
            return hotkey::kEventHotKeyInvalidErr;
        }
        const Registration gone = *it;
        registrations_.erase(it);
        if (!ownRegistration(gone.keycode, gone.state)) {
            ungrab(gone.keycode, gone.state, gone.locks);
        }
        return hotkey::kNoErr;
    }

    std::optional<bool> isHeldByAnotherClient(quint32 keyCode, quint32 modifiers) override
    {
        const auto keycode = keycode::x11KeycodeForVirtualKey(keyCode);
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
        const int status = grab(xcb_keycode_t(*keycode), *state, locks);
        if (status == hotkey::kNoErr) {
            ungrab(xcb_keycode_t(*keycode), *state, locks);
        }
        return status == hotkey::kEventHotKeyExistsErr;
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
        std::vector<EventHotKeyID> pressed;
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
        for (const EventHotKeyID& id : pressed) {
            dispatch(HotKeyEvent({hotkey::kEventClassKeyboard, hotkey::kEventHotKeyPressed}, id));
        }
        return true;
    }

private:
    struct Handler {
        EventHandlerRef ref = 0;
        EventTypeSpec type;
        EventHandler handler;
    };
    struct Registration {
        EventHotKeyRef ref = 0;
        EventHotKeyID id;
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
    int grab(xcb_keycode_t keycode, uint16_t state, const std::vector<uint16_t>& locks)
    {
        std::vector<xcb_void_cookie_t> cookies;
        for (const uint16_t lock : locks) {
            // Not owner_events: every press of the combination comes to the
            // root window, also while one of our own windows has the focus.
            cookies.push_back(xcb_grab_key_checked(connection_, 0, root_, state | lock, keycode,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
        int status = hotkey::kNoErr;
        std::vector<uint16_t> grabbed;
        for (size_t i = 0; i < cookies.size(); ++i) {
            if (xcb_generic_error_t* error = xcb_request_check(connection_, cookies[i])) {
                if (status == hotkey::kNoErr) {
                    status = error->error_code == XCB_ACCESS ? hotkey::kEventHotKeyExistsErr
                                                             : hotkey::kParamErr;
                }
                std::free(error);
            } else {
                grabbed.push_back(locks[i]);
            }
        }
        if (status != hotkey::kNoErr) {
            ungrab(keycode, state, grabbed);
        }
        return status;
    }

    void ungrab(xcb_keycode_t keycode, uint16_t state, const std::vector<uint16_t>& locks)
    {
        for (const uint16_t lock : locks) {
            xcb_ungrab_key(connection_, keycode, root_, state | lock);
        }
        xcb_flush(connection_);
    }

    void dispatch(const HotKeyEvent& event)
    {
        const EventTypeSpec type{event.eventClass(), event.eventKind()};
        // A handler may install or remove handlers: walk a copy.
        const std::vector<Handler> handlers = handlers_;
        for (const Handler& handler : handlers) {
            if (handler.type == type && handler.handler(event) != hotkey::kEventNotHandledErr) {
                return;
            }
        }
    }

    xcb_connection_t* connection_;
    xcb_window_t root_;
    bool owned_;
    bool delivers_;
    bool filterInstalled_ = false;
    quint64 nextRef_ = 1;
    std::vector<Handler> handlers_;
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
