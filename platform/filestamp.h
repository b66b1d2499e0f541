#pragma once

#include <QString>

#include <optional>

namespace zarvo {

// What identifies one version of a file's contents: the file (device and
// inode), its size, and its modification and change times in nanoseconds.
struct FileStamp {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

std::optional<FileStamp> fileStamp(const QString& path);
std::optional<FileStamp> fileStamp(int fd);

// Whether a stamp can be trusted to change with the contents. File times
// advance in clock ticks, so a file changed less than a moment ago may change
// again without its times moving; only stamps older than that moment are settled.
bool isSettled(const FileStamp& stamp);

} // namespace zarvo
