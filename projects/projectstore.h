#pragma once

#include "platform/atomicfile.h"
#include "platform/plistio.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace zarvo {

// Keys of one project's entry in projects.plist.
namespace entry_key {
inline const QString filePath = QStringLiteral("filePath");
inline const QString doPull = QStringLiteral("doPull");
inline const QString openFinder = QStringLiteral("openFinder");
inline const QString customOpen = QStringLiteral("customOpen");
inline const QString commands = QStringLiteral("commands");
} // namespace entry_key

// Keys of settings.plist.
namespace setting_key {
inline const QString editorCommand = QStringLiteral("Editor Command");
inline const QString terminal = QStringLiteral("Terminal");
// Optional: "use" lists the most used projects first; "store" (or absent)
// keeps the store's order.
inline const QString order = QStringLiteral("Order");
// Optional: "tmux" runs a launch in the project's tmux session; "window" (or
// absent) opens a new terminal window.
inline const QString openIn = QStringLiteral("Open In");
} // namespace setting_key

using ProjectEntry = QVariantMap;
using LaunchSettings = QVariantMap;

// A project to be stored under its name.
struct NamedEntry {
    QString name;
    ProjectEntry entry;
};

// The projects and settings property lists. Nothing is cached: every call
// resolves the file anew and reads it fresh, and every change rewrites the
// whole file atomically, keeping every other key as it was.
//
// Writes report their outcome as a Status. Callers in the interface ignore it,
// as they ignore everything else a write can do wrong; a failed write leaves
// the old file intact and logs one line. A file that cannot be read (not a
// property list, a link to another user's file, ...) is never written.
class ProjectStore final {
public:
    ProjectStore() = delete;

    // The whole store, absent when the file is missing or unreadable.
    static std::optional<QVariantMap> loadProjects();
    // The entry stored under exactly NAME; absent when there is none or when
    // what is stored there is not a dictionary. The file is opened as
    // WRITERS says (platform/filetrust.h); REPORT, when given, says why the
    // file gave nothing.
    static std::optional<ProjectEntry> projectEntry(const QString& name,
                                                    Writers writers = Writers::anyone,
                                                    plist::ReadReport* report = nullptr);
    // Every project name, in the one order every list of names uses. REPORT,
    // when given, says why a store that is there gave no names.
    static QStringList projectNames(plist::ReadReport* report = nullptr);
    // Stores ENTRY under NAME, replacing any old entry as a whole.
    static Status saveProject(const QString& name, const ProjectEntry& entry);
    // Stores every entry of ENTRIES whose name the file does not hold yet, all
    // in one rewrite; a name already stored keeps its entry. ADDED (if given)
    // receives the names stored, in the order of ENTRIES. With nothing new the
    // file is not rewritten.
    static Status addProjects(const QList<NamedEntry>& entries, QStringList* added = nullptr);
    // Deletes NAME's entry; the file is rewritten even when there is none.
    // REMOVED (if given) receives the value that was stored under NAME, as it
    // was read in the same rewrite (invalid when there was none).
    static Status removeProject(const QString& name, QVariant* removed = nullptr);
    // Stores VALUE under NAME exactly as given, unless the file holds NAME
    // by now: that entry is kept and the answer is a failure.
    static Status restoreProject(const QString& name, const QVariant& value);
    // Changes the entry stored under NAME, in one rewrite: the keys of
    // CHANGES replace their values, every other key of the entry stays as it
    // is, and the entry moves to NEWNAME when that differs from NAME. A
    // failure, with nothing written, when NAME holds no entry, or when
    // NEWNAME holds one and REPLACE is false (with REPLACE, NEWNAME's old
    // entry is replaced).
    static Status editProject(const QString& name, const QString& newName,
                              const ProjectEntry& changes, bool replace = false);

    static std::optional<LaunchSettings> loadSettings(Writers writers = Writers::anyone,
                                                      plist::ReadReport* report = nullptr);
    static Status saveSetting(const QString& key, const QString& value);

    // Where the two files are looked up: "projects" and "settings" of type "plist".
    static std::optional<QString> projectsPath();
    static std::optional<QString> settingsPath();
};

} // namespace zarvo
