#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace zarvo {

// The defaults key whose text, when set, replaces the help pages' base address.
inline const QString kHelpBaseUrlKey = QStringLiteral("HelpBaseURL");

// The folder of the local help pages next to EXECUTABLEDIR: the first of
//   EXECUTABLEDIR/../share/zarvo/help  (installed under a prefix),
//   EXECUTABLEDIR/share/zarvo/help     (the build tree, copied at build time),
//   SOURCEHELPDIR                      (the source tree's resources/help),
// that holds an index.html. Absent when none does.
std::optional<QString> findHelpDirectory(const QString& executableDir,
                                         const QString& sourceHelpDir);

// findHelpDirectory() for the running executable and this build's sources.
std::optional<QString> localHelpDirectory();

// The base address of the help pages: the defaults' "HelpBaseURL" when it
// holds text, otherwise the file URL of localHelpDirectory(). Empty when there
// is neither.
QString helpBaseUrl();

enum class HelpPage {
    help,           // the index page's "help" section
    launchCommands, // what each launch option does, in the order it runs
};

// The address of PAGE under BASE: BASE + "#help", or BASE + "/launch-commands".
// A local BASE (a file URL or an absolute path) names a folder of pages, so
// the page's index.html is opened: a browser shows a folder as a listing.
// Invalid when BASE is empty.
QUrl helpPageUrl(const QString& base, HelpPage page);

} // namespace zarvo
