#pragma once

#include "projects/projectstore.h"

#include <QString>

namespace zarvo {

// Path helpers with the usual platform meanings: trailing slashes are ignored,
// "/" stays "/", a bare name has the parent "".
QString parentPath(const QString& path);
QString lastPathComponent(const QString& path);
// The part of the last component after its last "."; "" when there is none.
QString pathExtension(const QString& path);

// Whether PATH names an existing directory. A symbolic link to a directory
// counts; a path where nothing exists does not.
bool pathIsDirectory(const QString& path);

// The Terminal script that launching a project runs, built from the project's
// ENTRY, the SETTINGS and whether the entry's path names a directory. Pure: it
// reads no file. An absent settings file is passed as an empty map.
//
// The script opens a new Terminal window, changes into the project's folder
// (for a project file its parent folder) and then types, as the entry and the
// settings ask: "open ./", "open -a 'TERMINAL' ./", "git pull", the project's
// commands, the open command followed by "./" or the quoted file name, and
// "exit" when a second terminal was opened.
//
// Every text placed inside an AppleScript string has its backslashes and
// double quotes escaped, and every text placed between shell single quotes
// (path, parent, file name, terminal name) has its single quotes written as
// '\'', so no stored text can end its quoting early. A file name that begins
// with "-" or "+" is handed to the open command as "./NAME", so that it
// cannot be taken for an option.
QString buildLaunchScript(const ProjectEntry& entry, const LaunchSettings& settings,
                          bool pathIsDirectory);

// buildLaunchScript() with the directory question answered by the file system.
QString launchScriptFor(const ProjectEntry& entry, const LaunchSettings& settings);

} // namespace zarvo
