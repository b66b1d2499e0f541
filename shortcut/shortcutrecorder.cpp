#include "shortcut/shortcutrecorder.h"

#include "shortcut/shortcutevent.h"
#include "shortcut/shortcuthotkey.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTextDocument>

#include <algorithm>

namespace zarvo {
namespace {

constexpr quint64 kDeleteKeyCode = 51;
constexpr quint64 kForwardDeleteKeyCode = 117;
constexpr quint64 kEscapeKeyCode = 53;

constexpr qreal kHintWidthRoundRect = 23;
constexpr qreal kHintWidthTextured = 25;
constexpr qreal kHintWidthRounded = 26;

constexpr char16_t kDeleteSymbol = 0x232B; // ⌫
constexpr char16_t kEscapeSymbol = 0x238B; // ⎋

// The modifier bit a modifier key holds down: 0 for the modifier keys whose
// modifiers a shortcut does not keep (Caps Lock, AltGr, Hyper), nothing for
// keys that are no modifier keys.
std::optional<quint64> modifierOfKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
        return modifier::kShift;
    case Qt::Key_Control:
        return modifier::kControl;
    case Qt::Key_Alt:
        return modifier::kOption;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return modifier::kCommand;
    case Qt::Key_AltGr:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
        return quint64(0);
    default:
        return std::nullopt;
    }
}

void desktopBeep()
{
    QApplication::beep();
}

void desktopAlert(QWidget* parent, const QString& title, const QString& message)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Critical);
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(title);
    // The reason names a menu item the user titled: never read it as markup.
    box.setInformativeText(Qt::convertFromPlainText(message));
    box.addButton(shortcutText("OK"), QMessageBox::AcceptRole);
    box.exec();
}

class KeyMonitor;
class ResignObserver;

// What all recorders of the process share.
struct ProcessState {
    QPointer<ShortcutRecorder> current;
    bool monitoring = false;
    KeyMonitor* monitor = nullptr;
    bool observingResign = false;
    ResignObserver* resignObserver = nullptr;
    RecorderBeep beep;
    RecorderAlert alert;
    bool hotKeyFilterInstalled = false;
};

ProcessState& processState()
{
    static ProcessState* shared = new ProcessState;
    return *shared;
}

// The recording key monitor: an application-wide event filter that sees the
// application's key events before any window or control does.
class KeyMonitor final : public QObject {
public:
    // Not owned: the monitor does nothing once the recorder is gone.
    QPointer<ShortcutRecorder> recorder;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ShortcutOverride: {
            // Asked before a key press may trigger an action's shortcut (the
            // main menu's, say): the recorder wants the key instead, except
            // the bypassed ones, which end recording and go on as usual.
            auto* key = static_cast<QKeyEvent*>(event);
            if (!recorder) {
                return false;
            }
            const Shortcut shortcut = shortcutWithEvent(*key);
            if (shouldBypass(shortcut)) {
                return recorder->handleRecordingShortcut(shortcut);
            }
            key->accept();
            return true;
        }
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const std::optional<Shortcut> shortcut =
                recordingShortcutForEvent(*static_cast<QKeyEvent*>(event));
            if (!shortcut || !recorder) {
                return false;
            }
            return recorder->handleRecordingShortcut(*shortcut);
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }
};

// The window observation: the recorder's window stopped being the active one.
class ResignObserver final : public QObject {
public:
    QPointer<ShortcutRecorder> recorder;
    QPointer<QObject> window;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == window && event->type() == QEvent::WindowDeactivate && recorder) {
            recorder->setRecording(false);
        }
        return QObject::eventFilter(watched, event);
    }
};

KeyMonitor& keyMonitor()
{
    ProcessState& state = processState();
    if (!state.monitor) {
        state.monitor = new KeyMonitor;
    }
    return *state.monitor;
}

ResignObserver& resignObserver()
{
    ProcessState& state = processState();
    if (!state.resignObserver) {
        state.resignObserver = new ResignObserver;
    }
    return *state.resignObserver;
}

// A hot key of this process pressed while a recorder records: the press is
// a key typed into the recorder, not a reason to run the hot key's handler.
bool filterHotKeyPress(const Shortcut& shortcut)
{
    ProcessState& state = processState();
    if (state.monitoring) {
        const QPointer<ShortcutRecorder> recorder = keyMonitor().recorder;
        return recorder && recorder->handleRecordingShortcut(shortcut);
    }
    // Recording with the key monitor off: the taken-combination alert is up.
    return state.current && state.current->isRecording();
}

QString withArgument(QString text, const QString& argument)
{
    const qsizetype at = text.indexOf(QLatin1String("%@"));
    if (at >= 0) {
        text.replace(at, 2, argument);
    }
    return text;
}

} // namespace

qreal hintWidthForAppearance(int appearance)
{
    switch (appearance) {
    case 1:
        return kHintWidthTextured;
    case 2:
        return kHintWidthRounded;
    default:
        return kHintWidthRoundRect;
    }
}

std::optional<int> bezelStyleForAppearance(int appearance)
{
    switch (appearance) {
    case 0:
        return bezel::kRoundRect;
    case 1:
        return bezel::kTexturedRounded;
    case 2:
        return bezel::kRounded;
    default:
        return std::nullopt;
    }
}

std::optional<qreal> drawingOffsetForAppearance(int appearance)
{
    switch (appearance) {
    case 0:
        return 0.0;
    case 1:
    case 2:
        return 1.0;
    default:
        return std::nullopt;
    }
}

RecorderRects divideRecorderBounds(const QRectF& bounds, int appearance)
{
    const qreal width = hintWidthForAppearance(appearance);
    if (bounds.width() <= width) {
        return {QRectF(bounds.x(), bounds.y(), 0, bounds.height()), bounds};
    }
    const qreal split = bounds.right() - width;
    return {QRectF(bounds.x(), bounds.y(), split - bounds.x(), bounds.height()),
            QRectF(split, bounds.y(), width, bounds.height())};
}

bool locationInRect(const QRectF& rect, const QPointF& point)
{
    return rect.width() > 0 && rect.height() > 0 && point.x() >= rect.left() &&
           point.x() < rect.right() && point.y() >= rect.top() && point.y() < rect.bottom();
}

RecorderDrawing recorderDrawing(const std::optional<Shortcut>& shortcutValue, bool recording,
                                bool hinting, const std::optional<QString>& placeholder)
{
    const Qt::Alignment right = Qt::AlignRight;
    const Qt::Alignment centre = Qt::AlignHCenter;
    if (!recording) {
        if (shortcutValue) {
            return {{QString(QChar(kDeleteSymbol)), right, false},
                    RecorderTitle{shortcutValue->description(), centre, false}};
        }
        return {{shortcutText("Record Shortcut"), centre, false}, std::nullopt};
    }
    QString prompt;
    if (hinting) {
        prompt = shortcutValue ? shortcutText("Use Old Shortcut") : shortcutText("Cancel");
    } else if (placeholder && !placeholder->isEmpty()) {
        prompt = *placeholder;
    } else {
        prompt = shortcutValue ? shortcutText("Type New Shortcut") : shortcutText("Type Shortcut");
    }
    return {{QString(QChar(kEscapeSymbol)), right, false}, RecorderTitle{prompt, centre, true}};
}

RecorderClick recorderClick(bool hasShortcut, bool recording, bool inShortcutRect, bool inHintRect)
{
    if (recording) {
        return inHintRect ? RecorderClick::StopRecording : RecorderClick::Nothing;
    }
    if (hasShortcut && !inShortcutRect) {
        return RecorderClick::DeleteShortcut;
    }
    return RecorderClick::StartRecording;
}

RecordingDecision decideRecordingStep(const Shortcut& shortcut)
{
    const quint64 keyCode = shortcut.keyCode();
    if (keyCode == kDeleteKeyCode || keyCode == kForwardDeleteKeyCode) {
        return {RecordingStep::Clear, {}};
    }
    if (keyCode == kEscapeKeyCode) {
        return {RecordingStep::Cancel, {}};
    }
    if (shouldBypass(shortcut)) {
        return {RecordingStep::Bypass, {}};
    }
    const std::optional<QString> keyText = shortcut.keyCodeString();
    if (!keyText || keyText->isEmpty()) {
        return {RecordingStep::ShowModifiers, {}};
    }
    if (!isValid(shortcut)) {
        return {RecordingStep::Refuse, {}};
    }
    ShortcutError error;
    if (isTakenError(shortcut, &error)) {
        return {RecordingStep::Taken, error};
    }
    return {RecordingStep::Accept, {}};
}

std::optional<Shortcut> recordingShortcutForEvent(const QKeyEvent& event)
{
    const bool press = event.type() == QEvent::KeyPress;
    if (!press && event.type() != QEvent::KeyRelease) {
        return std::nullopt;
    }
    const std::optional<quint64> held = modifierOfKey(event.key());
    if (!held) {
        // Releasing an ordinary key changes no modifiers.
        return press ? std::optional(shortcutWithEvent(event)) : std::nullopt;
    }
    // A modifier key's own event may or may not count the key itself among
    // the modifiers (X11 reports the state before the change); the change is
    // known, so set it.
    Shortcut shortcut = shortcutWithEvent(event);
    const quint64 flags = shortcut.modifierFlags();
    shortcut.setModifierFlags(press ? flags | *held : flags & ~*held);
    return shortcut;
}

void setRecorderBeep(RecorderBeep beep)
{
    processState().beep = std::move(beep);
}

void setRecorderAlert(RecorderAlert alert)
{
    processState().alert = std::move(alert);
}

const void* const ShortcutRecorder::kShortcutToolTipToken =
    &ShortcutRecorder::kShortcutToolTipToken;
const void* const ShortcutRecorder::kHintToolTipToken = &ShortcutRecorder::kHintToolTipToken;

ShortcutRecorder::ShortcutRecorder(Host& host) : host_(host)
{
    ProcessState& state = processState();
    if (!state.hotKeyFilterInstalled) {
        setHotKeyPressFilter(&filterHotKeyPress);
        state.hotKeyFilterInstalled = true;
    }
    resetShortcutCellStyle();
}

ShortcutRecorder::~ShortcutRecorder()
{
    // With several recorders, another one's recording is left alone.
    if (processState().current == this) {
        activateEventMonitoring(false);
        activateResignObserver(false);
    }
}

void ShortcutRecorder::setEnabled(bool enabled)
{
    if (enabled == enabled_) {
        return;
    }
    enabled_ = enabled;
    updateTrackingAreas();
    setRecording(false);
    host_.redraw();
}

void ShortcutRecorder::setAppearance(int appearance)
{
    if (appearance == appearance_) {
        return;
    }
    appearance_ = appearance;
    resetShortcutCellStyle();
    host_.redraw();
}

void ShortcutRecorder::resetShortcutCellStyle()
{
    if (const std::optional<int> style = bezelStyleForAppearance(appearance_)) {
        bezelStyle_ = *style;
    }
}

void ShortcutRecorder::setRecording(bool recording)
{
    ProcessState& state = processState();
    if (recording) {
        if (state.current != this) {
            if (ShortcutRecorder* previous = state.current) {
                previous->setRecording(false);
            }
            state.current = this;
        }
        if (!enabled_) {
            return;
        }
    }
    if (recording == recording_) {
        return;
    }
    recording_ = recording;
    shortcutPlaceholder_.reset();
    resetToolTips();
    activateEventMonitoring(recording);
    activateResignObserver(recording);
    host_.redraw();
}

void ShortcutRecorder::setShortcutValue(const std::optional<Shortcut>& shortcut)
{
    shortcutValue_ = shortcut;
    resetToolTips();
    host_.redraw();
    const QPointer<ShortcutRecorder> alive(this);
    if (shortcutValueChange_) {
        // A copy: the block may replace itself.
        const std::function<void()> change = shortcutValueChange_;
        change();
    }
    if (alive) {
        Q_EMIT shortcutValueChanged();
    }
}

void ShortcutRecorder::setShortcutPlaceholder(const std::optional<QString>& placeholder)
{
    shortcutPlaceholder_ = placeholder;
    host_.redraw();
}

void ShortcutRecorder::setHinting(bool hinting)
{
    if (hinting == hinting_) {
        return;
    }
    hinting_ = hinting;
    host_.redraw();
}

RecorderDrawing ShortcutRecorder::drawing() const
{
    return recorderDrawing(shortcutValue_, recording_, hinting_, shortcutPlaceholder_);
}

void ShortcutRecorder::updateTrackingAreas()
{
    hintArea_.reset();
    mouseInHintArea_ = false;
    if (!enabled_) {
        return;
    }
    hintArea_ = rects().hintRect;
    // The area takes the mouse to start inside it and says so when it is not.
    mouseInHintArea_ = true;
    const std::optional<QPointF> mouse = host_.mousePosition();
    if (!mouse || !locationInRect(*hintArea_, *mouse)) {
        mouseInHintArea_ = false;
        mouseExited();
    }
}

void ShortcutRecorder::mouseMoved(const QPointF& point)
{
    if (!hintArea_) {
        return;
    }
    const bool inside = locationInRect(*hintArea_, point);
    if (inside == mouseInHintArea_) {
        return;
    }
    mouseInHintArea_ = inside;
    if (inside) {
        mouseEntered();
    } else {
        mouseExited();
    }
}

void ShortcutRecorder::mouseLeft()
{
    if (hintArea_ && mouseInHintArea_) {
        mouseInHintArea_ = false;
        mouseExited();
    }
}

void ShortcutRecorder::mouseEntered()
{
    setHinting(true);
}

void ShortcutRecorder::mouseExited()
{
    setHinting(false);
}

bool ShortcutRecorder::mouseDown(const QPointF& point)
{
    if (!enabled_) {
        return false;
    }
    const RecorderRects parts = rects();
    switch (recorderClick(shortcutValue_.has_value(), recording_,
                          locationInRect(parts.shortcutRect, point),
                          locationInRect(parts.hintRect, point))) {
    case RecorderClick::StartRecording:
        setRecording(true);
        break;
    case RecorderClick::DeleteShortcut:
        setShortcutValue(std::nullopt);
        break;
    case RecorderClick::StopRecording:
        setRecording(false);
        break;
    case RecorderClick::Nothing:
        break;
    }
    return true;
}

void ShortcutRecorder::resetToolTips()
{
    if (shortcutToolTipTag_ != 0) {
        removeToolTip(shortcutToolTipTag_);
        shortcutToolTipTag_ = 0;
    }
    if (hintToolTipTag_ != 0) {
        removeToolTip(hintToolTipTag_);
        hintToolTipTag_ = 0;
    }
    if (!shortcutValue_ || recording_ || !enabled_) {
        return;
    }
    const RecorderRects parts = rects();
    shortcutToolTipTag_ = addToolTip(parts.shortcutRect, kShortcutToolTipToken);
    hintToolTipTag_ = addToolTip(parts.hintRect, kHintToolTipToken);
}

qint64 ShortcutRecorder::addToolTip(const QRectF& rect, const void* userData)
{
    const qint64 tag = ++lastToolTipTag_;
    toolTips_.push_back({tag, rect, userData});
    return tag;
}

void ShortcutRecorder::removeToolTip(qint64 tag)
{
    std::erase_if(toolTips_, [tag](const ToolTip& tip) { return tip.tag == tag; });
}

std::optional<QString> ShortcutRecorder::stringForToolTip(qint64 tag, const QPointF& point,
                                                          const void* userData) const
{
    Q_UNUSED(tag);
    Q_UNUSED(point);
    if (userData == kShortcutToolTipToken) {
        return shortcutText("Click to record new shortcut");
    }
    if (userData == kHintToolTipToken) {
        return shortcutText("Delete shortcut");
    }
    return std::nullopt;
}

std::optional<QString> ShortcutRecorder::toolTipAt(const QPointF& point) const
{
    for (const ToolTip& tip : toolTips_) {
        if (locationInRect(tip.rect, point)) {
            return stringForToolTip(tip.tag, point, tip.userData);
        }
    }
    return std::nullopt;
}

void ShortcutRecorder::activateEventMonitoring(bool active)
{
    ProcessState& state = processState();
    if (active == state.monitoring) {
        return;
    }
    state.monitoring = active;
    KeyMonitor& monitor = keyMonitor();
    if (active) {
        monitor.recorder = this;
        if (qApp) {
            qApp->installEventFilter(&monitor);
        }
    } else {
        if (qApp) {
            qApp->removeEventFilter(&monitor);
        }
        monitor.recorder = nullptr;
    }
}

void ShortcutRecorder::activateResignObserver(bool active)
{
    ProcessState& state = processState();
    if (active == state.observingResign) {
        return;
    }
    state.observingResign = active;
    ResignObserver& observer = resignObserver();
    if (observer.window) {
        observer.window->removeEventFilter(&observer);
    }
    observer.window = nullptr;
    observer.recorder = nullptr;
    if (active) {
        observer.recorder = this;
        observer.window = host_.recordingWindow();
        if (observer.window) {
            observer.window->installEventFilter(&observer);
        }
    }
}

bool ShortcutRecorder::handleRecordingShortcut(const Shortcut& shortcut)
{
    const RecordingDecision decision = decideRecordingStep(shortcut);
    const QPointer<ShortcutRecorder> alive(this);
    switch (decision.step) {
    case RecordingStep::Clear:
        setShortcutValue(std::nullopt);
        if (alive) {
            setRecording(false);
        }
        return true;
    case RecordingStep::Cancel:
        setRecording(false);
        return true;
    case RecordingStep::Bypass:
        setRecording(false);
        return false;
    case RecordingStep::ShowModifiers:
        setShortcutPlaceholder(shortcut.modifierFlagsString());
        return true;
    case RecordingStep::Refuse: {
        const RecorderBeep beep = processState().beep;
        beep ? beep() : desktopBeep();
        return true;
    }
    case RecordingStep::Taken:
        showTakenAlert(shortcut, decision.error);
        return true;
    case RecordingStep::Accept:
        setShortcutValue(shortcut);
        if (alive) {
            setRecording(false);
        }
        return true;
    }
    return true;
}

void ShortcutRecorder::showTakenAlert(const Shortcut& shortcut, const ShortcutError& error)
{
    activateResignObserver(false);
    activateEventMonitoring(false);
    const QString title =
        withArgument(shortcutText("The key combination %@ cannot be used"), shortcut.description());
    const QPointer<ShortcutRecorder> alive(this);
    const RecorderAlert alert = processState().alert;
    if (alert) {
        alert(host_.alertParent(), title, error.localizedDescription);
    } else {
        desktopAlert(host_.alertParent(), title, error.localizedDescription);
    }
    // The alert runs its own event loop: whatever ended this recording
    // meanwhile stands, and the monitor comes back only for a recording that
    // goes on.
    if (!alive) {
        return;
    }
    setShortcutPlaceholder(std::nullopt);
    if (!recording_ || processState().current != this) {
        return;
    }
    activateResignObserver(true);
    activateEventMonitoring(true);
}

ShortcutRecorder* ShortcutRecorder::current()
{
    return processState().current;
}

bool ShortcutRecorder::isEventMonitoringActive()
{
    return processState().monitoring;
}

bool ShortcutRecorder::isResignObserverActive()
{
    return processState().observingResign;
}

} // namespace zarvo
