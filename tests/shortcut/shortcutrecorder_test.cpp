#include "recordertesting.h"
#include "shortcut/shortcutrecorder.h"
#include "shortcuttesting.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>

#include "shortcut/shortcut.h"

#include <gtest/gtest.h>

namespace zarvo {
namespace {

using modifier::kCommand;
using modifier::kControl;
using modifier::kOption;
using modifier::kShift;

const QString kDeleteSymbol = QStringLiteral("\u232B");
const QString kEscapeSymbol = QStringLiteral("\u238B");

TEST(RecorderGeometryTest, HintStripByAppearance)
{
    struct Row {
        const char* name;
        int appearance;
        QRectF bounds;
        QRectF shortcutRect;
        QRectF hintRect;
    } rows[] = {
        {"appearance 0", 0, {0, 0, 150, 24}, {0, 0, 127, 24}, {127, 0, 23, 24}},
        {"appearance 1", 1, {0, 0, 150, 24}, {0, 0, 125, 24}, {125, 0, 25, 24}},
        {"appearance 2", 2, {0, 0, 150, 24}, {0, 0, 124, 24}, {124, 0, 26, 24}},
        {"other appearances measure like 0", 7, {0, 0, 150, 24}, {0, 0, 127, 24}, {127, 0, 23, 24}},
        {"offset bounds", 0, {10, 5, 100, 20}, {10, 5, 77, 20}, {87, 5, 23, 20}},
        {"narrower than the strip: all hint", 0, {0, 0, 20, 24}, {0, 0, 0, 24}, {0, 0, 20, 24}},
    };
    for (const Row& row : rows) {
        const RecorderRects rects = divideRecorderBounds(row.bounds, row.appearance);
        EXPECT_EQ(rects.shortcutRect, row.shortcutRect) << row.name;
        EXPECT_EQ(rects.hintRect, row.hintRect) << row.name;
    }
}

TEST(RecorderGeometryTest, LeftAndTopEdgesAreInsideRightAndBottomAreNot)
{
    const QRectF rect(127, 0, 23, 24);
    struct Row {
        const char* name;
        QPointF point;
        bool inside;
    } rows[] = {
        {"left edge", {127, 10}, true},    {"top edge", {130, 0}, true},
        {"right edge", {150, 10}, false},  {"bottom edge", {130, 24}, false},
        {"just left", {126.9, 10}, false}, {"inside", {140, 12}, true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(locationInRect(rect, row.point), row.inside) << row.name;
    }
    EXPECT_FALSE(locationInRect(QRectF(0, 0, 0, 24), QPointF(0, 0))) << "an empty rect";
}

TEST(RecorderGeometryTest, AppearanceStylesAndOffsets)
{
    EXPECT_EQ(bezelStyleForAppearance(0), 12);
    EXPECT_EQ(bezelStyleForAppearance(1), 11);
    EXPECT_EQ(bezelStyleForAppearance(2), 1);
    EXPECT_EQ(bezelStyleForAppearance(3), std::nullopt);
    EXPECT_EQ(bezelStyleForAppearance(-1), std::nullopt);
    EXPECT_EQ(drawingOffsetForAppearance(0), 0.0);
    EXPECT_EQ(drawingOffsetForAppearance(1), 1.0);
    EXPECT_EQ(drawingOffsetForAppearance(2), 1.0);
    EXPECT_EQ(drawingOffsetForAppearance(3), std::nullopt);
}

TEST(RecorderDrawingTest, Table)
{
    test::UsKeyboard keyboard;
    const Shortcut shortcut(40, kControl | kOption | kCommand);
    const QString description = QStringLiteral("\u2303\u2325\u2318K");
    const Qt::Alignment right = Qt::AlignRight;
    const Qt::Alignment centre = Qt::AlignHCenter;
    const std::optional<QString> none;
    const std::optional<QString> empty = QString();
    const std::optional<QString> modifiers = QStringLiteral("\u2303\u2325");
    struct Row {
        const char* name;
        std::optional<Shortcut> value;
        bool recording;
        bool hinting;
        std::optional<QString> placeholder;
        RecorderTitle bounds;
        std::optional<RecorderTitle> shortcutRect;
    } rows[] = {
        {"set, idle",
         shortcut,
         false,
         false,
         none,
         {kDeleteSymbol, right, false},
         RecorderTitle{description, centre, false}},
        {"set, idle, hinting",
         shortcut,
         false,
         true,
         none,
         {kDeleteSymbol, right, false},
         RecorderTitle{description, centre, false}},
        {"set, recording, hinting",
         shortcut,
         true,
         true,
         modifiers,
         {kEscapeSymbol, right, false},
         RecorderTitle{QStringLiteral("Use Old Shortcut"), centre, true}},
        {"set, recording",
         shortcut,
         true,
         false,
         none,
         {kEscapeSymbol, right, false},
         RecorderTitle{QStringLiteral("Type New Shortcut"), centre, true}},
        {"set, recording, empty placeholder",
         shortcut,
         true,
         false,
         empty,
         {kEscapeSymbol, right, false},
         RecorderTitle{QStringLiteral("Type New Shortcut"), centre, true}},
        {"set, recording, placeholder",
         shortcut,
         true,
         false,
         modifiers,
         {kEscapeSymbol, right, false},
         RecorderTitle{*modifiers, centre, true}},
        {"nil, recording, hinting",
         std::nullopt,
         true,
         true,
         none,
         {kEscapeSymbol, right, false},
         RecorderTitle{QStringLiteral("Cancel"), centre, true}},
        {"nil, recording",
         std::nullopt,
         true,
         false,
         none,
         {kEscapeSymbol, right, false},
         RecorderTitle{QStringLiteral("Type Shortcut"), centre, true}},
        {"nil, recording, placeholder",
         std::nullopt,
         true,
         false,
         modifiers,
         {kEscapeSymbol, right, false},
         RecorderTitle{*modifiers, centre, true}},
        {"nil, idle",
         std::nullopt,
         false,
         false,
         none,
         {QStringLiteral("Record Shortcut"), centre, false},
         std::nullopt},
        {"nil, idle, hinting",
         std::nullopt,
         false,
         true,
         modifiers,
         {QStringLiteral("Record Shortcut"), centre, false},
         std::nullopt},
    };
    for (const Row& row : rows) {
        const RecorderDrawing drawing =
            recorderDrawing(row.value, row.recording, row.hinting, row.placeholder);
        EXPECT_EQ(drawing.bounds, row.bounds) << row.name;
        EXPECT_EQ(drawing.shortcutRect, row.shortcutRect) << row.name;
    }
}

TEST(RecorderClickTest, Table)
{
    using C = RecorderClick;
    struct Row {
        const char* name;
        bool hasShortcut;
        bool recording;
        bool inShortcutRect;
        bool inHintRect;
        RecorderClick click;
    } rows[] = {
        {"set, idle, shortcut rect", true, false, true, false, C::StartRecording},
        {"set, idle, hint rect", true, false, false, true, C::DeleteShortcut},
        {"set, idle, outside both", true, false, false, false, C::DeleteShortcut},
        {"set, recording, hint rect", true, true, false, true, C::StopRecording},
        {"set, recording, shortcut rect", true, true, true, false, C::Nothing},
        {"nil, idle, shortcut rect", false, false, true, false, C::StartRecording},
        {"nil, idle, hint rect", false, false, false, true, C::StartRecording},
        {"nil, recording, hint rect", false, true, false, true, C::StopRecording},
        {"nil, recording, shortcut rect", false, true, true, false, C::Nothing},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(recorderClick(row.hasShortcut, row.recording, row.inShortcutRect, row.inHintRect),
                  row.click)
            << row.name;
    }
}

class RecordingStepTest : public ::testing::Test {
protected:
    // First: the members below need the application.
    const bool application_ = (test::ensureShortcutApplication(), true);
    void SetUp() override
    {
        test::ensureShortcutApplication();
        menu.addAction(QStringLiteral("New Project"))
            ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
        setMainMenu(&menu);
    }
    void TearDown() override { setMainMenu(nullptr); }

    test::UsKeyboard keyboard;
    test::MemoryHotKeys hotKeys;
    QMenu menu;
};

TEST_F(RecordingStepTest, StepsInOrder)
{
    hotKeys.service().holdElsewhere(3, modifier::kControl); // Control+F held by another program
    using S = RecordingStep;
    struct Row {
        const char* name;
        Shortcut shortcut;
        RecordingStep step;
    } rows[] = {
        {"Delete", Shortcut(51, 0), S::Clear},
        {"Delete with modifiers", Shortcut(51, kControl | kShift), S::Clear},
        {"Forward Delete", Shortcut(117, kCommand), S::Clear},
        {"Escape", Shortcut(53, 0), S::Cancel},
        {"Escape with Option, though valid", Shortcut(53, kOption), S::Cancel},
        {"Control+Q", Shortcut(12, kControl), S::Bypass},
        {"Control+W", Shortcut(13, kControl), S::Bypass},
        {"Super alone (its own key)", Shortcut(0x37, kCommand), S::ShowModifiers},
        {"Shift key with Control", Shortcut(0x38, kShift | kControl), S::ShowModifiers},
        {"no key code", Shortcut(Shortcut::kNoKeyCode, kControl), S::ShowModifiers},
        {"A alone", Shortcut(0, 0), S::Refuse},
        {"Shift+A", Shortcut(0, kShift), S::Refuse},
        {"Control+N, a menu item's", Shortcut(45, kControl), S::Taken},
        {"Control+F, another program's", Shortcut(3, kControl), S::Taken},
        {"F5 alone", Shortcut(96, 0), S::Accept},
        {"Control+Alt+Super+K", Shortcut(40, kControl | kOption | kCommand), S::Accept},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(decideRecordingStep(row.shortcut).step, row.step) << row.name;
    }
}

TEST_F(RecordingStepTest, TakenCarriesTheReason)
{
    const RecordingDecision decision = decideRecordingStep(Shortcut(45, kControl));
    ASSERT_EQ(decision.step, RecordingStep::Taken);
    EXPECT_EQ(decision.error.localizedDescription,
              QStringLiteral("This shortcut cannot be used because it is already used by the menu "
                             "item \u2018New Project\u2019."));
}

TEST(RecordingEventTest, ModifierKeysCountAsChangedFlags)
{
    test::ensureShortcutApplication();
    struct Row {
        const char* name;
        QEvent::Type type;
        int key;
        Qt::KeyboardModifiers modifiers;
        quint32 nativeScanCode;
        std::optional<quint64> flags;
    } rows[] = {
        {"Meta pressed (state before)", QEvent::KeyPress, Qt::Key_Meta, Qt::NoModifier, 0,
         kCommand},
        {"Meta pressed (state after)", QEvent::KeyPress, Qt::Key_Meta, Qt::MetaModifier, 0,
         kCommand},
        {"X11 Super_L pressed", QEvent::KeyPress, Qt::Key_Super_L, Qt::ControlModifier, 133,
         kCommand | kControl},
        {"X11 Super_L released", QEvent::KeyRelease, Qt::Key_Super_L,
         Qt::MetaModifier | Qt::ControlModifier, 133, kControl},
        {"Shift released", QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier, 0, 0},
        {"Alt pressed with Control", QEvent::KeyPress, Qt::Key_Alt, Qt::ControlModifier, 0,
         kControl | kOption},
        {"Caps Lock changes nothing kept", QEvent::KeyPress, Qt::Key_CapsLock, Qt::ShiftModifier, 0,
         kShift},
        {"a letter pressed", QEvent::KeyPress, Qt::Key_K, Qt::ControlModifier, 0, kControl},
        {"a letter released: not seen", QEvent::KeyRelease, Qt::Key_K, Qt::ControlModifier, 0,
         std::nullopt},
    };
    for (const Row& row : rows) {
        const QKeyEvent event(row.type, row.key, row.modifiers, row.nativeScanCode, 0, 0);
        const std::optional<Shortcut> shortcut = recordingShortcutForEvent(event);
        ASSERT_EQ(shortcut.has_value(), row.flags.has_value()) << row.name;
        if (shortcut) {
            EXPECT_EQ(shortcut->modifierFlags(), *row.flags) << row.name;
        }
    }
    const QKeyEvent other(QEvent::ShortcutOverride, Qt::Key_K, Qt::ControlModifier);
    EXPECT_FALSE(recordingShortcutForEvent(other).has_value());
}

// A host without a widget: the recorder's logic alone.
class FakeHost final : public ShortcutRecorder::Host {
public:
    QRectF bounds() const override { return bounds_; }
    std::optional<QPointF> mousePosition() const override { return mouse; }
    void redraw() override { ++redraws; }
    QObject* recordingWindow() const override { return const_cast<QObject*>(&window); }
    QWidget* alertParent() const override { return nullptr; }

    QRectF bounds_{0, 0, 150, 24};
    std::optional<QPointF> mouse;
    int redraws = 0;
    QObject window;
};

class HeadlessRecorderTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureShortcutApplication(); }
    test::UsKeyboard keyboard;
    test::MemoryHotKeys hotKeys;
    test::RecorderSeams seams;
    FakeHost host;
};

TEST_F(HeadlessRecorderTest, NewRecorderState)
{
    ShortcutRecorder recorder(host);
    EXPECT_TRUE(recorder.isEnabled());
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.isHinting());
    EXPECT_EQ(recorder.appearance(), 0);
    EXPECT_EQ(recorder.bezelStyle(), 12);
    EXPECT_FALSE(recorder.shortcutValue().has_value());
    EXPECT_FALSE(recorder.shortcutPlaceholder().has_value());
    EXPECT_EQ(recorder.shortcutToolTipTag(), 0);
    EXPECT_EQ(recorder.hintToolTipTag(), 0);
}

TEST_F(HeadlessRecorderTest, AppearanceOutsideTheTableKeepsTheBezel)
{
    ShortcutRecorder recorder(host);
    recorder.setAppearance(1);
    EXPECT_EQ(recorder.bezelStyle(), 11);
    const int redraws = host.redraws;
    recorder.setAppearance(1);
    EXPECT_EQ(host.redraws, redraws) << "the same appearance changes nothing";
    recorder.setAppearance(5);
    EXPECT_EQ(recorder.bezelStyle(), 11);
    EXPECT_EQ(host.redraws, redraws + 1);
}

TEST_F(HeadlessRecorderTest, ToolTipsOnlyForAShortcutShownIdleAndEnabled)
{
    ShortcutRecorder recorder(host);
    EXPECT_FALSE(recorder.toolTipAt({10, 10}).has_value()) << "no shortcut";
    recorder.setShortcutValue(Shortcut(40, kControl));
    EXPECT_NE(recorder.shortcutToolTipTag(), 0);
    EXPECT_NE(recorder.hintToolTipTag(), 0);
    EXPECT_NE(recorder.shortcutToolTipTag(), recorder.hintToolTipTag());
    EXPECT_EQ(recorder.toolTipAt({10, 10}), QStringLiteral("Click to record new shortcut"));
    EXPECT_EQ(recorder.toolTipAt({140, 10}), QStringLiteral("Delete shortcut"));
    EXPECT_EQ(recorder.stringForToolTip(0, {}, nullptr), std::nullopt);

    recorder.setRecording(true);
    EXPECT_EQ(recorder.shortcutToolTipTag(), 0);
    EXPECT_FALSE(recorder.toolTipAt({10, 10}).has_value()) << "recording";
    recorder.setRecording(false);
    EXPECT_TRUE(recorder.toolTipAt({10, 10}).has_value());
    recorder.setEnabled(false);
    recorder.resetToolTips();
    EXPECT_FALSE(recorder.toolTipAt({10, 10}).has_value()) << "disabled";
    EXPECT_EQ(recorder.hintToolTipTag(), 0);
}

TEST_F(HeadlessRecorderTest, HintTrackingAssumesTheMouseInsideUntilToldOtherwise)
{
    ShortcutRecorder recorder(host);
    recorder.setHinting(true);
    host.mouse = QPointF(140, 10);
    recorder.updateTrackingAreas();
    EXPECT_TRUE(recorder.isHinting()) << "inside: no exit";
    recorder.mouseMoved({20, 10});
    EXPECT_FALSE(recorder.isHinting());
    recorder.mouseMoved({149, 23});
    EXPECT_TRUE(recorder.isHinting());
    recorder.mouseLeft();
    EXPECT_FALSE(recorder.isHinting());

    recorder.setHinting(true);
    host.mouse.reset();
    recorder.updateTrackingAreas();
    EXPECT_FALSE(recorder.isHinting()) << "the mouse elsewhere: an exit at once";

    recorder.setEnabled(false);
    EXPECT_FALSE(recorder.hasHintTrackingArea());
    recorder.mouseMoved({140, 10});
    EXPECT_FALSE(recorder.isHinting()) << "no tracking while disabled";
}

} // namespace
} // namespace zarvo
