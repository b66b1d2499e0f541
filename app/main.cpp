#include "app/commandline.h"

#include <QStringList>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// The tray application, a program of its own beside this one. This program
// links Qt Core alone: a subcommand such as `zarvo search` is done before
// the widget, network and X11 libraries of the tray application would even
// have been loaded.
std::string desktopProgram()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        return "zarvo-desktop"; // looked up on PATH
    }
    const std::string path(self, size_t(length));
    return path.substr(0, path.rfind('/') + 1) + "zarvo-desktop";
}

} // namespace

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
    // Without one, this process becomes the tray application: the same
    // process, its arguments, its name in argv[0].
    const std::string desktop = desktopProgram();
    ::execvp(desktop.c_str(), argv);
    std::fprintf(stderr, "zarvo: cannot start %s: %s\n", desktop.c_str(), std::strerror(errno));
    return 1;
}
