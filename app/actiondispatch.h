#pragma once

#include <QByteArray>

class QObject;

namespace zarvo {

// Delivers an action, named by its method ("togglePanel"), the way the tray
// icon and the menu items send theirs. With a TARGET that has a slot of that
// name, the target receives it. Without one, the application looks for a
// receiver itself: its own "terminate" (quit), then the application delegate.
// Returns false when nobody handles the action; nothing happens then.
bool sendAction(const QByteArray& action, QObject* target);

// Asks the application to quit: the delegate gets its say, then the event
// loop ends.
void terminateApplication();

} // namespace zarvo
