#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace zarvo {

// Why the desktop did not give us a hot key.
enum class HotKeyFailure {
    taken,       // another program (or another of ours) holds the combination
    unsupported, // this desktop session offers no global hot keys to us
    invalid,     // the combination names no key this desktop knows
    refused,     // the desktop said no (its dialog was dismissed, say)
};

// The outcome of a registration: no failure means the hot key is ours.
struct HotKeyResult {
    std::optional<HotKeyFailure> failure;
    bool ok() const { return !failure.has_value(); }
    static HotKeyResult success() { return {}; }
    static HotKeyResult failed(HotKeyFailure why) { return {why}; }
};

// Names a registration towards its service; chosen by the caller.
using HotKeyId = quint32;

// The desktop's system-wide hot keys. A registration names a key by its
// virtual key code (platform/keycodes.h) and the modifiers by the bits of
// shortcut/shortcut.h (modifier::kShift, kControl, kOption, kCommand); every
// press of it anywhere in the session emits activated() with its id, on the
// main thread.
class HotKeyService : public QObject {
    Q_OBJECT
public:
    ~HotKeyService() override = default;

    // Registers the combination exclusively under ID (an id already
    // registered is replaced). Fails with the reason when the desktop will
    // not have it; some desktops only answer later, through
    // registrationFailed().
    virtual HotKeyResult registerShortcut(HotKeyId id, quint64 keyCode, quint64 modifiers) = 0;
    // Ends the registration of ID; an unknown id is ignored.
    virtual void unregisterShortcut(HotKeyId id) = 0;
    // Whether a combination another program holds fails as `taken`. Where it
    // cannot tell (a desktop that resolves conflicts itself), false.
    virtual bool canTellTaken() const = 0;
    // Whether another program holds the combination as its own system-wide
    // shortcut (this service's own registrations do not count). Nothing when
    // the desktop cannot tell.
    virtual std::optional<bool> isHeldByAnotherClient(quint64 keyCode, quint64 modifiers) = 0;

Q_SIGNALS:
    // The user pressed the hot key registered under ID.
    void activated(HotKeyId id);
    // Just before activated(): the desktop's token for the press, which lets
    // the window it opens take the focus where the desktop guards it.
    void activationTokenGiven(const QByteArray& token);
    // A registration that was accepted did not come to be after all, or the
    // desktop took it back.
    void registrationFailed(HotKeyId id, HotKeyFailure why);
    // The desktop lets the user choose the trigger itself: TRIGGER is its
    // text for what ID is now bound to ("" for nothing).
    void triggerChanged(HotKeyId id, const QString& trigger);
};

// A hot key service that has none to give: every registration is
// `unsupported`. For a desktop session without any backend.
class NoHotKeyService final : public HotKeyService {
    Q_OBJECT
public:
    HotKeyResult registerShortcut(HotKeyId, quint64, quint64) override
    {
        return HotKeyResult::failed(HotKeyFailure::unsupported);
    }
    void unregisterShortcut(HotKeyId) override {}
    bool canTellTaken() const override { return false; }
    std::optional<bool> isHeldByAnotherClient(quint64, quint64) override { return std::nullopt; }
};

} // namespace zarvo
