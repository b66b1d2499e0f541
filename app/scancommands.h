#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace zarvo {

// Reports PROBLEM with the subcommand's usage line; returns the exit status.
using UsageError = std::function<int(const QString& problem)>;

// `zarvo scan [--dry-run] [--depth N] DIR...`: adds the project folders found
// in and below each DIR, printing "NAME<TAB>PATH" for each. Exit status 0
// (also when nothing was found), 2 for a usage error such as a DIR that is
// not a folder, 1 when the store could not be read or written.
int runScanCommand(const QStringList& args, const UsageError& usageError);

// `zarvo import vscode|jetbrains [--dry-run]`: the same for the folders the
// editor opened recently.
int runImportCommand(const QStringList& args, const UsageError& usageError);

} // namespace zarvo
