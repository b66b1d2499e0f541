#pragma once

#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace zarvo::test {

// Why this machine cannot give out pseudo-terminals (a chroot whose /dev/pts
// is not mounted, say), or an empty text when it can. Terminal emulators and
// tmux need one for the shell they run.
inline QString whyNoPseudoTerminals()
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        return QStringLiteral("no pseudo-terminals here (%1; is /dev/pts mounted?)")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    ::close(master);
    return {};
}

} // namespace zarvo::test
