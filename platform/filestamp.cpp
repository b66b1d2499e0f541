#include "platform/filestamp.h"

#include <QFile>

#include <sys/stat.h>
#include <time.h>

namespace zarvo {
namespace {

// Longer than the coarsest timestamp step of the file systems a home
// directory lives on, kernel clock ticks included.
constexpr qint64 kSettleNs = 1'000'000'000;

qint64 nanoseconds(const timespec& t)
{
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileStamp stampOf(const struct stat& st)
{
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size), nanoseconds(st.st_mtim),
            nanoseconds(st.st_ctim)};
}

} // namespace

std::optional<FileStamp> fileStamp(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return std::nullopt;
    }
    return stampOf(st);
}

std::optional<FileStamp> fileStamp(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return std::nullopt;
    }
    return stampOf(st);
}

bool isSettled(const FileStamp& stamp)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const qint64 newest = std::max(stamp.modifiedNs, stamp.changedNs);
    return nanoseconds(now) - newest > kSettleNs;
}

} // namespace zarvo
