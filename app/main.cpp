#include "app/commandline.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    if (const auto status = zarvo::runCommandLine(args)) {
        return *status;
    }
    // The desktop application is not wired yet: show what the command line offers.
    return *zarvo::runCommandLine({QStringLiteral("--help")});
}
