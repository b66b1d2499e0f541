#pragma once

#include "panel/panelgeometry.h"

#include <QObject>

namespace zarvo {

// The input event the application is dispatching at this moment, as far as
// the panel's open animation needs it: whether it is a left mouse-button
// press and which modifiers it carries. Outside the dispatch of an input event
// (a global hot key, a timer) there is none.
class CurrentEvent final : public QObject {
    Q_OBJECT
public:
    // Starts watching the application's input events; later calls do nothing.
    static void install();
    // The event being dispatched now; a default OpeningEvent when there is none.
    static panel_geometry::OpeningEvent current();
    // A left click that reached the application without an input event of
    // its own (a tray host's activation over D-Bus), MODIFIERS held: current
    // until the event loop's next turn. Installs the watcher if need be.
    static void noteClick(Qt::KeyboardModifiers modifiers);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CurrentEvent() = default;
    void forget();
    void forgetSoon();

    panel_geometry::OpeningEvent event_;
    bool forgetQueued_ = false;
};

} // namespace zarvo
