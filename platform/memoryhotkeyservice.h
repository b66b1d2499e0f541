#pragma once

#include "platform/hotkeyservice.h"

#include <QtGlobal>

#include <vector>

namespace zarvo {

// A hot key service without a desktop: registrations are kept in memory,
// other programs' combinations are declared with holdElsewhere(), and
// press() plays the part of the user. For tests.
class MemoryHotKeyService final : public HotKeyService {
    Q_OBJECT
public:
    struct Registration {
        HotKeyId id = 0;
        quint64 keyCode = 0;
        quint64 modifiers = 0;
    };

    HotKeyResult registerShortcut(HotKeyId id, quint64 keyCode, quint64 modifiers) override;
    void unregisterShortcut(HotKeyId id) override;
    bool canTellTaken() const override { return canTellTaken_; }
    std::optional<bool> isHeldByAnotherClient(quint64 keyCode, quint64 modifiers) override;

    // Another program takes the combination: registering it fails from now on.
    void holdElsewhere(quint64 keyCode, quint64 modifiers);
    // Every registration fails with WHY from now on (nothing: they work again).
    void failEveryRegistration(std::optional<HotKeyFailure> why) { failAll_ = why; }
    // Whether canTellTaken() answers true; it does unless told otherwise.
    void setCanTellTaken(bool can) { canTellTaken_ = can; }

    // The user presses the combination: every registration of it is
    // activated. False when nothing is registered for it.
    bool press(quint64 keyCode, quint64 modifiers);

    const std::vector<Registration>& registrations() const { return registrations_; }

private:
    struct Combination {
        quint64 keyCode = 0;
        quint64 modifiers = 0;
    };

    std::vector<Registration> registrations_;
    std::vector<Combination> heldElsewhere_;
    std::optional<HotKeyFailure> failAll_;
    bool canTellTaken_ = true;
};

} // namespace zarvo
