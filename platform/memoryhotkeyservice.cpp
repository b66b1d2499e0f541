#include "platform/memoryhotkeyservice.h"

#include <algorithm>
#include <utility>

namespace zarvo {

int MemoryHotKeyService::installEventHandler(EventTypeSpec type, EventHandler handler,
                                             EventHandlerRef* outRef)
{
    ++installCalls_;
    if (failNextInstall_ != hotkey::kNoErr) {
        return std::exchange(failNextInstall_, hotkey::kNoErr);
    }
    const EventHandlerRef ref = nextRef_++;
    handlers_.push_back({ref, type, std::move(handler)});
    if (outRef) {
        *outRef = ref;
    }
    return hotkey::kNoErr;
}

int MemoryHotKeyService::removeEventHandler(EventHandlerRef ref)
{
    ++removeCalls_;
    const auto it = std::find_if(handlers_.begin(), handlers_.end(),
                                 [ref](const Handler& h) { return h.ref == ref; });
    if (it == handlers_.end()) {
        return hotkey::kParamErr;
    }
    handlers_.erase(it);
    return hotkey::kNoErr;
}

int MemoryHotKeyService::registerEventHotKey(quint32 keyCode, quint32 modifiers, EventHotKeyID id,
                                             quint32 options, EventHotKeyRef* outRef)
{
    const auto same = [&](const auto& other) {
        return other.keyCode == keyCode && other.modifiers == modifiers;
    };
    if (std::any_of(heldElsewhere_.cbegin(), heldElsewhere_.cend(), same)) {
        return hotkey::kEventHotKeyExistsErr;
    }
    if ((options & hotkey::kEventHotKeyExclusive) &&
        std::any_of(registrations_.cbegin(), registrations_.cend(), same)) {
        return hotkey::kEventHotKeyExistsErr;
    }
    const EventHotKeyRef ref = nextRef_++;
    registrations_.push_back({ref, keyCode, modifiers, id});
    if (outRef) {
        *outRef = ref;
    }
    return hotkey::kNoErr;
}

int MemoryHotKeyService::unregisterEventHotKey(EventHotKeyRef ref)
{
    const auto it = std::find_if(registrations_.begin(), registrations_.end(),
                                 [ref](const Registration& r) { return r.ref == ref; });
    if (it == registrations_.end()) {
        return hotkey::kEventHotKeyInvalidErr;
    }
    registrations_.erase(it);
    return hotkey::kNoErr;
}

std::optional<bool> MemoryHotKeyService::isHeldByAnotherClient(quint32 keyCode, quint32 modifiers)
{
    return std::any_of(heldElsewhere_.cbegin(), heldElsewhere_.cend(), [&](const Combination& c) {
        return c.keyCode == keyCode && c.modifiers == modifiers;
    });
}

void MemoryHotKeyService::holdElsewhere(quint32 keyCode, quint32 modifiers)
{
    heldElsewhere_.push_back({keyCode, modifiers});
}

bool MemoryHotKeyService::press(quint32 keyCode, quint32 modifiers)
{
    std::vector<EventHotKeyID> pressed;
    for (const Registration& registration : registrations_) {
        if (registration.keyCode == keyCode && registration.modifiers == modifiers) {
            pressed.push_back(registration.id);
        }
    }
    for (const EventHotKeyID& id : pressed) {
        sendEvent(HotKeyEvent({hotkey::kEventClassKeyboard, hotkey::kEventHotKeyPressed}, id));
    }
    return !pressed.empty();
}

int MemoryHotKeyService::sendEvent(const HotKeyEvent& event)
{
    const EventTypeSpec type{event.eventClass(), event.eventKind()};
    // A handler may install or remove handlers: walk a copy.
    const std::vector<Handler> handlers = handlers_;
    for (const Handler& handler : handlers) {
        if (handler.type != type || !handler.handler) {
            continue;
        }
        const int status = handler.handler(event);
        if (status != hotkey::kEventNotHandledErr) {
            return status;
        }
    }
    return hotkey::kEventNotHandledErr;
}

} // namespace zarvo
