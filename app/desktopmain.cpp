// The tray application. `zarvo` without a subcommand runs this program in
// its own place (app/main.cpp); run directly it behaves as `zarvo` does.
#include "app/applicationmain.h"
#include "app/commandline.h"

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
    return zarvo::runApplication(argc, argv);
}
