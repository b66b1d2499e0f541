#include "platform/diagnostics.h"

#include <cstdio>
#include <mutex>
#include <syslog.h>

namespace zarvo {

void logLine(const QString& line)
{
    static std::once_flag opened;
    std::call_once(opened, [] { ::openlog("zarvo", LOG_PID, LOG_USER); });
    const QByteArray bytes = line.toUtf8();
    std::fprintf(stderr, "zarvo: %s\n", bytes.constData());
    std::fflush(stderr);
    ::syslog(LOG_NOTICE, "%s", bytes.constData());
}

} // namespace zarvo
