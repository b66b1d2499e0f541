#pragma once

#include "shortcut/shortcut.h"

class QKeyEvent;

namespace zarvo {

// The shortcut of a key event: the virtual key code of the pressed key (from
// the event's native X11 keycode; for an event without one, as synthesized
// events are, from its Qt key on a US keyboard), and its modifiers: Shift,
// Control, Alt as Option and Super (Qt's Meta) as Command. A key with no
// virtual key code gives the no-key value.
Shortcut shortcutWithEvent(const QKeyEvent& event);

} // namespace zarvo
