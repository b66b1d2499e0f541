#pragma once

#include "shortcut/shortcut.h"
#include "shortcut/shortcutvalidator.h"

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QKeyEvent;
class QWidget;

namespace zarvo {

// The logic of the shortcut recorder control (ShortcutView draws it and feeds
// it the mouse): its geometry, what it shows, what a click does, the handling
// of the keys typed while it records, and the process-wide recording state.
// Nothing here paints, so all of it runs without a screen.

// The bezel styles of the control's button, by appearance.
namespace bezel {
inline constexpr int kRounded = 1;          // appearance 2: a rounded push button
inline constexpr int kTexturedRounded = 11; // appearance 1: a textured (tool) button
inline constexpr int kRoundRect = 12;       // appearance 0: a rounded rectangle
} // namespace bezel

// The width of the hint strip at the right: 23 points for appearance 0 (and
// for values outside 0 to 2), 25 for 1, 26 for 2.
qreal hintWidthForAppearance(int appearance);
// The bezel style of appearance 0, 1 and 2; nothing for other values.
std::optional<int> bezelStyleForAppearance(int appearance);
// How far the button is drawn below its rectangle: 0 for appearance 0, 1 for
// 1 and 2; nothing for other values, which are not drawn at all.
std::optional<qreal> drawingOffsetForAppearance(int appearance);

// The two parts of the control: the hint rect is the rightmost strip of the
// appearance's hint width at full height, the shortcut rect everything to its
// left. Bounds narrower than the strip are all hint rect, with an empty
// shortcut rect.
struct RecorderRects {
    QRectF shortcutRect;
    QRectF hintRect;
};
RecorderRects divideRecorderBounds(const QRectF& bounds, int appearance);
// Whether POINT lies in RECT, y growing downwards: the left and top edges are
// inside, the right and bottom edges outside. An empty rect holds nothing.
bool locationInRect(const QRectF& rect, const QPointF& point);

// One drawing of the button: its title, the title's alignment, and whether
// the button is drawn pressed.
struct RecorderTitle {
    QString title;
    Qt::Alignment alignment;
    bool on = false;
    friend bool operator==(const RecorderTitle&, const RecorderTitle&) = default;
};
// The control is drawn over its whole bounds first; the second drawing, when
// there is one, covers the shortcut rect, so that the first one's
// right-aligned symbol shows in the hint rect.
struct RecorderDrawing {
    RecorderTitle bounds;
    std::optional<RecorderTitle> shortcutRect;
};
RecorderDrawing recorderDrawing(const std::optional<Shortcut>& shortcutValue, bool recording,
                                bool hinting, const std::optional<QString>& placeholder);

// What a click does.
enum class RecorderClick { StartRecording, DeleteShortcut, StopRecording, Nothing };
RecorderClick recorderClick(bool hasShortcut, bool recording, bool inShortcutRect, bool inHintRect);

// What a key typed while recording does, decided in this order.
enum class RecordingStep {
    Clear,         // Delete or Forward Delete, whatever the modifiers
    Cancel,        // Escape
    Bypass,        // Ctrl+Q or Ctrl+W: recording ends, the key goes on
    ShowModifiers, // a key without a name (a modifier alone): show the modifiers
    Refuse,        // not enough modifiers: the alert sound
    Taken,         // used elsewhere: the alert with the reason
    Accept,        // becomes the shortcut
};
struct RecordingDecision {
    RecordingStep step = RecordingStep::Accept;
    ShortcutError error; // the reason, for Taken
};
RecordingDecision decideRecordingStep(const Shortcut& shortcut);

// The shortcut a key event gives the recording key monitor: key presses, and
// the presses and releases of modifier keys (a change of the modifiers held,
// with the modifiers as they are after the change); nothing for other events.
std::optional<Shortcut> recordingShortcutForEvent(const QKeyEvent& event);

// The alert sound for a refused combination, and the modal alert for a taken
// one. Tests replace them; an empty function restores the desktop's.
using RecorderBeep = std::function<void()>;
using RecorderAlert =
    std::function<void(QWidget* parent, const QString& title, const QString& message)>;
void setRecorderBeep(RecorderBeep beep);
void setRecorderAlert(RecorderAlert alert);

// The state and behaviour of one recorder control. Its host (the widget)
// draws it, knows its bounds and its window, and tells it about the mouse.
class ShortcutRecorder final : public QObject {
    Q_OBJECT
public:
    class Host {
    public:
        virtual ~Host() = default;
        // The control's bounds, origin at the top left, y down.
        virtual QRectF bounds() const = 0;
        // Where the mouse is over the control; nothing when it is elsewhere.
        virtual std::optional<QPointF> mousePosition() const = 0;
        virtual void redraw() = 0;
        // The window whose deactivation ends recording.
        virtual QObject* recordingWindow() const = 0;
        // The window the taken-combination alert belongs to.
        virtual QWidget* alertParent() const = 0;
    };

    // The two tool tips' user data.
    static const void* const kShortcutToolTipToken;
    static const void* const kHintToolTipToken;

    explicit ShortcutRecorder(Host& host);
    // Only the current recorder switches the key monitor and the window
    // observation off: they belong to it.
    ~ShortcutRecorder() override;
    ShortcutRecorder(const ShortcutRecorder&) = delete;
    ShortcutRecorder& operator=(const ShortcutRecorder&) = delete;

    // A new value rebuilds the hint tracking, ends recording and redraws.
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    // 0, 1 or 2 (see the functions above); a new value restyles and redraws.
    int appearance() const { return appearance_; }
    void setAppearance(int appearance);
    int bezelStyle() const { return bezelStyle_; }
    void resetShortcutCellStyle();

    // True makes this the current recorder (ending any other's recording)
    // and, when enabled, starts recording; false ends it.
    bool isRecording() const { return recording_; }
    void setRecording(bool recording);

    // Every assignment counts, the same value too: the tool tips are rebuilt,
    // the control redrawn, then the change block runs, then
    // shortcutValueChanged() is emitted.
    const std::optional<Shortcut>& shortcutValue() const { return shortcutValue_; }
    void setShortcutValue(const std::optional<Shortcut>& shortcut);
    const std::function<void()>& shortcutValueChange() const { return shortcutValueChange_; }
    void setShortcutValueChange(std::function<void()> change)
    {
        shortcutValueChange_ = std::move(change);
    }

    // Shown while recording instead of the default prompt.
    const std::optional<QString>& shortcutPlaceholder() const { return shortcutPlaceholder_; }
    void setShortcutPlaceholder(const std::optional<QString>& placeholder);

    // The mouse is over the hint rect.
    bool isHinting() const { return hinting_; }
    void setHinting(bool hinting);

    RecorderRects rects() const { return divideRecorderBounds(host_.bounds(), appearance_); }
    RecorderDrawing drawing() const;

    // Hint tracking: rebuilt when enabled changes and whenever the host's
    // bounds change; the host reports the mouse moving over it and leaving it.
    void updateTrackingAreas();
    bool hasHintTrackingArea() const { return hintArea_.has_value(); }
    void mouseMoved(const QPointF& point);
    void mouseLeft();

    // A press of the left button at POINT (control coordinates); false when
    // the control is disabled and the click belongs to the base view.
    bool mouseDown(const QPointF& point);

    // The tool tips: over the shortcut rect and over the hint rect while a
    // shortcut is shown, enabled and idle; none otherwise.
    void resetToolTips();
    qint64 shortcutToolTipTag() const { return shortcutToolTipTag_; }
    qint64 hintToolTipTag() const { return hintToolTipTag_; }
    // The text of the tool tip with USERDATA; nothing for unknown data.
    std::optional<QString> stringForToolTip(qint64 tag, const QPointF& point,
                                            const void* userData) const;
    // The text of the tool tip whose rect holds POINT; nothing when none does.
    std::optional<QString> toolTipAt(const QPointF& point) const;

    // The process-wide key monitor and window observation, for this recorder.
    void activateEventMonitoring(bool active);
    void activateResignObserver(bool active);

    // Handles one key of the recording key monitor; true swallows it, false
    // lets it go on to the application.
    bool handleRecordingShortcut(const Shortcut& shortcut);

    // The recorder setRecording(true) was last called on; null once it is gone.
    static ShortcutRecorder* current();
    static bool isEventMonitoringActive();
    static bool isResignObserverActive();

Q_SIGNALS:
    // After every assignment of the shortcut value.
    void shortcutValueChanged();

private:
    struct ToolTip {
        qint64 tag = 0;
        QRectF rect;
        const void* userData = nullptr;
    };
    qint64 addToolTip(const QRectF& rect, const void* userData);
    void removeToolTip(qint64 tag);
    void mouseEntered();
    void mouseExited();
    void showTakenAlert(const Shortcut& shortcut, const ShortcutError& error);

    Host& host_;
    qint64 shortcutToolTipTag_ = 0;
    qint64 hintToolTipTag_ = 0;
    std::optional<QRectF> hintArea_;
    // Whether the hint tracking area takes the mouse to be inside it.
    bool mouseInHintArea_ = false;
    bool enabled_ = true;
    bool hinting_ = false;
    bool recording_ = false;
    int appearance_ = 0;
    int bezelStyle_ = 0;
    std::optional<Shortcut> shortcutValue_;
    std::optional<QString> shortcutPlaceholder_;
    std::function<void()> shortcutValueChange_;
    std::vector<ToolTip> toolTips_;
    qint64 lastToolTipTag_ = 0;
};

} // namespace zarvo
