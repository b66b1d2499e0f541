// Runs the two editor-history readers on arbitrary bytes (as VS Code's JSON
// and as a JetBrains XML file) and the naming of what they find, and checks
// what every caller relies on: absolute, clean, distinct paths, and names that
// are distinct, not empty and never one the store holds.
#include "projects/editorimport.h"
#include "projects/newprojects.h"

#include <QDir>
#include <QSet>

#include <cstddef>
#include <cstdint>

namespace {

void checkPaths(const QStringList& paths)
{
    QSet<QString> seen;
    for (const QString& path : paths) {
        if (!QDir::isAbsolutePath(path) || QDir::cleanPath(path) != path || seen.contains(path)) {
            __builtin_trap();
        }
        seen.insert(path);
    }
}

void checkPlan(const QStringList& paths)
{
    static const QVariantMap store{
        {QStringLiteral("app"), zarvo::newProjectEntry(QStringLiteral("/home/u/app"))},
        {QStringLiteral("web (src)"), zarvo::newProjectEntry(QStringLiteral("/w"))},
    };
    const zarvo::NewProjectsPlan plan = zarvo::planNewProjects(store, paths);
    QSet<QString> names;
    for (const zarvo::NewProject& project : plan.additions) {
        if (project.name.isEmpty() || store.contains(project.name) ||
            names.contains(project.name)) {
            __builtin_trap();
        }
        names.insert(project.name);
    }
    if (plan.additions.size() + plan.skipped.size() + plan.alreadyStored != paths.size()) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList vscode = zarvo::vscodeRecentPaths(input);
    checkPaths(vscode);
    checkPlan(vscode);
    QString error;
    const QStringList jetbrains =
        zarvo::jetbrainsRecentPaths(input, QStringLiteral("/home/u"), &error);
    checkPaths(jetbrains);
    checkPlan(jetbrains);
    return 0;
}
