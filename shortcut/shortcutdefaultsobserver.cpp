#include "shortcut/shortcutdefaultsobserver.h"

#include "platform/defaultsstore.h"
#include "shortcut/shortcutview.h"

namespace zarvo {

ShortcutDefaultsObserver::ShortcutDefaultsObserver(ShortcutView& shortcutView,
                                                   const QString& userDefaultsKey)
    : originalShortcut_(shortcutView.shortcutValue()), userDefaultsKey_(userDefaultsKey),
      shortcutView_(&shortcutView)
{
    startObservingShortcutView();
}

ShortcutDefaultsObserver::~ShortcutDefaultsObserver()
{
    stopObservingShortcutView();
}

void ShortcutDefaultsObserver::startObservingShortcutView()
{
    DefaultsStore& store = DefaultsStore::standardUserDefaults();
    // Not observed yet: showing the stored value writes nothing back.
    if (shortcutView_) {
        shortcutView_->setShortcutValue(
            Shortcut::shortcutWithData(store.dataForKey(userDefaultsKey_)));
    }
    observedStore_ = &store;
    storeObservation_ = connect(&store, &DefaultsStore::didChange, this,
                                &ShortcutDefaultsObserver::userDefaultsDidChange);
    if (shortcutView_) {
        viewObservation_ = connect(shortcutView_.data(), &ShortcutView::shortcutValueChanged, this,
                                   &ShortcutDefaultsObserver::shortcutValueDidChange);
    }
}

void ShortcutDefaultsObserver::stopObservingShortcutView()
{
    disconnect(viewObservation_);
    disconnect(storeObservation_);
    observedStore_ = nullptr;
    // No longer observed: giving the old value back leaves the store alone.
    if (shortcutView_) {
        shortcutView_->setShortcutValue(originalShortcut_);
    }
}

void ShortcutDefaultsObserver::userDefaultsDidChange()
{
    if (internalPreferenceChange_ || !observedStore_ || !shortcutView_) {
        return;
    }
    // Read from the store that announced the change.
    const std::optional<QByteArray> data = observedStore_->dataForKey(userDefaultsKey_);
    const QPointer<ShortcutDefaultsObserver> alive(this);
    internalShortcutChange_ = true;
    shortcutView_->setShortcutValue(Shortcut::shortcutWithData(data));
    if (alive) {
        internalShortcutChange_ = false;
    }
}

void ShortcutDefaultsObserver::shortcutValueDidChange()
{
    if (internalShortcutChange_ || !shortcutView_) {
        return;
    }
    const std::optional<Shortcut> value = shortcutView_->shortcutValue();
    const QByteArray data = value ? value->data() : Shortcut::archivedDataWithEmptyRoot();
    DefaultsStore& store = DefaultsStore::standardUserDefaults();
    const QPointer<ShortcutDefaultsObserver> alive(this);
    internalPreferenceChange_ = true;
    store.setObject(data, userDefaultsKey_);
    // A failed write is not reported: the value holds in memory meanwhile.
    store.synchronize();
    if (alive) {
        internalPreferenceChange_ = false;
    }
}

} // namespace zarvo
