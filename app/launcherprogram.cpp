#include "app/launcherprogram.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace zarvo {

QString launcherProgram()
{
    // Without an application object (the subcommands) Qt does not know it.
    const QString self = QCoreApplication::instance()
                             ? QCoreApplication::applicationFilePath()
                             : QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    const QFileInfo program(self);
    if (program.fileName() == QLatin1String("zarvo-desktop")) {
        const QFileInfo launcher(program.absolutePath() + QStringLiteral("/zarvo"));
        if (launcher.isExecutable()) {
            return launcher.filePath();
        }
    }
    return self;
}

} // namespace zarvo
