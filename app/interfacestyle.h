#pragma once

#include <QString>

#include <functional>

class QPalette;

namespace zarvo {

// The system appearance setting "AppleInterfaceStyle" as this desktop answers
// it: "Dark" when the bar is dark, a null string otherwise.
//
// The user's defaults (DefaultsStore::standardUserDefaults()) may force it:
// an entry "AppleInterfaceStyle" with the text "Dark" forces the dark look,
// any other text the light one. Without that entry the desktop's colour
// scheme decides (the application palette's window colour, which follows the
// desktop theme).
QString interfaceStyle();

// True when a window of PALETTE reads as dark.
bool paletteIsDark(const QPalette& palette);

// Replaces the user's defaults as the source of the forced value (tests): the
// source returns the entry's text, or a null string when there is none. An
// empty SOURCE goes back to the defaults.
using InterfaceStyleOverride = std::function<QString()>;
void setInterfaceStyleOverride(InterfaceStyleOverride source);

} // namespace zarvo
