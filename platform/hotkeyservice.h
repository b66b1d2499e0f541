#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>

namespace zarvo {

// The desktop's system-wide hot keys, in the shape of the classic hot key
// calls: one event handler per event type, hot keys registered under a
// (signature, id) identifier, and a hot-key-pressed event carrying that
// identifier delivered to the handler on the main thread. Statuses are 0 on
// success, negative otherwise.
namespace hotkey {

inline constexpr int kNoErr = 0;
inline constexpr int kParamErr = -50;
inline constexpr int kEventNotHandledErr = -9874;
inline constexpr int kEventParameterNotFoundErr = -9870;
inline constexpr int kEventHotKeyExistsErr = -9878;
inline constexpr int kEventHotKeyInvalidErr = -9879;

// The only event this service sends: class "keyb", kind 5 (hot key pressed).
inline constexpr quint32 kEventClassKeyboard = 0x6B657962;
inline constexpr quint32 kEventHotKeyPressed = 5;

// Registration option: fail when anyone else holds the combination.
inline constexpr quint32 kEventHotKeyExclusive = 1;

// Modifier bits of a registration.
inline constexpr quint32 kCommandKey = 0x100; // Super
inline constexpr quint32 kShiftKey = 0x200;
inline constexpr quint32 kOptionKey = 0x800; // Alt
inline constexpr quint32 kControlKey = 0x1000;

} // namespace hotkey

struct EventHotKeyID {
    quint32 signature = 0;
    quint32 id = 0;
    friend bool operator==(const EventHotKeyID&, const EventHotKeyID&) = default;
};

struct EventTypeSpec {
    quint32 eventClass = 0;
    quint32 eventKind = 0;
    friend bool operator==(const EventTypeSpec&, const EventTypeSpec&) = default;
};

// One event delivered to a handler.
class HotKeyEvent final {
public:
    HotKeyEvent(EventTypeSpec type, std::optional<EventHotKeyID> hotKeyID)
        : type_(type), hotKeyID_(hotKeyID)
    {
    }
    quint32 eventClass() const { return type_.eventClass; }
    quint32 eventKind() const { return type_.eventKind; }
    // Reads the identifier of the pressed hot key (the event's direct
    // object); kEventParameterNotFoundErr when the event carries none.
    int getHotKeyID(EventHotKeyID* out) const
    {
        if (!hotKeyID_) {
            return hotkey::kEventParameterNotFoundErr;
        }
        *out = *hotKeyID_;
        return hotkey::kNoErr;
    }

private:
    EventTypeSpec type_;
    std::optional<EventHotKeyID> hotKeyID_;
};

// Opaque references; 0 is none.
using EventHandlerRef = quint64;
using EventHotKeyRef = quint64;

// Answers 0 when it handled the event; kEventNotHandledErr passes it on to
// the next handler of the same type.
using EventHandler = std::function<int(const HotKeyEvent&)>;

class HotKeyService {
public:
    virtual ~HotKeyService() = default;

    virtual int installEventHandler(EventTypeSpec type, EventHandler handler,
                                    EventHandlerRef* outRef) = 0;
    virtual int removeEventHandler(EventHandlerRef ref) = 0;

    // KEYCODE is a virtual key code (platform/keycodes.h), MODIFIERS a set of
    // the hotkey::k*Key bits. With kEventHotKeyExclusive the call fails with
    // kEventHotKeyExistsErr when another program, or an earlier registration
    // of this service, holds the combination.
    virtual int registerEventHotKey(quint32 keyCode, quint32 modifiers, EventHotKeyID id,
                                    quint32 options, EventHotKeyRef* outRef) = 0;
    virtual int unregisterEventHotKey(EventHotKeyRef ref) = 0;

    // Whether another program holds the combination as its own system-wide
    // shortcut (this service's own registrations do not count). Nothing when
    // the desktop cannot tell.
    virtual std::optional<bool> isHeldByAnotherClient(quint32 keyCode, quint32 modifiers) = 0;
};

} // namespace zarvo
