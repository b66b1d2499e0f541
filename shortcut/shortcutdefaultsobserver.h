#pragma once

#include "shortcut/shortcut.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

namespace zarvo {

class DefaultsStore;
class ShortcutView;

// Binds a shortcut recorder to a key of the user defaults, both ways: the
// recorder shows what is stored under the key, and what the user records or
// deletes is stored there at once (a deleted shortcut as the archive of an
// empty root, so the key stays). Any change of the store reassigns the
// recorder's value. Each direction has its own flag so that no change echoes
// back. Ending the binding gives the recorder back the value it had before.
//
// The global hot key is not handled here: the user-defaults hot key bound to
// the same key follows the stored value by itself.
//
// Made by ShortcutView::setAssociatedUserDefaultsKey(), which owns it.
class ShortcutDefaultsObserver final : public QObject {
    Q_OBJECT
public:
    // Remembers the recorder's value, shows the stored one (without writing
    // it back) and starts both observations.
    ShortcutDefaultsObserver(ShortcutView& shortcutView, const QString& userDefaultsKey);
    // Stops both observations and gives the recorder its old value back.
    ~ShortcutDefaultsObserver() override;
    ShortcutDefaultsObserver(const ShortcutDefaultsObserver&) = delete;
    ShortcutDefaultsObserver& operator=(const ShortcutDefaultsObserver&) = delete;

    const QString& userDefaultsKey() const { return userDefaultsKey_; }
    // Null once the recorder is gone.
    ShortcutView* shortcutView() const { return shortcutView_; }
    const std::optional<Shortcut>& originalShortcut() const { return originalShortcut_; }

    void startObservingShortcutView();
    void stopObservingShortcutView();

    // The store changed (any key): the recorder shows the stored value.
    void userDefaultsDidChange();
    // The recorder's value was assigned: the store takes it, then is flushed.
    void shortcutValueDidChange();

    // The recorder is being destroyed: nothing is assigned to it any more.
    void forgetShortcutView() { shortcutView_ = nullptr; }

private:
    std::optional<Shortcut> originalShortcut_;
    bool internalPreferenceChange_ = false;
    bool internalShortcutChange_ = false;
    QString userDefaultsKey_;
    QPointer<ShortcutView> shortcutView_;
    QPointer<DefaultsStore> observedStore_;
    QMetaObject::Connection storeObservation_;
    QMetaObject::Connection viewObservation_;
};

} // namespace zarvo
