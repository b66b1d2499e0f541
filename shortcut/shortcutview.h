#pragma once

#include "shortcut/shortcut.h"
#include "shortcut/shortcutrecorder.h"

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QPainter;

namespace zarvo {

class ShortcutDefaultsObserver;

// The control with which the user picks a keyboard shortcut: one push button
// split into the shortcut rect, which shows the shortcut or a prompt, and the
// narrow hint rect at the right, which shows ⌫ (delete the shortcut) or ⎋
// (cancel recording). A click starts recording; while it records, the next
// combination typed becomes the value, after the validation checks. Escape
// cancels, Delete clears, a combination used elsewhere is refused with an
// alert. At most one recorder of the process records at a time.
//
// The view knows nothing of user defaults or hot keys: it shows shortcutValue
// and tells about every assignment (the change block, then
// shortcutValueChanged()). setAssociatedUserDefaultsKey() binds it to a key of
// the user defaults (ShortcutDefaultsObserver).
//
// `enabled` is the widget's own: a disabled view ignores clicks (they go to
// its parent), does not record, and shows no tool tips; every change of it
// ends recording.
class ShortcutView final : public QWidget, private ShortcutRecorder::Host {
    Q_OBJECT
public:
    using ShortcutValueChange = std::function<void(ShortcutView& view)>;

    explicit ShortcutView(QWidget* parent = nullptr);
    ~ShortcutView() override;

    ShortcutRecorder& recorder() { return *recorder_; }
    const ShortcutRecorder& recorder() const { return *recorder_; }

    // 0 (the default), 1 or 2: the bezel, the hint rect's width (23, 25, 26
    // points) and the drawing offset (none, then 1 point down). Any other
    // value leaves the control undrawn.
    int appearance() const { return recorder_->appearance(); }
    void setAppearance(int appearance) { recorder_->setAppearance(appearance); }

    bool isRecording() const { return recorder_->isRecording(); }
    void setRecording(bool recording) { recorder_->setRecording(recording); }

    const std::optional<Shortcut>& shortcutValue() const { return recorder_->shortcutValue(); }
    void setShortcutValue(const std::optional<Shortcut>& shortcut)
    {
        recorder_->setShortcutValue(shortcut);
    }
    // Called with the view after every assignment of the shortcut value.
    const ShortcutValueChange& shortcutValueChange() const { return shortcutValueChange_; }
    void setShortcutValueChange(ShortcutValueChange change);

    const std::optional<QString>& shortcutPlaceholder() const
    {
        return recorder_->shortcutPlaceholder();
    }
    void setShortcutPlaceholder(const std::optional<QString>& placeholder)
    {
        recorder_->setShortcutPlaceholder(placeholder);
    }

    bool isHinting() const { return recorder_->isHinting(); }
    void setHinting(bool hinting) { recorder_->setHinting(hinting); }

    // The bezel style the button is drawn with (see bezel::k*).
    int bezelStyle() const { return recorder_->bezelStyle(); }
    void resetShortcutCellStyle() { recorder_->resetShortcutCellStyle(); }
    // The font the button's titles are drawn in: the widget's at 11 points.
    const QFont& cellFont() const { return cell_.font; }

    // The two parts, in view coordinates; either output may be null.
    void getShortcutRect(QRectF* shortcutRect, QRectF* hintRect) const;
    // Whether a point in the coordinates of the view's window lies in the
    // part (its left and top edges inside, its right and bottom edges not).
    bool locationInShortcutRect(const QPointF& windowPoint) const;
    bool locationInHintRect(const QPointF& windowPoint) const;

    // Draws the button once in RECT with TITLE at ALIGNMENT, pressed when ON.
    void drawInRect(QPainter& painter, const QRectF& rect, const QString& title,
                    Qt::Alignment alignment, bool on);

    void resetToolTips() { recorder_->resetToolTips(); }
    std::optional<QString> stringForToolTip(qint64 tag, const QPointF& point,
                                            const void* userData) const
    {
        return recorder_->stringForToolTip(tag, point, userData);
    }

    void activateEventMonitoring(bool active) { recorder_->activateEventMonitoring(active); }
    void activateResignObserver(bool active) { recorder_->activateResignObserver(active); }

    // The user-defaults key the view is bound to; null when unbound. A
    // non-empty key replaces any binding with one to that key; a null or
    // empty one unbinds. Unbinding gives the view back the value it had
    // before that binding.
    QString associatedUserDefaultsKey() const;
    void setAssociatedUserDefaultsKey(const QString& key);
    ShortcutDefaultsObserver* defaultsObserver() const { return binding_.get(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // After every assignment of shortcutValue, and after the change block.
    void shortcutValueChanged();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The push button both parts are drawn with.
    struct Cell {
        QFont font;
        QString title;
        Qt::Alignment alignment = Qt::AlignHCenter;
        bool on = false;
        bool enabled = true;
    };
    void drawCell(QPainter& painter, const QRectF& rect);

    // ShortcutRecorder::Host
    QRectF bounds() const override { return QRectF(rect()); }
    std::optional<QPointF> mousePosition() const override { return mousePosition_; }
    void redraw() override { update(); }
    QObject* recordingWindow() const override;
    QWidget* alertParent() const override;

    Cell cell_;
    std::optional<QPointF> mousePosition_;
    ShortcutValueChange shortcutValueChange_;
    std::unique_ptr<ShortcutRecorder> recorder_;
    // The binding to a user-defaults key, owned.
    std::unique_ptr<ShortcutDefaultsObserver> binding_;
};

} // namespace zarvo
