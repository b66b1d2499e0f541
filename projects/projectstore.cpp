#include "projects/projectstore.h"

#include "platform/diagnostics.h"
#include "platform/plistio.h"
#include "platform/resourcedir.h"
#include "projects/projectusage.h"

#include <functional>

namespace zarvo {
namespace {

std::optional<QVariantMap> readDictionary(const std::optional<QString>& path, Writers writers,
                                          plist::ReadReport* report)
{
    if (!path) {
        if (report) {
            *report = {plist::ReadReport::Outcome::missing, QString()};
        }
        return std::nullopt;
    }
    return plist::readDictionaryFile(*path, writers, report);
}

// Read the whole file, change it, write it all back. A file that cannot be
// found or read leaves nothing to modify, so nothing is written; nor is
// anything when CHANGE answers false.
Status modify(const std::optional<QString>& path, const std::function<bool(QVariantMap&)>& change)
{
    if (!path) {
        return Status::failure(QStringLiteral("the file does not exist"));
    }
    plist::ReadReport report;
    auto dict = plist::readDictionaryFile(*path, Writers::anyone, &report);
    if (!dict) {
        if (report.reason.isEmpty()) {
            return Status::failure(QStringLiteral("%1 is not a readable property list").arg(*path));
        }
        return Status::failure(report.reason);
    }
    if (!change(*dict)) {
        return Status::success();
    }
    Status status = writeFileAtomically(*path, plist::toXml(*dict));
    if (!status.ok()) {
        logLine(QStringLiteral("Could not save: %1").arg(status.error));
    }
    return status;
}

} // namespace

std::optional<QString> ProjectStore::projectsPath()
{
    return pathForResource(QStringLiteral("projects"), QStringLiteral("plist"));
}

std::optional<QString> ProjectStore::settingsPath()
{
    return pathForResource(QStringLiteral("settings"), QStringLiteral("plist"));
}

std::optional<QVariantMap> ProjectStore::loadProjects()
{
    return readDictionary(projectsPath(), Writers::anyone, nullptr);
}

std::optional<ProjectEntry> ProjectStore::projectEntry(const QString& name, Writers writers,
                                                       plist::ReadReport* report)
{
    // The one entry, read without building the others.
    const auto path = projectsPath();
    if (!path && report) {
        *report = {plist::ReadReport::Outcome::missing, QString()};
    }
    const auto entry =
        path ? plist::readDictionaryValue(*path, name, writers, report) : std::nullopt;
    if (!entry || entry->metaType().id() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    return entry->toMap();
}

QStringList ProjectStore::projectNames(plist::ReadReport* report)
{
    // The dictionary's own order: keys sorted by their UTF-16 code units.
    const auto path = projectsPath();
    if (!path) {
        if (report) {
            *report = {plist::ReadReport::Outcome::missing, QString()};
        }
        return QStringList();
    }
    return plist::readDictionaryKeys(*path, Writers::anyone, report).value_or(QStringList());
}

Status ProjectStore::saveProject(const QString& name, const ProjectEntry& entry)
{
    return modify(projectsPath(), [&](QVariantMap& dict) {
        dict.insert(name, entry);
        return true;
    });
}

Status ProjectStore::addProjects(const QList<NamedEntry>& entries, QStringList* added)
{
    QStringList stored;
    if (entries.isEmpty()) {
        if (added) {
            added->clear();
        }
        return Status::success();
    }
    const Status status = modify(projectsPath(), [&](QVariantMap& dict) {
        for (const NamedEntry& named : entries) {
            if (!dict.contains(named.name)) {
                dict.insert(named.name, named.entry);
                stored << named.name;
            }
        }
        return !stored.isEmpty();
    });
    if (added) {
        *added = status.ok() ? stored : QStringList();
    }
    return status;
}

Status ProjectStore::removeProject(const QString& name, QVariant* removed)
{
    QVariant old;
    const Status status = modify(projectsPath(), [&](QVariantMap& dict) {
        old = dict.take(name);
        return true;
    });
    if (removed) {
        *removed = status.ok() ? old : QVariant();
    }
    // A removed project's uses go with it; a failure there only logs.
    if (status.ok()) {
        if (const Status forgotten = ProjectUsage::forget(name); !forgotten.ok()) {
            logLine(QStringLiteral("Could not update the usage records: %1").arg(forgotten.error));
        }
    }
    return status;
}

Status ProjectStore::restoreProject(const QString& name, const QVariant& value)
{
    bool taken = false;
    const Status status = modify(projectsPath(), [&](QVariantMap& dict) {
        taken = dict.contains(name);
        if (!taken) {
            dict.insert(name, value);
        }
        return !taken;
    });
    if (status.ok() && taken) {
        return Status::failure(QStringLiteral("a project named \"%1\" exists again").arg(name));
    }
    return status;
}

Status ProjectStore::editProject(const QString& name, const QString& newName,
                                 const ProjectEntry& changes, bool replace)
{
    QString problem;
    const Status status = modify(projectsPath(), [&](QVariantMap& dict) {
        const auto old = dict.constFind(name);
        if (old == dict.constEnd()) {
            problem = QStringLiteral("no project named \"%1\"").arg(name);
            return false;
        }
        if (newName != name && dict.contains(newName) && !replace) {
            problem = QStringLiteral("a project named \"%1\" already exists").arg(newName);
            return false;
        }
        // A value that is not a dictionary has no keys to keep.
        ProjectEntry entry = old->toMap();
        for (auto change = changes.cbegin(); change != changes.cend(); ++change) {
            entry.insert(change.key(), change.value());
        }
        dict.remove(name);
        dict.insert(newName, entry);
        return true;
    });
    if (status.ok() && !problem.isEmpty()) {
        return Status::failure(problem);
    }
    // A renamed project keeps its uses; a failure there only logs.
    if (status.ok() && newName != name) {
        if (const Status moved = ProjectUsage::rename(name, newName); !moved.ok()) {
            logLine(QStringLiteral("Could not update the usage records: %1").arg(moved.error));
        }
    }
    return status;
}

std::optional<LaunchSettings> ProjectStore::loadSettings(Writers writers, plist::ReadReport* report)
{
    return readDictionary(settingsPath(), writers, report);
}

Status ProjectStore::saveSetting(const QString& key, const QString& value)
{
    return modify(settingsPath(), [&](QVariantMap& dict) {
        dict.insert(key, value);
        return true;
    });
}

} // namespace zarvo
