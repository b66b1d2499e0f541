#pragma once

#include "platform/atomicfile.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace zarvo {

// How often and how lately each project was launched, for ordering the
// search by use. The records live in $XDG_STATE_HOME/zarvo/usage.plist
// (~/.local/state/zarvo by default), apart from the store: a dictionary from
// project name to {"uses": [launch times in seconds since 1970, newest last]}.
// A missing or broken file reads as no uses; the next change writes a new one.
class ProjectUsage final {
public:
    ProjectUsage() = delete;

    static QString usagePath();

    // Adds a use of NAME at NOW (seconds since 1970). Keeps the newest
    // kMaxUsesKept uses of each project.
    static Status recordUse(const QString& name, qint64 now);
    // Drops NAME's record (the project was removed). A file without one is
    // left alone.
    static Status forget(const QString& name);
    // Moves FROM's record to TO (the project was renamed), replacing any
    // record TO had. A file without a record of FROM is left alone. Call it
    // before the store drops FROM: ProjectStore::removeProject forgets
    // FROM's record.
    static Status rename(const QString& from, const QString& to);

    // The frecency score of every project with a record, at NOW: the sum of
    // frecencyWeight() over its uses. Read from the file as it is now (its
    // parse is kept while the file is unchanged).
    static QHash<QString, double> scores(qint64 now);

    static constexpr int kMaxUsesKept = 32;
};

// What one use AGESECONDS ago counts: 4 within the hour, 2 within the day,
// 0.5 within the week, 0.25 after that (zoxide's weights, applied per use).
double frecencyWeight(qint64 ageSeconds);

// NAMES ordered by SCORES, highest first; names without a score count 0, and
// equal scores keep the order of NAMES.
QStringList orderedByScore(const QStringList& names, const QHash<QString, double>& scores);

// The up to LIMIT names of NAMES with a score, highest first, ties in the
// order of NAMES.
QStringList mostUsed(const QStringList& names, const QHash<QString, double>& scores,
                     qsizetype limit);

// Whether the settings ask for the most used projects first ("Order" = "use").
bool ordersByUse();

} // namespace zarvo
