#include "platform/atomicfile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarvo {
namespace {

QString errnoText(const char* what, const QString& path)
{
    return QStringLiteral("%1 %2: %3")
        .arg(QString::fromLatin1(what), path, QString::fromLocal8Bit(std::strerror(errno)));
}

bool writeAll(int fd, const QByteArray& contents)
{
    const char* data = contents.constData();
    qsizetype left = contents.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

// What mkstemp() puts after the target's name; the X's become letters and digits.
constexpr char kTemporarySuffix[] = ".zarvo-XXXXXX";
constexpr size_t kRandomLength = 6;

// Whether NAME is one of our temporary files for the target named TARGET.
bool isTemporaryName(const char* name, const QByteArray& target)
{
    const size_t stem = size_t(target.size()) + sizeof kTemporarySuffix - 1 - kRandomLength;
    if (std::strlen(name) != stem + kRandomLength ||
        std::memcmp(name, target.constData(), size_t(target.size())) != 0 ||
        std::memcmp(name + target.size(), kTemporarySuffix, stem - size_t(target.size())) != 0) {
        return false;
    }
    for (const char* c = name + stem; *c; ++c) {
        const bool alphanumeric =
            (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9');
        if (!alphanumeric) {
            return false;
        }
    }
    return true;
}

// Removes from DIR the temporary files of writes to TARGET that were killed
// before they could remove them: regular files of ours named as the writes
// name them and unchanged for a minute, so that no write still running loses
// its file. Nothing else is touched, links included.
void removeStaleTemporaries(const QByteArray& dir, const QByteArray& target)
{
    constexpr time_t kStaleAfterSeconds = 60;
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        return;
    }
    DIR* listing = ::fdopendir(dirFd);
    if (!listing) {
        ::close(dirFd);
        return;
    }
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(listing)) {
        if (!isTemporaryName(entry->d_name, target)) {
            continue;
        }
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid() && now - st.st_mtime > kStaleAfterSeconds) {
            ::unlinkat(dirFd, entry->d_name, 0);
        }
    }
    ::closedir(listing);
}

} // namespace

Status writeFileAtomically(const QString& path, const QByteArray& contents)
{
    const QFileInfo info(path);
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    QByteArray pattern = QFile::encodeName(info.absoluteFilePath()) + kTemporarySuffix;
    removeStaleTemporaries(dir, QFile::encodeName(info.fileName()));

    mode_t mode = S_IRUSR | S_IWUSR;
    struct stat old {};
    if (::stat(QFile::encodeName(path).constData(), &old) == 0) {
        mode = old.st_mode & 07777;
    }

    // mkstemp opens with O_CREAT | O_EXCL, so it never follows a link planted
    // under the temporary name.
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        return Status::failure(errnoText("cannot create a temporary file beside", path));
    }
    auto fail = [&](const char* what) {
        Status status = Status::failure(errnoText(what, path));
        ::close(fd);
        ::unlink(pattern.constData());
        return status;
    };
    if (!writeAll(fd, contents)) {
        return fail("cannot write");
    }
    if (::fchmod(fd, mode) != 0) {
        return fail("cannot set the mode of");
    }
    if (::fsync(fd) != 0) {
        return fail("cannot flush");
    }
    if (::close(fd) != 0) {
        ::unlink(pattern.constData());
        return Status::failure(errnoText("cannot close", path));
    }
    if (::rename(pattern.constData(), QFile::encodeName(path).constData()) != 0) {
        Status status = Status::failure(errnoText("cannot replace", path));
        ::unlink(pattern.constData());
        return status;
    }
    // Make the rename itself durable.
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return Status::success();
}

} // namespace zarvo
