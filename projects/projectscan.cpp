#include "projects/projectscan.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarvo {
namespace {

// Files whose presence makes a folder a project folder.
constexpr std::string_view kProjectFiles[] = {
    "package.json",     "Cargo.toml",    "go.mod",   "pyproject.toml", "setup.py",
    "CMakeLists.txt",   "meson.build",   "Makefile", "pom.xml",        "build.gradle",
    "build.gradle.kts", "composer.json", "Gemfile",  "mix.exs",
};

// Folders of dependencies and build output, never projects of their own.
// Hidden folders (.git, .venv, ...) are skipped by their leading dot.
constexpr std::string_view kSkippedFolders[] = {
    "node_modules", "vendor", "target", "build", "dist", "venv",
};

// How often the progress callback runs, in folders.
constexpr qint64 kProgressEvery = 64;

bool isOneOf(std::string_view name, const auto& names)
{
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

enum class Kind { other, folder, file };

// What ENTRY of the folder open as DIRFD is; symbolic links are looked
// through only when FOLLOW is set. The type readdir reports saves a stat.
Kind kindOf(int dirFd, const dirent* entry, bool follow)
{
    switch (entry->d_type) {
    case DT_DIR:
        return Kind::folder;
    case DT_REG:
        return Kind::file;
    case DT_LNK:
        if (!follow) {
            return Kind::other;
        }
        break;
    case DT_UNKNOWN:
        break;
    default:
        return Kind::other;
    }
    struct stat status {};
    if (::fstatat(dirFd, entry->d_name, &status, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
        return Kind::other;
    }
    return S_ISDIR(status.st_mode)   ? Kind::folder
           : S_ISREG(status.st_mode) ? Kind::file
                                     : Kind::other;
}

class Walk final {
public:
    Walk(const ScanOptions& options, ScanResult& result) : options_(options), result_(result) {}

    // Looks at the folder open as FD (which this takes over) at PATH, LEVEL
    // levels below the scanned folder.
    void visit(int fd, const std::string& path, int level)
    {
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            problem(path, errno);
            ::close(fd);
            return;
        }
        ++result_.folders;
        if (options_.progress && result_.folders % kProgressEvery == 0) {
            options_.progress(result_.folders, result_.projects.size());
        }

        const int dirFd = ::dirfd(dir);
        const bool descend = level < options_.depth;
        bool project = false;
        std::vector<std::string> subfolders;
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir);
            if (!entry) {
                if (errno != 0) {
                    problem(path, errno);
                }
                break;
            }
            const std::string_view name(entry->d_name);
            if (name.front() == '.') {
                // ".", "..", hidden folders; ".git" may be a folder or a file.
                if (name == ".git" && kindOf(dirFd, entry, true) != Kind::other) {
                    project = true;
                    break;
                }
                continue;
            }
            if (isOneOf(name, kProjectFiles) && kindOf(dirFd, entry, true) == Kind::file) {
                project = true;
                break;
            }
            if (descend && !isOneOf(name, kSkippedFolders) &&
                kindOf(dirFd, entry, false) == Kind::folder) {
                subfolders.emplace_back(name);
            }
        }
        if (project) {
            result_.projects << QFile::decodeName(QByteArray::fromStdString(path));
            ::closedir(dir);
            return;
        }

        std::sort(subfolders.begin(), subfolders.end());
        for (const std::string& name : subfolders) {
            if (cancelled()) {
                break;
            }
            const std::string child = path == "/" ? path + name : path + '/' + name;
            const int childFd =
                ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd < 0) {
                // Gone, or replaced by a link or a file since it was listed.
                if (errno != ENOENT && errno != ELOOP && errno != ENOTDIR) {
                    problem(child, errno);
                }
                continue;
            }
            visit(childFd, child, level + 1);
        }
        ::closedir(dir);
    }

    bool cancelled()
    {
        if (options_.cancel && options_.cancel->load(std::memory_order_relaxed)) {
            result_.cancelled = true;
        }
        return result_.cancelled;
    }

    void problem(const std::string& path, int error)
    {
        result_.problems << QStringLiteral("cannot read %1: %2")
                                .arg(QFile::decodeName(QByteArray::fromStdString(path)),
                                     qt_error_string(error));
    }

private:
    const ScanOptions& options_;
    ScanResult& result_;
};

} // namespace

ScanResult scanForProjects(const QString& dir, const ScanOptions& options)
{
    ScanResult result;
    Walk walk(options, result);
    const std::string root =
        QFile::encodeName(QDir::cleanPath(QDir(dir).absolutePath())).toStdString();
    if (walk.cancelled()) {
        return result;
    }
    // The scanned folder itself may be reached through a link.
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        walk.problem(root, errno);
        return result;
    }
    walk.visit(fd, root, 0);
    return result;
}

} // namespace zarvo
