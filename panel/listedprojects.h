#pragma once

#include <QString>
#include <QStringList>

namespace zarvo {

// How many projects the empty search text lists with "Order" = "use".
inline constexpr qsizetype kMostUsedListed = 5;

// The names the search lists for TEXT, as the panel and `zarvo search` list
// them: the store's names that match (ProjectSearch), in the store's order or,
// with "Order" = "use" in the settings, by frecency score with ties in the
// store's order. The empty text lists nothing, or with "use" the up to
// kMostUsedListed most used projects.
QStringList listedProjects(const QString& text);
// The same among NAMES, the store's names as just read.
QStringList listedProjects(const QString& text, const QStringList& names);

} // namespace zarvo
