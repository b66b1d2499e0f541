#include "app/applicationmain.h"
#include "app/commandline.h"

#include <QStringList>

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    // Subcommands need no display and no application object.
    if (const auto status = zarvo::runCommandLine(args)) {
        return *status;
    }
    return zarvo::runApplication(argc, argv);
}
