#pragma once

#include <QTimer>
#include <QWidget>

namespace zarvo {

// The launcher's window: frameless and see-through (its content view draws
// the visible shape), kept above ordinary windows like a pop-up menu, left out
// of the taskbar, and able to take the keyboard focus. It reports its window
// events to whoever controls it.
class Panel final : public QWidget {
    Q_OBJECT
public:
    explicit Panel(QWidget* parent = nullptr);

    // The view that fills the window, resized with it before the window
    // reports the resize.
    QWidget* contentView() const { return contentView_; }
    void setContentView(QWidget* view);
    // Gives the content view the window's current size. The window does so
    // itself on every resize event; this serves a frame set by program, whose
    // resize event may come later.
    void fitContentView();

Q_SIGNALS:
    // The window is being closed (by the window manager, for example).
    void windowWillClose();
    // The window stopped being the active window.
    void windowDidResignKey();
    // The window's frame changed.
    void windowDidResize();
    // Escape reached the window.
    void cancelOperation();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* contentView_ = nullptr;
    // Shown while the platform still owed the loss of focus of the last
    // showing: the next deactivation is that one, and the focus of this
    // showing follows it.
    bool lateFocusLossDue_ = false;
    // Runs from that deactivation until the focus comes back; at its end
    // the window resigns if it has not.
    QTimer refocusWait_;
};

} // namespace zarvo
