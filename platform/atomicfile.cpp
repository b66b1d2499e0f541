#include "platform/atomicfile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
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

} // namespace

Status writeFileAtomically(const QString& path, const QByteArray& contents)
{
    const QFileInfo info(path);
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    QByteArray pattern = QFile::encodeName(info.absoluteFilePath()) + ".XXXXXX";

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
