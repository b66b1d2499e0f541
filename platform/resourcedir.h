#pragma once

#include <QString>

#include <optional>

namespace zarvo {

// Where the two property lists live: $ZARVO_RESOURCES when set, otherwise
// $XDG_DATA_HOME/zarvo (~/.local/share/zarvo by default).
QString resourceDirectory();

// Creates the resource directory when needed and seeds a missing
// "projects.plist" or "settings.plist" from the copies shipped with the
// application. Called once at start-up; files already there are never touched.
void prepareResourceDirectory();

// The path of the resource NAME.TYPE when that file exists, like a bundle's
// resource lookup; absent otherwise. Resolved anew on every call.
std::optional<QString> pathForResource(const QString& name, const QString& type);

} // namespace zarvo
