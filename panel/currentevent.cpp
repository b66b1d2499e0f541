#include "panel/currentevent.h"

#include <QCoreApplication>
#include <QInputEvent>
#include <QMouseEvent>
#include <QPointer>

namespace zarvo {

namespace {

QPointer<CurrentEvent>& instance()
{
    static QPointer<CurrentEvent> tracker;
    return tracker;
}

} // namespace

void CurrentEvent::install()
{
    auto* app = QCoreApplication::instance();
    if (instance() || !app) {
        return;
    }
    auto* tracker = new CurrentEvent;
    tracker->setParent(app);
    app->installEventFilter(tracker);
    instance() = tracker;
}

panel_geometry::OpeningEvent CurrentEvent::current()
{
    const CurrentEvent* tracker = instance();
    return tracker ? tracker->event_ : panel_geometry::OpeningEvent{};
}

void CurrentEvent::noteClick(Qt::KeyboardModifiers modifiers)
{
    install();
    CurrentEvent* tracker = instance();
    if (!tracker) {
        return;
    }
    tracker->event_.leftMouseDown = true;
    tracker->event_.modifiers = modifiers;
    tracker->forgetSoon();
}

bool CurrentEvent::eventFilter(QObject* /*watched*/, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* input = static_cast<QInputEvent*>(event);
        event_.modifiers = input->modifiers();
        event_.leftMouseDown = (event->type() == QEvent::MouseButtonPress ||
                                event->type() == QEvent::MouseButtonDblClick) &&
                               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        forgetSoon();
        break;
    }
    default:
        break;
    }
    return false;
}

void CurrentEvent::forgetSoon()
{
    // The event stays current until its dispatch is over, which is when the
    // event loop gets to the queued call.
    if (!forgetQueued_) {
        forgetQueued_ = true;
        QMetaObject::invokeMethod(this, &CurrentEvent::forget, Qt::QueuedConnection);
    }
}

void CurrentEvent::forget()
{
    forgetQueued_ = false;
    event_ = {};
}

} // namespace zarvo
