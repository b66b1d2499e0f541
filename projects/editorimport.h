#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace zarvo {

// Editors whose recently opened projects can be imported.
enum class Editor { vscode, jetbrains };

// "VS Code", "JetBrains": the editor's name in messages.
QString editorName(Editor editor);

struct EditorHistory {
    // Local folders that exist (and VS Code workspace files), most recent first.
    QStringList projects;
    // One line per history file that could not be read.
    QStringList problems;
    // Whether any history of the editor was read at all.
    bool found = false;
};

// The projects EDITOR opened recently, from the user's configuration folder
// ($XDG_CONFIG_HOME, ~/.config by default):
// - VS Code (also Code - OSS, VSCodium and Insiders): the list of recently
//   opened folders and workspaces in User/globalStorage/state.vscdb, a SQLite
//   database that is opened read-only and immutable, so it is never locked
//   and never written (nothing is created beside it);
// - JetBrains IDEs: JetBrains/*/options/recentProjects.xml.
// Remote entries and paths that do not exist (any more) are left out.
EditorHistory readEditorHistory(Editor editor);

// The readers' parts, each on what the editor stores, nothing checked on disk:
//
// The local folders and workspace files of VS Code's recently opened list,
// the JSON stored under "history.recentlyOpenedPathsList", in its order.
QStringList vscodeRecentPaths(const QByteArray& json);

// The value of KEY in the ItemTable of the VS Code state database DATABASE:
// absent when the key is not there; ERROR says why the database could not be
// read (and the result is absent).
std::optional<QByteArray> readVscodeState(const QString& database, const QString& key,
                                          QString* error);

// The project folders of a JetBrains recentProjects.xml, most recently opened
// first, "$USER_HOME$" read as HOME. ERROR (if given) says where the XML is
// malformed; what came before is kept.
QStringList jetbrainsRecentPaths(const QByteArray& xml, const QString& home,
                                 QString* error = nullptr);

} // namespace zarvo
