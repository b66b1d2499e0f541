#pragma once

#include <QString>
#include <QVariantMap>

namespace zarvo::bench {

// A projects store of COUNT projects with names and entries like a
// developer's: two or three words joined by dashes ("billing-api",
// "café-sync-tools"), about one name in eight with a letter outside ASCII,
// folders under /home/dev/src, some pulling, some with an open command or
// launch commands. The same COUNT always gives the same store.
QVariantMap makeStore(int count);

// Writes makeStore(COUNT) as DIRECTORY/projects.plist (XML, as the
// application writes it) and a settings.plist beside it. False on failure.
bool writeStore(const QString& directory, int count);

// The search text the benchmarks type: it matches roughly one name in ten.
QString searchText();

} // namespace zarvo::bench
