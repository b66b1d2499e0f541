#pragma once

#include "platform/atomicfile.h"
#include "projects/projectstore.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace zarvo {

// A project found by a scan or in an editor's history, under the name it
// would be stored as.
struct NewProject {
    QString name;
    QString path;
    // The folder's own name was taken: NAME is "FOLDER (PARENT)".
    bool renamed = false;
};

// A found project that cannot be added, and why.
struct SkippedProject {
    QString path;
    QString reason;
};

// What adding a list of found projects to a store would do.
struct NewProjectsPlan {
    QList<NewProject> additions; // in the order found
    QList<SkippedProject> skipped;
    int alreadyStored = 0; // paths the store holds already, also found twice
};

// Names PATHS (absolute folders, or project files) for STORE, a projects
// dictionary. A path the store or an earlier path holds already (trailing
// slashes aside) is left out. A project is named after its folder (a
// ".code-workspace" file after its name without that suffix); when that name
// is taken it becomes "NAME (PARENT)", PARENT being the name of the folder
// above, and when that is taken too, the project is skipped. Nothing stored
// is ever replaced.
NewProjectsPlan planNewProjects(const QVariantMap& store, const QStringList& paths);

// The entry a found project is stored with: its path, no pull, no file
// manager, no custom open command, no commands.
ProjectEntry newProjectEntry(const QString& path);

// Stores ADDITIONS in one rewrite of the projects file. A name taken since
// the plan was made keeps its entry and that project is not added; ADDED
// receives the names stored, in order.
Status addNewProjects(const QList<NewProject>& additions, QStringList* added);

} // namespace zarvo
