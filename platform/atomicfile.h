#pragma once

#include "platform/status.h"

#include <QByteArray>
#include <QString>

namespace zarvo {

// Replaces the file at path with contents so that a reader sees either the
// old file or the new one, never a mix: the bytes go to a temporary file
// created exclusively in the same directory, are flushed to disk, and the
// temporary file is renamed over the target. A new file is readable and
// writable by its owner only; an existing file keeps its mode. On failure the
// old file is left as it was and the temporary file is removed. Temporary
// files of earlier writes to PATH that were killed before they could remove
// them (named PATH.zarvo-XXXXXX, ours, unchanged for over a minute) are
// removed first.
Status writeFileAtomically(const QString& path, const QByteArray& contents);

} // namespace zarvo
