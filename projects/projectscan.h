#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace zarvo {

// How deep a scan for project folders looks, in folder levels below the
// scanned folder (0: that folder alone).
inline constexpr int kDefaultScanDepth = 4;
inline constexpr int kMaxScanDepth = 100;

struct ScanOptions {
    int depth = kDefaultScanDepth;
    // Polled before every folder: once true, the scan ends with what it has
    // found so far. Not owned.
    const std::atomic<bool>* cancel = nullptr;
    // Called on the scanning thread every few dozen folders with the folders
    // looked at and the projects found so far.
    std::function<void(qint64 folders, qint64 projects)> progress;
};

struct ScanResult {
    QStringList projects; // absolute paths, in the order found
    QStringList problems; // one line per folder that could not be read
    qint64 folders = 0;   // folders looked at
    bool cancelled = false;
};

// Finds the project folders in and below DIR, DIR itself included: folders
// that hold ".git" (a folder, or a file as in worktrees and submodules) or a
// build or package file (package.json, Cargo.toml, go.mod, CMakeLists.txt,
// Makefile and the like). The walk goes through each folder's subfolders in
// the byte order of their names and does not go into a project folder, a
// hidden folder, node_modules, vendor, target, build, dist or venv, nor
// through a symbolic link to a folder. Folders that cannot be read are
// skipped and reported in the result's problems. Safe to run on any thread.
ScanResult scanForProjects(const QString& dir, const ScanOptions& options = {});

} // namespace zarvo
