#include "platform/notifier.h"

#include "platform/services.h"

namespace zarvo {

void notifyUser(const QString& summary, const QString& body)
{
    if (Notifier* notifier = services().notifier) {
        notifier->notify(summary, body);
    }
}

} // namespace zarvo
