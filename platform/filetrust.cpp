#include "platform/filetrust.h"

#include <QFile>
#include <QFileInfo>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarvo {
namespace {

// Whether anyone but OWNER belongs to group GID, by membership list or as
// their primary group.
bool groupHasOtherMembers(gid_t gid, uid_t owner)
{
    const passwd* ownerEntry = ::getpwuid(owner);
    const QByteArray ownerName = ownerEntry ? QByteArray(ownerEntry->pw_name) : QByteArray();
    if (const group* entry = ::getgrgid(gid)) {
        for (char** member = entry->gr_mem; member && *member; ++member) {
            if (ownerName != *member) {
                return true;
            }
        }
    }
    bool others = false;
    ::setpwent();
    while (const passwd* user = ::getpwent()) {
        if (user->pw_gid == gid && user->pw_uid != owner) {
            others = true;
            break;
        }
    }
    ::endpwent();
    return others;
}

QString problemWith(const QString& path, bool isDirectory)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return {};
    }
    const QString what = isDirectory ? QStringLiteral("directory") : QStringLiteral("file");
    if (st.st_uid != ::geteuid()) {
        return QStringLiteral("the %1 %2 belongs to another user (fix: chown %3 '%2')")
            .arg(what, path, QString::number(::geteuid()));
    }
    if (st.st_mode & S_IWOTH) {
        return QStringLiteral("the %1 %2 can be changed by every user (fix: chmod o-w '%2')")
            .arg(what, path);
    }
    if ((st.st_mode & S_IWGRP) && groupHasOtherMembers(st.st_gid, st.st_uid)) {
        return QStringLiteral("the %1 %2 can be changed by other members of its group "
                              "(fix: chmod g-w '%2')")
            .arg(what, path);
    }
    return {};
}

} // namespace

Status checkOnlyOwnerCanWrite(const QString& path)
{
    const QFileInfo info(path);
    QString problem = problemWith(info.absolutePath(), true);
    if (problem.isEmpty()) {
        problem = problemWith(info.absoluteFilePath(), false);
    }
    return problem.isEmpty() ? Status::success() : Status::failure(problem);
}

} // namespace zarvo
