#include "panel/listedprojects.h"

#include "panel/projectsearch.h"
#include "projects/projectstore.h"
#include "projects/projectusage.h"

#include <QDateTime>
#include <QHash>

#include <mutex>
#include <optional>

namespace zarvo {
namespace {

// The most used projects for the names and scores they came from. Both are
// handed out shared while their files are unchanged (the store's kept names,
// the kept scores), so sharing the same data proves the result still holds;
// this copy keeps that data alive, so its address cannot come back for other
// data. Finding the scored names among 100,000 costs 7 ms; this, nothing.
struct KeptMostUsed {
    QStringList names;
    QHash<QString, double> scores;
    QStringList listed;
};
std::mutex gKeptMutex;
std::optional<KeptMostUsed> gKept;

QStringList mostUsedKept(const QStringList& names, const QHash<QString, double>& scores)
{
    {
        const std::lock_guard lock(gKeptMutex);
        if (gKept && gKept->names.isSharedWith(names) && gKept->scores.isSharedWith(scores) &&
            !names.isEmpty() && !scores.isEmpty()) {
            return gKept->listed;
        }
    }
    QStringList listed = mostUsed(names, scores, kMostUsedListed);
    const std::lock_guard lock(gKeptMutex);
    gKept = KeptMostUsed{names, scores, listed};
    return listed;
}

// The matches in the order the settings ask for; BYUSE is ordersByUse().
QStringList listedBy(const QString& text, const QStringList& names, bool byUse)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (text.isEmpty()) {
        return byUse ? mostUsedKept(names, ProjectUsage::scores(now)) : QStringList();
    }
    QStringList matches = ProjectSearch(text).filter(names);
    if (!byUse || matches.size() < 2) {
        return matches;
    }
    return orderedByScore(matches, ProjectUsage::scores(now));
}

} // namespace

QStringList listedProjects(const QString& text)
{
    const bool byUse = ordersByUse();
    // The empty text in the store's order lists nothing: no need to read the store.
    if (text.isEmpty() && !byUse) {
        return {};
    }
    return listedBy(text, ProjectStore::projectNames(), byUse);
}

QStringList listedProjects(const QString& text, const QStringList& names)
{
    return listedBy(text, names, ordersByUse());
}

} // namespace zarvo
