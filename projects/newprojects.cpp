#include "projects/newprojects.h"

#include <QSet>

namespace zarvo {
namespace {

QString withoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return path;
}

// The last component of PATH, and of the folder above it.
QString lastComponent(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? path.left(slash) : QString();
}

QString projectName(const QString& path)
{
    static const QLatin1String workspace(".code-workspace");
    QString name = lastComponent(path);
    if (name.endsWith(workspace) && name.size() > workspace.size()) {
        name.chop(workspace.size());
    }
    return name;
}

} // namespace

ProjectEntry newProjectEntry(const QString& path)
{
    return {{entry_key::filePath, path},
            {entry_key::doPull, QStringLiteral("0")},
            {entry_key::openFinder, QStringLiteral("0")},
            {entry_key::customOpen, QString()},
            {entry_key::commands, QString()}};
}

NewProjectsPlan planNewProjects(const QVariantMap& store, const QStringList& paths)
{
    QSet<QString> knownPaths;
    for (auto it = store.cbegin(); it != store.cend(); ++it) {
        if (it->metaType().id() == QMetaType::QVariantMap) {
            knownPaths.insert(
                withoutTrailingSlashes(it->toMap().value(entry_key::filePath).toString()));
        }
    }
    QSet<QString> takenNames;
    const auto taken = [&](const QString& name) {
        return store.contains(name) || takenNames.contains(name);
    };

    NewProjectsPlan plan;
    for (const QString& found : paths) {
        const QString path = withoutTrailingSlashes(found);
        if (knownPaths.contains(path)) {
            ++plan.alreadyStored;
            continue;
        }
        knownPaths.insert(path);
        const QString name = projectName(path);
        if (name.isEmpty()) {
            plan.skipped.append({path, QStringLiteral("it has no name")});
            continue;
        }
        if (!taken(name)) {
            takenNames.insert(name);
            plan.additions.append({name, path, false});
            continue;
        }
        const QString parent = lastComponent(parentOf(path));
        const QString renamed = QStringLiteral("%1 (%2)").arg(name, parent);
        if (parent.isEmpty() || taken(renamed)) {
            plan.skipped.append(
                {path,
                 parent.isEmpty()
                     ? QStringLiteral("the name \"%1\" is taken").arg(name)
                     : QStringLiteral("the names \"%1\" and \"%2\" are taken").arg(name, renamed)});
            continue;
        }
        takenNames.insert(renamed);
        plan.additions.append({renamed, path, true});
    }
    return plan;
}

Status addNewProjects(const QList<NewProject>& additions, QStringList* added)
{
    QList<NamedEntry> entries;
    entries.reserve(additions.size());
    for (const NewProject& project : additions) {
        entries.append({project.name, newProjectEntry(project.path)});
    }
    return ProjectStore::addProjects(entries, added);
}

} // namespace zarvo
