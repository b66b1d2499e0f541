#include "app/launcherprogram.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace zarvo {

QString launcherProgram()
{
    const QString self = QCoreApplication::applicationFilePath();
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
