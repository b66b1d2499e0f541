#include "platform/filetrust.h"

#include <QDir>
#include <QFile>

#include <acl/libacl.h>
#include <sys/acl.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <utility>

namespace zarvo {

OpenedFile::~OpenedFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

OpenedFile::OpenedFile(OpenedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), missing_(other.missing_),
      problem_(std::move(other.problem_))
{
}

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        missing_ = other.missing_;
        problem_ = std::move(other.problem_);
    }
    return *this;
}

OpenedFile OpenedFile::opened(int fd)
{
    OpenedFile file;
    file.fd_ = fd;
    return file;
}

OpenedFile OpenedFile::missing()
{
    OpenedFile file;
    file.missing_ = true;
    return file;
}

OpenedFile OpenedFile::refused(QString problem)
{
    OpenedFile file;
    file.problem_ = std::move(problem);
    return file;
}

namespace {

// As many links as the kernel follows in one path.
constexpr int kMaxLinks = 40;

// Every open of this file: never a controlling terminal, never inherited,
// and never waiting for a writer (a FIFO would block an open without it).
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

class Fd final {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept
    {
        reset(std::exchange(other.fd_, -1));
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1)
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

QString shown(const QByteArray& path)
{
    return QFile::decodeName(path);
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray userNameOf(uid_t uid)
{
    const passwd* entry = ::getpwuid(uid);
    return entry ? QByteArray(entry->pw_name) : QByteArray::number(uid);
}

// Whether anyone but the current user and root belongs to group GID, by its
// membership list or as their primary group.
bool groupHasOtherMembers(gid_t gid)
{
    const uid_t self = ::geteuid();
    const QByteArray selfName = userNameOf(self);
    const QByteArray rootName = userNameOf(0);
    if (const group* entry = ::getgrgid(gid)) {
        for (char** member = entry->gr_mem; member && *member; ++member) {
            if (selfName != *member && rootName != *member) {
                return true;
            }
        }
    }
    bool others = false;
    ::setpwent();
    while (const passwd* user = ::getpwent()) {
        if (user->pw_gid == gid && user->pw_uid != self && user->pw_uid != 0) {
            others = true;
            break;
        }
    }
    ::endpwent();
    return others;
}

QString groupNameOf(gid_t gid)
{
    const group* entry = ::getgrgid(gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(gid);
}

// Someone besides the current user and root who can write a file, and the
// command that takes the right away (the path follows it).
struct OtherWriter {
    QString who;
    QString fix;
};

struct AclDeleter {
    void operator()(void* acl) const { ::acl_free(acl); }
};

// Who else can write the file or folder open at FD (opened with O_PATH when
// PATHONLY), by its mode bits and its access control list. Absent when
// nobody; PROBLEM is set when the list cannot be read.
std::optional<OtherWriter> otherWriter(int fd, bool pathOnly, const struct stat& st,
                                       QString* problem)
{
    const uid_t self = ::geteuid();
    acl_t acl = nullptr;
    if (pathOnly) {
        // A descriptor that only names the folder cannot be asked itself;
        // its name under /proc still leads to the same folder.
        acl = ::acl_get_file(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(),
                             ACL_TYPE_ACCESS);
    } else {
        acl = ::acl_get_fd(fd);
    }
    if (!acl) {
        if (errno != ENOTSUP && errno != ENOSYS) {
            *problem = QStringLiteral("cannot read who may write it: %1").arg(errnoText(errno));
            return std::nullopt;
        }
        // A file system without access lists: the mode bits are all there is.
        if (st.st_mode & S_IWOTH) {
            return OtherWriter{QStringLiteral("every user"), QStringLiteral("chmod o-w")};
        }
        if ((st.st_mode & S_IWGRP) && groupHasOtherMembers(st.st_gid)) {
            return OtherWriter{QStringLiteral("other members of its group"),
                               QStringLiteral("chmod g-w")};
        }
        return std::nullopt;
    }
    const std::unique_ptr<void, AclDeleter> owner(acl);

    // The mask, when there is one, limits every entry but the owner's and
    // the others'; without named entries the group entry stands alone.
    bool maskAllowsWrite = true;
    acl_entry_t entry = nullptr;
    for (int which = ACL_FIRST_ENTRY; ::acl_get_entry(acl, which, &entry) == 1;
         which = ACL_NEXT_ENTRY) {
        acl_tag_t tag = ACL_UNDEFINED_TAG;
        acl_permset_t perms = nullptr;
        if (::acl_get_tag_type(entry, &tag) == 0 && tag == ACL_MASK &&
            ::acl_get_permset(entry, &perms) == 0) {
            maskAllowsWrite = ::acl_get_perm(perms, ACL_WRITE) == 1;
        }
    }
    for (int which = ACL_FIRST_ENTRY; ::acl_get_entry(acl, which, &entry) == 1;
         which = ACL_NEXT_ENTRY) {
        acl_tag_t tag = ACL_UNDEFINED_TAG;
        acl_permset_t perms = nullptr;
        if (::acl_get_tag_type(entry, &tag) != 0 || ::acl_get_permset(entry, &perms) != 0) {
            *problem = QStringLiteral("cannot read who may write it: %1").arg(errnoText(errno));
            return std::nullopt;
        }
        if (::acl_get_perm(perms, ACL_WRITE) != 1) {
            continue;
        }
        switch (tag) {
        case ACL_OTHER:
            return OtherWriter{QStringLiteral("every user"), QStringLiteral("chmod o-w")};
        case ACL_GROUP_OBJ:
            if (maskAllowsWrite && groupHasOtherMembers(st.st_gid)) {
                return OtherWriter{QStringLiteral("other members of its group"),
                                   QStringLiteral("chmod g-w")};
            }
            break;
        case ACL_USER:
        case ACL_GROUP: {
            if (!maskAllowsWrite) {
                break;
            }
            void* qualifier = ::acl_get_qualifier(entry);
            if (!qualifier) {
                *problem = QStringLiteral("cannot read who may write it: %1").arg(errnoText(errno));
                return std::nullopt;
            }
            const std::unique_ptr<void, AclDeleter> qualifierOwner(qualifier);
            if (tag == ACL_USER) {
                const uid_t uid = *static_cast<uid_t*>(qualifier);
                if (uid != self && uid != 0) {
                    const QString name = QString::fromLocal8Bit(userNameOf(uid));
                    return OtherWriter{
                        QStringLiteral("the user %1 (by its access control list)").arg(name),
                        QStringLiteral("setfacl -x u:%1").arg(name)};
                }
            } else {
                const gid_t gid = *static_cast<gid_t*>(qualifier);
                if (groupHasOtherMembers(gid)) {
                    const QString name = groupNameOf(gid);
                    return OtherWriter{
                        QStringLiteral("the group %1 (by its access control list)").arg(name),
                        QStringLiteral("setfacl -x g:%1").arg(name)};
                }
            }
            break;
        }
        default:
            break;
        }
    }
    return std::nullopt;
}

QString belongsToAnotherUser(const char* what, const QByteArray& path, uid_t owner)
{
    return QStringLiteral("the %1 %2 belongs to another user, %3 (fix: chown %4 '%2')")
        .arg(QString::fromLatin1(what), shown(path), QString::fromLocal8Bit(userNameOf(owner)),
             QString::number(::geteuid()));
}

// How strictly a folder on the way to the file is judged.
enum class FolderRole {
    above,  // above the file's folder: root's or the user's; others may write with the sticky bit
    holder, // the file's own folder: the user's, and nobody else writes it
};

// An open folder on the way to the file, and the path it was reached by.
struct Folder {
    Fd fd;
    bool pathOnly = false;
    QByteArray path;
};

// Why FOLDER may not hold or lead to a trusted file; empty when it may.
QString folderProblem(const Folder& folder, FolderRole role)
{
    struct stat st {};
    if (::fstat(folder.fd.get(), &st) != 0) {
        return QStringLiteral("cannot examine the directory %1: %2")
            .arg(shown(folder.path), errnoText(errno));
    }
    const uid_t self = ::geteuid();
    if (st.st_uid != self && (role == FolderRole::holder || st.st_uid != 0)) {
        return belongsToAnotherUser("directory", folder.path, st.st_uid);
    }
    if (role == FolderRole::above && (st.st_mode & S_ISVTX)) {
        // Others may add entries, but only their owners and the folder's
        // may rename or remove them.
        return {};
    }
    QString problem;
    const auto writer = otherWriter(folder.fd.get(), folder.pathOnly, st, &problem);
    if (!problem.isEmpty()) {
        return QStringLiteral("the directory %1: %2").arg(shown(folder.path), problem);
    }
    if (writer) {
        return QStringLiteral("the directory %1 can be changed by %2 (fix: %3 '%1')")
            .arg(shown(folder.path), writer->who, writer->fix);
    }
    return {};
}

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray readLinkAt(int folder, const QByteArray& name)
{
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    const ssize_t n = ::readlinkat(folder, name.constData(), target.data(), size_t(target.size()));
    if (n <= 0 || n >= target.size()) {
        return {};
    }
    target.truncate(n);
    return target;
}

// Resolves a path one folder at a time, each opened relative to the one
// before without following links, and checked as it was opened. A link met
// on the way is read and its target resolved in turn, from the folder that
// holds it (already checked), or from the root.
class TrustedWalk final {
public:
    OpenedFile open(const QByteArray& absolutePath) { return openFile(absolutePath); }

private:
    OpenedFile result() { return missing_ ? OpenedFile::missing() : OpenedFile::refused(problem_); }

    bool refuse(QString problem)
    {
        problem_ = std::move(problem);
        return false;
    }

    bool restartAtRoot()
    {
        folder_.fd.reset(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        folder_.pathOnly = false;
        folder_.path = "/";
        if (folder_.fd.get() < 0) {
            return refuse(
                QStringLiteral("cannot open the root directory: %1").arg(errnoText(errno)));
        }
        const QString problem = folderProblem(folder_, FolderRole::above);
        return problem.isEmpty() || refuse(problem);
    }

    bool followLink(const QByteArray& name, QList<QByteArray>* pending)
    {
        if (++links_ > kMaxLinks) {
            return refuse(QStringLiteral("%1: too many levels of symbolic links")
                              .arg(shown(joined(folder_.path, name))));
        }
        const QByteArray target = readLinkAt(folder_.fd.get(), name);
        if (target.isEmpty()) {
            return refuse(QStringLiteral("cannot read the link %1: %2")
                              .arg(shown(joined(folder_.path, name)), errnoText(errno)));
        }
        const QList<QByteArray> parts = target.split('/');
        for (auto it = parts.crbegin(); it != parts.crend(); ++it) {
            pending->prepend(*it);
        }
        return !target.startsWith('/') || restartAtRoot();
    }

    // Walks from the current folder through the folders PENDING names.
    bool walk(QList<QByteArray> pending)
    {
        while (!pending.isEmpty()) {
            const QByteArray name = pending.takeFirst();
            if (name.isEmpty() || name == ".") {
                continue;
            }
            constexpr int kFolderFlags = O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
            bool pathOnly = false;
            int next = ::openat(folder_.fd.get(), name.constData(), O_RDONLY | kFolderFlags);
            if (next < 0 && errno == EACCES) {
                // A folder the user may pass through but not list.
                next = ::openat(folder_.fd.get(), name.constData(), O_PATH | kFolderFlags);
                pathOnly = true;
            }
            if (next < 0) {
                const int error = errno;
                struct stat st {};
                if ((error == ELOOP || error == ENOTDIR) &&
                    ::fstatat(folder_.fd.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISLNK(st.st_mode)) {
                    if (!followLink(name, &pending)) {
                        return false;
                    }
                    continue;
                }
                if (error == ENOENT) {
                    missing_ = true;
                    return false;
                }
                return refuse(QStringLiteral("cannot open the directory %1: %2")
                                  .arg(shown(joined(folder_.path, name)), errnoText(error)));
            }
            folder_.fd.reset(next);
            folder_.pathOnly = pathOnly;
            folder_.path = name == ".." ? parentOf(folder_.path) : joined(folder_.path, name);
            if (const QString problem = folderProblem(folder_, FolderRole::above);
                !problem.isEmpty()) {
                return refuse(problem);
            }
        }
        return true;
    }

    // Opens PATH, absolute or relative to the current folder.
    OpenedFile openFile(const QByteArray& path)
    {
        QList<QByteArray> parts = path.split('/');
        const QByteArray name = parts.takeLast();
        if (path.startsWith('/') && !restartAtRoot()) {
            return result();
        }
        if (name.isEmpty() || name == "." || name == "..") {
            return OpenedFile::refused(QStringLiteral("%1 is not a regular file").arg(shown(path)));
        }
        if (!walk(parts)) {
            return result();
        }
        if (const QString problem = folderProblem(folder_, FolderRole::holder);
            !problem.isEmpty()) {
            return OpenedFile::refused(problem);
        }
        const QByteArray where = joined(folder_.path, name);
        struct stat st {};
        if (::fstatat(folder_.fd.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            return errno == ENOENT ? OpenedFile::missing() : unreadable(where, errno);
        }
        if (S_ISLNK(st.st_mode)) {
            return followFileLink(name);
        }
        if (!S_ISREG(st.st_mode)) {
            return notRegular(where);
        }
        Fd fd(::openat(folder_.fd.get(), name.constData(), kReadFlags | O_NOFOLLOW));
        if (fd.get() < 0) {
            if (errno == ELOOP) {
                return followFileLink(name);
            }
            return errno == ENOENT ? OpenedFile::missing() : unreadable(where, errno);
        }
        if (::fstat(fd.get(), &st) != 0) {
            return unreadable(where, errno);
        }
        if (!S_ISREG(st.st_mode)) {
            return notRegular(where);
        }
        if (st.st_uid != ::geteuid()) {
            if (!linkedFrom_.isEmpty()) {
                return OpenedFile::refused(linkToAnotherUser(where, st.st_uid));
            }
            return OpenedFile::refused(belongsToAnotherUser("file", where, st.st_uid));
        }
        QString problem;
        const auto writer = otherWriter(fd.get(), false, st, &problem);
        if (!problem.isEmpty()) {
            return OpenedFile::refused(
                QStringLiteral("the file %1: %2").arg(shown(where), problem));
        }
        if (writer) {
            return OpenedFile::refused(
                QStringLiteral("the file %1 can be changed by %2 (fix: %3 '%1')")
                    .arg(shown(where), writer->who, writer->fix));
        }
        return OpenedFile::opened(fd.release());
    }

    OpenedFile followFileLink(const QByteArray& name)
    {
        if (linkedFrom_.isEmpty()) {
            linkedFrom_ = joined(folder_.path, name);
        }
        QList<QByteArray> target;
        if (!followLink(name, &target)) {
            return result();
        }
        // The link's own folder was checked; the target's is, on the way.
        const QByteArray link = linkedFrom_;
        OpenedFile file = openFile(target.join('/'));
        if (!file.isOpen() && !file.isMissing() && !file.problem().startsWith(shown(link))) {
            return OpenedFile::refused(
                QStringLiteral("%1 is a link to a file that may not be used: %2")
                    .arg(shown(link), file.problem()));
        }
        return file;
    }

    OpenedFile notRegular(const QByteArray& where) const
    {
        return OpenedFile::refused(QStringLiteral("%1 is not a regular file").arg(shown(where)));
    }

    QString linkToAnotherUser(const QByteArray& target, uid_t owner) const
    {
        return QStringLiteral("%1 is a link to %2, a file of another user, %3: it is neither "
                              "read nor replaced (fix: replace the link with a file of your own)")
            .arg(shown(linkedFrom_), shown(target), QString::fromLocal8Bit(userNameOf(owner)));
    }

    static OpenedFile unreadable(const QByteArray& where, int error);

    Folder folder_;
    QByteArray linkedFrom_;
    int links_ = 0;
    bool missing_ = false;
    QString problem_;
};

// Why the file at PATH cannot be read: ERROR, and whose it is when not the user's.
QString unreadableText(const QByteArray& path, int error)
{
    QString text = QStringLiteral("cannot read %1: %2").arg(shown(path), errnoText(error));
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && st.st_uid != ::geteuid()) {
        text += QStringLiteral(" (it belongs to %1)")
                    .arg(QString::fromLocal8Bit(userNameOf(st.st_uid)));
    }
    return text;
}

OpenedFile TrustedWalk::unreadable(const QByteArray& where, int error)
{
    return OpenedFile::refused(unreadableText(where, error));
}

// Any regular file the user can read, following a link only to the user's own.
OpenedFile openAnyFile(const QByteArray& path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) {
        return errno == ENOENT ? OpenedFile::missing()
                               : OpenedFile::refused(unreadableText(path, errno));
    }
    const bool link = S_ISLNK(st.st_mode);
    // What is there now is looked at before it is opened, so that a device
    // in place of the file is not even opened; what was opened is checked
    // again below, in case it was exchanged in between.
    if (link && ::stat(path.constData(), &st) != 0) {
        return errno == ENOENT ? OpenedFile::missing()
                               : OpenedFile::refused(unreadableText(path, errno));
    }
    const auto judge = [&](const struct stat& what) -> QString {
        if (!S_ISREG(what.st_mode)) {
            return QStringLiteral("%1 is not a regular file").arg(shown(path));
        }
        if (link && what.st_uid != ::geteuid()) {
            return QStringLiteral("%1 is a link to a file of another user, %2: it is neither read "
                                  "nor replaced (fix: replace the link with a file of your own)")
                .arg(shown(path), QString::fromLocal8Bit(userNameOf(what.st_uid)));
        }
        return {};
    };
    if (const QString problem = judge(st); !problem.isEmpty()) {
        return OpenedFile::refused(problem);
    }
    Fd fd(::open(path.constData(), kReadFlags | (link ? 0 : O_NOFOLLOW)));
    if (fd.get() < 0) {
        if (errno == ELOOP) {
            return OpenedFile::refused(
                QStringLiteral("%1 was replaced by a link while it was opened").arg(shown(path)));
        }
        return errno == ENOENT ? OpenedFile::missing()
                               : OpenedFile::refused(unreadableText(path, errno));
    }
    if (::fstat(fd.get(), &st) != 0) {
        return OpenedFile::refused(unreadableText(path, errno));
    }
    if (const QString problem = judge(st); !problem.isEmpty()) {
        return OpenedFile::refused(problem);
    }
    return OpenedFile::opened(fd.release());
}

} // namespace

OpenedFile openFileForReading(const QString& path, Writers writers)
{
    const QByteArray absolute =
        QFile::encodeName(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
    if (writers == Writers::anyone) {
        return openAnyFile(absolute);
    }
    return TrustedWalk().open(absolute);
}

Status checkOnlyOwnerCanWrite(const QString& path)
{
    const OpenedFile file = openFileForReading(path, Writers::ownerOnly);
    return file.problem().isEmpty() ? Status::success() : Status::failure(file.problem());
}

} // namespace zarvo
