#pragma once

#include "platform/hotkeyservice.h"

#include <QtGlobal>

#include <vector>

namespace zarvo {

// A hot key service without a desktop: registrations are kept in memory,
// other programs' combinations are declared with holdElsewhere(), and
// press() plays the part of the user. For tests, and for running without an
// X server.
class MemoryHotKeyService final : public HotKeyService {
public:
    struct Registration {
        EventHotKeyRef ref = 0;
        quint32 keyCode = 0;
        quint32 modifiers = 0;
        EventHotKeyID id;
    };

    int installEventHandler(EventTypeSpec type, EventHandler handler,
                            EventHandlerRef* outRef) override;
    int removeEventHandler(EventHandlerRef ref) override;
    int registerEventHotKey(quint32 keyCode, quint32 modifiers, EventHotKeyID id, quint32 options,
                            EventHotKeyRef* outRef) override;
    int unregisterEventHotKey(EventHotKeyRef ref) override;
    std::optional<bool> isHeldByAnotherClient(quint32 keyCode, quint32 modifiers) override;

    // Another program takes the combination: registering it fails from now on.
    void holdElsewhere(quint32 keyCode, quint32 modifiers);
    // Makes the next installEventHandler() fail with STATUS.
    void failNextInstall(int status) { failNextInstall_ = status; }

    // The user presses the combination: every registration of it sends a
    // hot-key-pressed event. False when nothing is registered for it.
    bool press(quint32 keyCode, quint32 modifiers);
    // Delivers EVENT to the handlers of its type; the status of the one that
    // handled it, kEventNotHandledErr when none did.
    int sendEvent(const HotKeyEvent& event);

    const std::vector<Registration>& registrations() const { return registrations_; }
    int installedHandlerCount() const { return int(handlers_.size()); }
    int installCalls() const { return installCalls_; }
    int removeCalls() const { return removeCalls_; }

private:
    struct Handler {
        EventHandlerRef ref = 0;
        EventTypeSpec type;
        EventHandler handler;
    };
    struct Combination {
        quint32 keyCode = 0;
        quint32 modifiers = 0;
    };

    std::vector<Handler> handlers_;
    std::vector<Registration> registrations_;
    std::vector<Combination> heldElsewhere_;
    quint64 nextRef_ = 1;
    int failNextInstall_ = hotkey::kNoErr;
    int installCalls_ = 0;
    int removeCalls_ = 0;
};

} // namespace zarvo
