#include "panel/panel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>

namespace zarvo {

namespace {

// How long the focus of a new showing may follow the late loss of focus of
// the last one (Qt's xcb platform itself waits 400 ms for a focus-in before
// it reports a loss; a busy machine can take longer).
constexpr int kRefocusWaitMs = 1500;

} // namespace

Panel::Panel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::NoDropShadowWindowHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    refocusWait_.setSingleShot(true);
    refocusWait_.setInterval(kRefocusWaitMs);
    connect(&refocusWait_, &QTimer::timeout, this, [this] {
        if (isVisible() && !isActiveWindow()) {
            Q_EMIT windowDidResignKey();
        }
    });
}

void Panel::setContentView(QWidget* view)
{
    contentView_ = view;
    fitContentView();
}

void Panel::fitContentView()
{
    if (contentView_ && contentView_->geometry() != rect()) {
        contentView_->setGeometry(rect());
    }
}

void Panel::closeEvent(QCloseEvent* event)
{
    Q_EMIT windowWillClose();
    QWidget::closeEvent(event);
}

void Panel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow()) {
            refocusWait_.stop();
        } else if (lateFocusLossDue_) {
            lateFocusLossDue_ = false;
            refocusWait_.start();
        } else {
            Q_EMIT windowDidResignKey();
        }
    }
    QWidget::changeEvent(event);
}

void Panel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // WORKAROUND: Qt's xcb platform reports a lost focus a moment late, while
    // hiding a window makes it inactive at once. A panel shown again within
    // that moment is still the platform's focus window but not the active
    // window, so the focus it gets changes nothing, it never becomes active
    // again and a later loss of focus (a click elsewhere) no longer closes it.
    // The late loss itself may still arrive after this showing, when the
    // focus of the showing comes more than Qt's 400 ms after it (a busy
    // machine): without waiting for that focus it would close the panel it
    // was not meant for, just after it opened.
    if (QGuiApplication::focusWindow() == windowHandle() && !isActiveWindow()) {
        lateFocusLossDue_ = true;
        QApplication::setActiveWindow(this);
    }
}

void Panel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    lateFocusLossDue_ = false;
    refocusWait_.stop();
}

void Panel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitContentView();
    Q_EMIT windowDidResize();
}

void Panel::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    // The arrow follows the window's position as well as its size.
    Q_EMIT windowDidResize();
}

void Panel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        Q_EMIT cancelOperation();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace zarvo
