#pragma once

#include <QString>

namespace zarvo {

// Writes one diagnostic line to stderr and to the system log (ident "zarvo").
void logLine(const QString& line);

} // namespace zarvo
