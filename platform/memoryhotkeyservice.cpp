#include "platform/memoryhotkeyservice.h"

#include <algorithm>

namespace zarvo {

HotKeyResult MemoryHotKeyService::registerShortcut(HotKeyId id, quint64 keyCode, quint64 modifiers)
{
    unregisterShortcut(id);
    if (failAll_) {
        return HotKeyResult::failed(*failAll_);
    }
    const auto same = [&](const auto& other) {
        return other.keyCode == keyCode && other.modifiers == modifiers;
    };
    if (std::any_of(heldElsewhere_.cbegin(), heldElsewhere_.cend(), same) ||
        std::any_of(registrations_.cbegin(), registrations_.cend(), same)) {
        return HotKeyResult::failed(HotKeyFailure::taken);
    }
    registrations_.push_back({id, keyCode, modifiers});
    return HotKeyResult::success();
}

void MemoryHotKeyService::unregisterShortcut(HotKeyId id)
{
    std::erase_if(registrations_, [id](const Registration& r) { return r.id == id; });
}

std::optional<bool> MemoryHotKeyService::isHeldByAnotherClient(quint64 keyCode, quint64 modifiers)
{
    return std::any_of(heldElsewhere_.cbegin(), heldElsewhere_.cend(), [&](const Combination& c) {
        return c.keyCode == keyCode && c.modifiers == modifiers;
    });
}

void MemoryHotKeyService::holdElsewhere(quint64 keyCode, quint64 modifiers)
{
    heldElsewhere_.push_back({keyCode, modifiers});
}

bool MemoryHotKeyService::press(quint64 keyCode, quint64 modifiers)
{
    std::vector<HotKeyId> pressed;
    for (const Registration& registration : registrations_) {
        if (registration.keyCode == keyCode && registration.modifiers == modifiers) {
            pressed.push_back(registration.id);
        }
    }
    for (const HotKeyId id : pressed) {
        Q_EMIT activated(id);
    }
    return !pressed.empty();
}

} // namespace zarvo
