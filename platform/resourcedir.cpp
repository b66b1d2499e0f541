#include "platform/resourcedir.h"

#include "platform/atomicfile.h"
#include "platform/diagnostics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zarvo {

QString resourceDirectory()
{
    const QString override = qEnvironmentVariable("ZARVO_RESOURCES");
    if (!override.isEmpty()) {
        return QDir::cleanPath(override);
    }
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome)) {
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return QDir::cleanPath(dataHome + QStringLiteral("/zarvo"));
}

void prepareResourceDirectory()
{
    const QString dir = resourceDirectory();
    if (!QDir().mkpath(dir)) {
        logLine(QStringLiteral("Cannot create the resource directory %1").arg(dir));
        return;
    }
    for (const QString& name :
         {QStringLiteral("projects.plist"), QStringLiteral("settings.plist")}) {
        const QString target = dir + QLatin1Char('/') + name;
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
            continue;
        }
        QFile seed(QStringLiteral(":/seed/") + name);
        if (!seed.open(QIODevice::ReadOnly)) {
            continue;
        }
        const Status status = writeFileAtomically(target, seed.readAll());
        if (!status.ok()) {
            logLine(status.error);
        }
    }
}

std::optional<QString> pathForResource(const QString& name, const QString& type)
{
    const QString path = resourceDirectory() + QLatin1Char('/') + name + QLatin1Char('.') + type;
    if (!QFileInfo::exists(path)) {
        return std::nullopt;
    }
    return path;
}

} // namespace zarvo
