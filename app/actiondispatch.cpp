#include "app/actiondispatch.h"

#include "app/applicationdelegate.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace zarvo {
namespace {

bool invokeIfHandled(QObject* receiver, const QByteArray& action)
{
    if (!receiver) {
        return false;
    }
    const QByteArray signature = QMetaObject::normalizedSignature(action + "()");
    if (receiver->metaObject()->indexOfMethod(signature.constData()) < 0) {
        return false;
    }
    return QMetaObject::invokeMethod(receiver, action.constData(), Qt::DirectConnection);
}

} // namespace

bool sendAction(const QByteArray& action, QObject* target)
{
    if (target) {
        return invokeIfHandled(target, action);
    }
    if (action == "terminate") {
        terminateApplication();
        return true;
    }
    return invokeIfHandled(ApplicationDelegate::shared(), action);
}

void terminateApplication()
{
    if (auto* delegate = ApplicationDelegate::shared()) {
        if (!delegate->applicationShouldTerminate()) {
            return;
        }
    }
    QCoreApplication::quit();
}

} // namespace zarvo
