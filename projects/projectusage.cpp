#include "projects/projectusage.h"

#include "platform/filestamp.h"
#include "platform/plistio.h"
#include "projects/projectstore.h"
#include "projects/textform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <functional>
#include <mutex>
#include <numeric>

#include <sys/stat.h>

namespace zarvo {
namespace {

const QString kUsesKey = QStringLiteral("uses");

// The records as they are on disk; none when the file is missing or broken.
QVariantMap readUsage(const QString& path)
{
    return plist::readDictionaryFile(path).value_or(QVariantMap());
}

// Reads the records, lets CHANGE edit them, and writes them back when it
// answers true. A broken file counts as empty and is replaced by a new
// owner-only one.
Status modifyUsage(const std::function<bool(QVariantMap&)>& change)
{
    const QString path = ProjectUsage::usagePath();
    plist::ReadReport report;
    std::optional<QVariantMap> records = plist::readDictionaryFile(path, Writers::anyone, &report);
    const bool broken = !records && report.outcome != plist::ReadReport::Outcome::missing;
    if (!records) {
        records = QVariantMap();
    }
    if (!change(*records)) {
        return Status::success();
    }
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder)) {
        return Status::failure(QStringLiteral("cannot create %1").arg(folder));
    }
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    if (broken) {
        // A new file rather than the old one's mode or owner.
        QFile::remove(path);
    }
    return writeFileAtomically(path, plist::toXml(*records));
}

QList<qint64> usesOf(const QVariant& record)
{
    QList<qint64> uses;
    const QVariantList list = record.toMap().value(kUsesKey).toList();
    uses.reserve(list.size());
    for (const QVariant& use : list) {
        bool ok = false;
        const qint64 seconds = use.toLongLong(&ok);
        if (ok) {
            uses.append(seconds);
        }
    }
    return uses;
}

} // namespace

QString ProjectUsage::usagePath()
{
    QString base = QString::fromLocal8Bit(qgetenv("XDG_STATE_HOME"));
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return base + QStringLiteral("/zarvo/usage.plist");
}

Status ProjectUsage::recordUse(const QString& name, qint64 now)
{
    return modifyUsage([&](QVariantMap& records) {
        QVariantMap record = records.value(name).toMap();
        QVariantList uses = record.value(kUsesKey).toList();
        uses.append(now);
        if (uses.size() > kMaxUsesKept) {
            uses = uses.mid(uses.size() - kMaxUsesKept);
        }
        record.insert(kUsesKey, uses);
        records.insert(name, record);
        return true;
    });
}

Status ProjectUsage::forget(const QString& name)
{
    if (!QFileInfo::exists(usagePath())) {
        return Status::success();
    }
    return modifyUsage([&](QVariantMap& records) { return records.remove(name) > 0; });
}

Status ProjectUsage::rename(const QString& from, const QString& to)
{
    if (from == to || !QFileInfo::exists(usagePath())) {
        return Status::success();
    }
    return modifyUsage([&](QVariantMap& records) {
        if (!records.contains(from)) {
            return false;
        }
        records.insert(to, records.take(from));
        return true;
    });
}

namespace {

// The scores of the last reading, handed out again while the file's stamp
// proves it unchanged and they are under a minute old: the search asks for
// them on every keystroke. A launch changes the file, so what it recorded
// counts at once; only the weights' age steps may come up to a minute late.
struct KeptScores {
    QString path;
    FileStamp stamp;
    qint64 computedAt = 0;
    QHash<QString, double> scores;
};
constexpr qint64 kScoresKeptSeconds = 60;
std::mutex gKeptMutex;
std::optional<KeptScores> gKept;

} // namespace

QHash<QString, double> ProjectUsage::scores(qint64 now)
{
    const QString path = usagePath();
    const std::optional<FileStamp> stamp = fileStamp(path);
    if (stamp && isSettled(*stamp)) {
        const std::lock_guard lock(gKeptMutex);
        if (gKept && gKept->path == path && gKept->stamp == *stamp && now >= gKept->computedAt &&
            now - gKept->computedAt < kScoresKeptSeconds) {
            return gKept->scores;
        }
    }
    QHash<QString, double> scores;
    const QVariantMap records = readUsage(path);
    scores.reserve(records.size());
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        const QList<qint64> uses = usesOf(it.value());
        const double score =
            std::accumulate(uses.cbegin(), uses.cend(), 0.0, [now](double sum, qint64 use) {
                return sum + frecencyWeight(now - use);
            });
        if (score > 0) {
            scores.insert(it.key(), score);
        }
    }
    // Kept only when the file did not change while it was read.
    if (stamp && isSettled(*stamp) && fileStamp(path) == stamp) {
        const std::lock_guard lock(gKeptMutex);
        gKept = KeptScores{path, *stamp, now, scores};
    }
    return scores;
}

double frecencyWeight(qint64 ageSeconds)
{
    constexpr qint64 kHour = 60 * 60;
    constexpr qint64 kDay = 24 * kHour;
    constexpr qint64 kWeek = 7 * kDay;
    // A use "in the future" (the clock was set back) counts as a recent one.
    if (ageSeconds < kHour) {
        return 4.0;
    }
    if (ageSeconds < kDay) {
        return 2.0;
    }
    if (ageSeconds < kWeek) {
        return 0.5;
    }
    return 0.25;
}

QStringList orderedByScore(const QStringList& names, const QHash<QString, double>& scores)
{
    if (scores.isEmpty()) {
        return names;
    }
    struct Ranked {
        double score;
        qsizetype index;
    };
    QList<Ranked> ranked;
    ranked.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        ranked.append({scores.value(names[i], 0.0), i});
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const Ranked& a, const Ranked& b) { return a.score > b.score; });
    QStringList ordered;
    ordered.reserve(names.size());
    for (const Ranked& r : ranked) {
        ordered.append(names[r.index]);
    }
    return ordered;
}

QStringList mostUsed(const QStringList& names, const QHash<QString, double>& scores,
                     qsizetype limit)
{
    QStringList used;
    if (scores.isEmpty()) {
        return used;
    }
    for (const QString& name : names) {
        if (scores.contains(name)) {
            used.append(name);
        }
    }
    used = orderedByScore(used, scores);
    if (used.size() > limit) {
        used.resize(limit);
    }
    return used;
}

bool ordersByUse()
{
    const std::optional<LaunchSettings> settings = ProjectStore::loadSettings();
    return settings && textForm(*settings, setting_key::order) == QLatin1String("use");
}

} // namespace zarvo
