#pragma once

#include "platform/atomicfile.h"

#include <QString>

namespace zarvo {

// Whether only the current user can have written PATH: the file and the
// directory holding it must be owned by the current user and writable by
// nobody else (not by everyone, and not by a group that has other members).
// A file that does not exist is trusted as far as its directory is. The
// failure says what is wrong and how to fix it.
Status checkOnlyOwnerCanWrite(const QString& path);

} // namespace zarvo
