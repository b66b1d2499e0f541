#include "recordertesting.h"
#include "shortcut/shortcuthotkey.h"
#include "shortcut/shortcutrecorder.h"
#include "shortcut/shortcutview.h"
#include "shortcuttesting.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>

#include <gtest/gtest.h>

#include <memory>

namespace zarvo {
namespace {

using modifier::kCommand;
using modifier::kControl;
using modifier::kOption;
using modifier::kShift;

const QSize kViewSize(150, 24);
const QPointF kInShortcutRect(60, 12);
const QPointF kInHintRect(140, 12);

const Shortcut kControlAltSuperK(40, kControl | kOption | kCommand);

// A window with a recorder in it, as a settings form would hold one.
struct RecorderWindow {
    RecorderWindow()
    {
        window.setObjectName(QStringLiteral("recorderWindow"));
        auto* layout = new QHBoxLayout(&window);
        view = new ShortcutView;
        layout->addWidget(view);
        window.resize(200, 40);
        view->setFixedSize(kViewSize);
        // Shown, so that sizes arrive as resize events, as on a screen.
        window.show();
    }
    QWidget window;
    ShortcutView* view = nullptr;
};

void click(QWidget* view, const QPointF& at, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseClick(view, button, Qt::NoModifier, at.toPoint());
}

void moveMouse(QWidget* view, const QPointF& at)
{
    QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(view, &move);
}

QString shownPrompt(const ShortcutView& view)
{
    const RecorderDrawing drawing = view.recorder().drawing();
    return drawing.shortcutRect ? drawing.shortcutRect->title : drawing.bounds.title;
}

class ShortcutViewTest : public ::testing::Test {
protected:
    // First: the members below need the application.
    const bool application_ = (test::ensureShortcutApplication(), true);
    void SetUp() override
    {
        test::ensureShortcutApplication();
        newProject = menu.addAction(QStringLiteral("New Project"));
        newProject->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
        quit = menu.addAction(QStringLiteral("Quit"));
        quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
        setMainMenu(&menu);
    }
    void TearDown() override { setMainMenu(nullptr); }

    ShortcutView* view() { return recorder.view; }

    test::UsKeyboard keyboard;
    test::TempDefaults defaults;
    test::MemoryHotKeys hotKeys;
    test::RecorderSeams seams;
    QMenu menu;
    QAction* newProject = nullptr;
    QAction* quit = nullptr;
    RecorderWindow recorder;
};

TEST_F(ShortcutViewTest, ANewViewPromptsToRecordOverItsWholeBounds)
{
    EXPECT_TRUE(view()->isEnabled());
    EXPECT_FALSE(view()->isRecording());
    EXPECT_EQ(view()->appearance(), 0);
    EXPECT_EQ(view()->bezelStyle(), 12);
    EXPECT_FALSE(view()->shortcutValue().has_value());
    EXPECT_EQ(view()->cellFont().pointSizeF(), 11.0);
    const RecorderDrawing drawing = view()->recorder().drawing();
    EXPECT_EQ(drawing.bounds.title, QStringLiteral("Record Shortcut"));
    EXPECT_EQ(drawing.bounds.alignment, Qt::AlignHCenter);
    EXPECT_FALSE(drawing.bounds.on);
    EXPECT_FALSE(drawing.shortcutRect.has_value());
    QRectF shortcutRect;
    QRectF hintRect;
    view()->getShortcutRect(&shortcutRect, &hintRect);
    EXPECT_EQ(hintRect, QRectF(127, 0, 23, 24));
    EXPECT_EQ(shortcutRect, QRectF(0, 0, 127, 24));
    view()->getShortcutRect(nullptr, &hintRect); // either output may be left out
}

TEST_F(ShortcutViewTest, ClickStartsRecordingAndTheHintCancels)
{
    click(view(), kInShortcutRect);
    EXPECT_TRUE(view()->isRecording());
    EXPECT_EQ(ShortcutRecorder::current(), &view()->recorder());
    EXPECT_TRUE(ShortcutRecorder::isEventMonitoringActive());
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("Type Shortcut"));
    EXPECT_EQ(view()->recorder().drawing().bounds.title, QStringLiteral("\u238B"));
    click(view(), kInShortcutRect);
    EXPECT_TRUE(view()->isRecording()) << "a click in the prompt does nothing";
    click(view(), kInHintRect);
    EXPECT_FALSE(view()->isRecording());
    EXPECT_FALSE(ShortcutRecorder::isEventMonitoringActive());
    EXPECT_FALSE(ShortcutRecorder::isResignObserverActive());
}

TEST_F(ShortcutViewTest, OnlyTheLeftButtonClicks)
{
    click(view(), kInShortcutRect, Qt::RightButton);
    EXPECT_FALSE(view()->isRecording());
}

TEST_F(ShortcutViewTest, ClickInTheHintDeletesAShortcutAndToTheLeftRecords)
{
    view()->setShortcutValue(kControlAltSuperK);
    EXPECT_EQ(shownPrompt(*view()), kControlAltSuperK.description());
    // The rightmost 23 points: the hint rect's left edge belongs to it.
    click(view(), QPointF(127, 12));
    EXPECT_FALSE(view()->shortcutValue().has_value());
    EXPECT_FALSE(view()->isRecording());

    view()->setShortcutValue(kControlAltSuperK);
    click(view(), QPointF(126, 12));
    EXPECT_TRUE(view()->isRecording());
    EXPECT_TRUE(view()->shortcutValue().has_value());
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("Type New Shortcut"));
}

TEST_F(ShortcutViewTest, HintingOverTheHintOffersTheOldShortcutAndKeepsIt)
{
    view()->setShortcutValue(kControlAltSuperK);
    click(view(), kInShortcutRect);
    moveMouse(view(), kInHintRect);
    EXPECT_TRUE(view()->isHinting());
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("Use Old Shortcut"));
    moveMouse(view(), kInShortcutRect);
    EXPECT_FALSE(view()->isHinting());
    moveMouse(view(), kInHintRect);
    click(view(), kInHintRect);
    EXPECT_FALSE(view()->isRecording());
    ASSERT_TRUE(view()->shortcutValue().has_value());
    EXPECT_EQ(view()->shortcutValue()->description(), kControlAltSuperK.description());
}

TEST_F(ShortcutViewTest, HintingWithoutAShortcutOffersCancel)
{
    click(view(), kInShortcutRect);
    moveMouse(view(), kInHintRect);
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("Cancel"));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(view(), &leave);
    EXPECT_FALSE(view()->isHinting());
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("Type Shortcut"));
}

TEST_F(ShortcutViewTest, AModifierAloneShowsItsSymbolUntilReleased)
{
    click(view(), kInShortcutRect);
    test::sendKey(&recorder.window, QEvent::KeyPress, Qt::Key_Meta);
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("\u2318"));
    test::sendKey(&recorder.window, QEvent::KeyPress, Qt::Key_Shift, Qt::MetaModifier);
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("\u21E7\u2318"));
    test::sendKey(&recorder.window, QEvent::KeyRelease, Qt::Key_Shift,
                  Qt::MetaModifier | Qt::ShiftModifier);
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("\u2318"));
    test::sendKey(&recorder.window, QEvent::KeyRelease, Qt::Key_Meta, Qt::MetaModifier);
    EXPECT_EQ(view()->shortcutPlaceholder(), QString());
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("Type Shortcut"));
    EXPECT_TRUE(view()->isRecording());

    view()->setShortcutValue(kControlAltSuperK);
    // As X11 reports Super: Qt's Super key, the state before the press.
    test::sendKey(&recorder.window, QEvent::KeyPress, Qt::Key_Super_L, Qt::NoModifier, 133);
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("\u2318"));
    test::sendKey(&recorder.window, QEvent::KeyRelease, Qt::Key_Super_L, Qt::MetaModifier, 133);
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("Type New Shortcut"));
}

TEST_F(ShortcutViewTest, EscapeEndsRecordingAndKeepsTheValue)
{
    view()->setShortcutValue(kControlAltSuperK);
    int changes = 0;
    view()->setShortcutValueChange([&changes](ShortcutView&) { ++changes; });
    click(view(), kInShortcutRect);
    test::typeKey(&recorder.window, Qt::Key_Escape);
    EXPECT_FALSE(view()->isRecording());
    ASSERT_TRUE(view()->shortcutValue().has_value());
    EXPECT_EQ(view()->shortcutValue()->description(), kControlAltSuperK.description());
    EXPECT_EQ(changes, 0);
}

TEST_F(ShortcutViewTest, DeleteClearsAlsoWithModifiersHeld)
{
    struct Row {
        const char* name;
        int key;
        Qt::KeyboardModifiers modifiers;
    } rows[] = {
        {"Backspace", Qt::Key_Backspace, Qt::NoModifier},
        {"Control+Shift+Backspace", Qt::Key_Backspace, Qt::ControlModifier | Qt::ShiftModifier},
        {"Super+Delete", Qt::Key_Delete, Qt::MetaModifier},
    };
    for (const Row& row : rows) {
        view()->setShortcutValue(kControlAltSuperK);
        click(view(), kInShortcutRect);
        ASSERT_TRUE(view()->isRecording()) << row.name;
        QTest::keyClick(&recorder.window, Qt::Key(row.key), row.modifiers);
        EXPECT_FALSE(view()->isRecording()) << row.name;
        EXPECT_FALSE(view()->shortcutValue().has_value()) << row.name;
        EXPECT_EQ(seams.beeps, 0) << row.name;
    }
}

TEST_F(ShortcutViewTest, AnInvalidKeyBeepsAndRecordingGoesOn)
{
    click(view(), kInShortcutRect);
    QTest::keyClick(&recorder.window, Qt::Key_A);
    EXPECT_EQ(seams.beeps, 1);
    EXPECT_TRUE(view()->isRecording());
    EXPECT_FALSE(view()->shortcutValue().has_value());
    QTest::keyClick(&recorder.window, Qt::Key_A, Qt::ShiftModifier);
    EXPECT_EQ(seams.beeps, 2);
    EXPECT_TRUE(seams.alerts.empty());
}

TEST_F(ShortcutViewTest, AValidCombinationBecomesTheValue)
{
    struct Row {
        const char* name;
        int key;
        Qt::KeyboardModifiers modifiers;
        QString description;
    } rows[] = {
        {"Control+Alt+Super+K", Qt::Key_K, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier,
         QStringLiteral("\u2303\u2325\u2318K")},
        {"a function key alone", Qt::Key_F5, Qt::NoModifier, QStringLiteral("F5")},
        {"Alt+Space", Qt::Key_Space, Qt::AltModifier, QStringLiteral("\u2325Space")},
    };
    for (const Row& row : rows) {
        QSignalSpy changed(view(), &ShortcutView::shortcutValueChanged);
        click(view(), kInShortcutRect);
        QTest::keyClick(&recorder.window, Qt::Key(row.key), row.modifiers);
        EXPECT_FALSE(view()->isRecording()) << row.name;
        ASSERT_TRUE(view()->shortcutValue().has_value()) << row.name;
        EXPECT_EQ(view()->shortcutValue()->description(), row.description) << row.name;
        EXPECT_EQ(changed.count(), 1) << row.name;
        EXPECT_EQ(shownPrompt(*view()), row.description) << row.name;
    }
    EXPECT_EQ(seams.beeps, 0);
}

TEST_F(ShortcutViewTest, KeysGoNowhereElseWhileRecording)
{
    auto* field = new QLabel(&recorder.window);
    int keysSeen = 0;
    struct Counter : QObject {
        int* seen;
        explicit Counter(int* s) : seen(s) {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::KeyPress) {
                ++*seen;
            }
            return false;
        }
    } counter(&keysSeen);
    field->installEventFilter(&counter);
    click(view(), kInShortcutRect);
    test::typeKey(field, Qt::Key_A);
    test::typeKey(field, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(keysSeen, 0);
    test::typeKey(field, Qt::Key_A);
    EXPECT_EQ(keysSeen, 1) << "idle again: keys go where they are sent";
}

TEST_F(ShortcutViewTest, ATakenCombinationAlertsAndRecordingGoesOnWithTheDefaultPrompt)
{
    bool monitorDuringAlert = true;
    bool observerDuringAlert = true;
    seams.duringAlert = [&] {
        monitorDuringAlert = ShortcutRecorder::isEventMonitoringActive();
        observerDuringAlert = ShortcutRecorder::isResignObserverActive();
    };
    click(view(), kInShortcutRect);
    // The modifiers first, as typed: the placeholder shows them.
    test::sendKey(&recorder.window, QEvent::KeyPress, Qt::Key_Control);
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("\u2303"));
    test::sendKey(&recorder.window, QEvent::KeyPress, Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(seams.alerts.size(), 1u);
    EXPECT_EQ(seams.alerts[0].title, QStringLiteral("The key combination \u2303N cannot be used"));
    EXPECT_EQ(seams.alerts[0].message,
              QStringLiteral("This shortcut cannot be used because it is already used by the menu "
                             "item \u2018New Project\u2019."));
    EXPECT_EQ(seams.alerts[0].parent, &recorder.window);
    EXPECT_FALSE(monitorDuringAlert);
    EXPECT_FALSE(observerDuringAlert);
    EXPECT_TRUE(view()->isRecording());
    EXPECT_FALSE(view()->shortcutPlaceholder().has_value());
    EXPECT_EQ(shownPrompt(*view()), QStringLiteral("Type Shortcut"));
    EXPECT_TRUE(ShortcutRecorder::isEventMonitoringActive());
    EXPECT_TRUE(ShortcutRecorder::isResignObserverActive());
    EXPECT_FALSE(view()->shortcutValue().has_value());
    EXPECT_EQ(seams.beeps, 0);
}

TEST_F(ShortcutViewTest, ACombinationAnotherProgramHoldsIsTaken)
{
    hotKeys.service().holdElsewhere(40, kControl | kOption | kCommand);
    click(view(), kInShortcutRect);
    QTest::keyClick(&recorder.window, Qt::Key_K,
                    Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    ASSERT_EQ(seams.alerts.size(), 1u);
    EXPECT_TRUE(seams.alerts[0].message.startsWith(
        QStringLiteral("This combination cannot be used because it is already used by a "
                       "system-wide keyboard shortcut.")));
    EXPECT_TRUE(view()->isRecording());
}

TEST_F(ShortcutViewTest, AnAlertThatEndsTheRecordingLeavesTheMonitorOff)
{
    seams.duringAlert = [this] { view()->setRecording(false); };
    click(view(), kInShortcutRect);
    test::sendKey(&recorder.window, QEvent::KeyPress, Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(seams.alerts.size(), 1u);
    EXPECT_FALSE(view()->isRecording());
    EXPECT_FALSE(ShortcutRecorder::isEventMonitoringActive());
    EXPECT_FALSE(ShortcutRecorder::isResignObserverActive());
}

TEST_F(ShortcutViewTest, TheDesktopAlertIsACriticalBoxWithOneOkButton)
{
    setRecorderAlert(nullptr);
    QString title;
    QString text;
    QString informative;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool seen = false;
    // The alert is modal: look at it from its own event loop, then press OK.
    std::function<void()> inspect;
    inspect = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(10, inspect);
            return;
        }
        seen = true;
        title = box->windowTitle();
        text = box->text();
        informative = box->informativeText();
        icon = box->icon();
        for (QAbstractButton* button : box->buttons()) {
            buttons << button->text();
        }
        box->buttons().value(0)->click();
    };
    QTimer::singleShot(0, inspect);
    click(view(), kInShortcutRect);
    test::sendKey(&recorder.window, QEvent::KeyPress, Qt::Key_N, Qt::ControlModifier);
    ASSERT_TRUE(seen);
    EXPECT_EQ(title, QStringLiteral("The key combination \u2303N cannot be used"));
    EXPECT_EQ(text, title);
    QTextDocument shown;
    shown.setHtml(informative);
    EXPECT_EQ(shown.toPlainText(),
              QStringLiteral("This shortcut cannot be used because it is already used by the menu "
                             "item \u2018New Project\u2019."));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, QStringList{QStringLiteral("OK")});
    EXPECT_TRUE(view()->isRecording());
}

TEST_F(ShortcutViewTest, AMenuItemsShortcutIsRecordedNotTriggered)
{
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* recorderView = new ShortcutView;
    layout->addWidget(recorderView);
    window.addAction(newProject);
    window.addAction(quit);
    int triggered = 0;
    QObject::connect(newProject, &QAction::triggered, [&triggered] { ++triggered; });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(triggered, 1) << "idle, the menu item's shortcut works";

    recorderView->setRecording(true);
    QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(triggered, 1);
    ASSERT_EQ(seams.alerts.size(), 1u) << "the recorder got Control+N";
    EXPECT_TRUE(recorderView->isRecording());
}

TEST_F(ShortcutViewTest, ControlQEndsRecordingAndGoesToTheApplication)
{
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* recorderView = new ShortcutView;
    layout->addWidget(recorderView);
    window.addAction(quit);
    int quits = 0;
    QObject::connect(quit, &QAction::triggered, [&quits] { ++quits; });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    recorderView->setRecording(true);
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(recorderView->isRecording());
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(seams.alerts.empty());
}

TEST_F(ShortcutViewTest, StartingASecondRecorderEndsTheFirst)
{
    RecorderWindow second;
    click(view(), kInShortcutRect);
    click(second.view, kInShortcutRect);
    EXPECT_FALSE(view()->isRecording());
    EXPECT_TRUE(second.view->isRecording());
    EXPECT_EQ(ShortcutRecorder::current(), &second.view->recorder());
    test::typeKey(&recorder.window, Qt::Key_F6);
    EXPECT_FALSE(view()->shortcutValue().has_value());
    ASSERT_TRUE(second.view->shortcutValue().has_value()) << "keys go to the current recorder";
    EXPECT_EQ(second.view->shortcutValue()->description(), QStringLiteral("F6"));
}

TEST_F(ShortcutViewTest, DestroyingARecorderThatIsNotCurrentLeavesRecordingAlone)
{
    auto other = std::make_unique<RecorderWindow>();
    click(view(), kInShortcutRect);
    other.reset();
    EXPECT_TRUE(view()->isRecording());
    test::typeKey(&recorder.window, Qt::Key_F6);
    EXPECT_FALSE(view()->isRecording()) << "still sees the keys";
    EXPECT_TRUE(view()->shortcutValue().has_value());
}

TEST_F(ShortcutViewTest, DestroyingTheRecordingViewSwitchesTheMonitorOff)
{
    auto other = std::make_unique<RecorderWindow>();
    click(other->view, kInShortcutRect);
    ASSERT_TRUE(ShortcutRecorder::isEventMonitoringActive());
    other.reset();
    EXPECT_FALSE(ShortcutRecorder::isEventMonitoringActive());
    EXPECT_FALSE(ShortcutRecorder::isResignObserverActive());
    EXPECT_EQ(ShortcutRecorder::current(), nullptr);
    int keysSeen = 0;
    struct Counter : QObject {
        int* seen;
        explicit Counter(int* s) : seen(s) {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            *seen += event->type() == QEvent::KeyPress;
            return false;
        }
    } counter(&keysSeen);
    recorder.window.installEventFilter(&counter);
    test::typeKey(&recorder.window, Qt::Key_A);
    EXPECT_EQ(keysSeen, 1);
}

TEST_F(ShortcutViewTest, DisablingEndsRecordingAndADisabledViewIgnoresClicks)
{
    view()->setShortcutValue(kControlAltSuperK);
    click(view(), kInShortcutRect);
    ASSERT_TRUE(view()->isRecording());
    view()->setEnabled(false);
    EXPECT_FALSE(view()->isRecording());
    EXPECT_FALSE(ShortcutRecorder::isEventMonitoringActive());
    EXPECT_FALSE(view()->recorder().drawing().bounds.on);

    click(view(), kInShortcutRect);
    EXPECT_FALSE(view()->isRecording());
    click(view(), kInHintRect);
    EXPECT_TRUE(view()->shortcutValue().has_value()) << "no delete either";
    view()->resetToolTips();
    EXPECT_FALSE(view()->recorder().toolTipAt(kInShortcutRect).has_value());

    view()->setRecording(true);
    EXPECT_FALSE(view()->isRecording());
    EXPECT_EQ(ShortcutRecorder::current(), &view()->recorder());

    view()->setEnabled(true);
    view()->resetToolTips();
    EXPECT_EQ(view()->recorder().toolTipAt(kInShortcutRect),
              QStringLiteral("Click to record new shortcut"));
    click(view(), kInShortcutRect);
    EXPECT_TRUE(view()->isRecording());
}

TEST_F(ShortcutViewTest, DisablingTheWindowDisablesTheRecorderToo)
{
    click(view(), kInShortcutRect);
    recorder.window.setEnabled(false);
    EXPECT_FALSE(view()->isRecording());
    EXPECT_FALSE(view()->recorder().isEnabled());
}

TEST_F(ShortcutViewTest, TheWindowLosingFocusEndsRecording)
{
    click(view(), kInShortcutRect);
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&recorder.window, &deactivate);
    EXPECT_FALSE(view()->isRecording());
    EXPECT_FALSE(ShortcutRecorder::isResignObserverActive());
}

TEST_F(ShortcutViewTest, TheChangeBlockRunsAtEveryAssignmentBeforeObservers)
{
    QStringList calls;
    view()->setShortcutValueChange([&calls](ShortcutView& changed) {
        calls << QStringLiteral("block:") + (changed.shortcutValue()
                                                 ? changed.shortcutValue()->description()
                                                 : QStringLiteral("nil"));
    });
    QObject::connect(view(), &ShortcutView::shortcutValueChanged,
                     [&calls] { calls << QStringLiteral("observer"); });
    view()->setShortcutValue(kControlAltSuperK);
    view()->setShortcutValue(kControlAltSuperK);
    view()->setShortcutValue(std::nullopt);
    view()->setShortcutValue(std::nullopt);
    const QString k = kControlAltSuperK.description();
    EXPECT_EQ(calls, (QStringList{QStringLiteral("block:") + k, QStringLiteral("observer"),
                                  QStringLiteral("block:") + k, QStringLiteral("observer"),
                                  QStringLiteral("block:nil"), QStringLiteral("observer"),
                                  QStringLiteral("block:nil"), QStringLiteral("observer")}));
}

TEST_F(ShortcutViewTest, ToolTipsNameWhatAClickDoes)
{
    view()->setShortcutValue(kControlAltSuperK);
    EXPECT_EQ(view()->recorder().toolTipAt(kInShortcutRect),
              QStringLiteral("Click to record new shortcut"));
    EXPECT_EQ(view()->recorder().toolTipAt(kInHintRect), QStringLiteral("Delete shortcut"));
    view()->setFixedSize(200, 24);
    EXPECT_EQ(view()->recorder().toolTipAt(QPointF(190, 12)), QStringLiteral("Delete shortcut"))
        << "the tool tips follow a resize";
    click(view(), kInShortcutRect);
    EXPECT_FALSE(view()->recorder().toolTipAt(kInShortcutRect).has_value());
}

TEST_F(ShortcutViewTest, AToolTipEventShowsTheTextOfItsPart)
{
    view()->setShortcutValue(kControlAltSuperK);
    const QPoint at = kInHintRect.toPoint();
    QHelpEvent help(QEvent::ToolTip, at, view()->mapToGlobal(at));
    QCoreApplication::sendEvent(view(), &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Delete shortcut"));

    view()->setRecording(true);
    QHelpEvent none(QEvent::ToolTip, at, view()->mapToGlobal(at));
    QCoreApplication::sendEvent(view(), &none);
    EXPECT_FALSE(none.isAccepted()) << "no tool tip while recording";
}

TEST_F(ShortcutViewTest, LocationsAreTakenInWindowCoordinates)
{
    recorder.window.show();
    const QPointF origin = view()->mapTo(&recorder.window, QPointF(0, 0));
    EXPECT_TRUE(view()->locationInShortcutRect(origin));
    EXPECT_FALSE(view()->locationInHintRect(origin));
    EXPECT_TRUE(view()->locationInHintRect(origin + QPointF(127, 0)));
    EXPECT_FALSE(view()->locationInHintRect(origin + QPointF(150, 0)));
    EXPECT_FALSE(view()->locationInShortcutRect(origin + QPointF(127, 0)));
}

// The control alone, without the window background behind it.
QImage drawnControl(QWidget* view)
{
    QImage image(view->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    view->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool hasVisiblePixels(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0) {
                return true;
            }
        }
    }
    return false;
}

TEST_F(ShortcutViewTest, AnAppearanceOutsideZeroToTwoLeavesTheControlUndrawn)
{
    view()->setShortcutValue(kControlAltSuperK);
    struct Row {
        const char* name;
        int appearance;
        bool drawn;
    } rows[] = {
        {"0", 0, true}, {"1", 1, true}, {"2", 2, true}, {"3", 3, false}, {"-1", -1, false},
    };
    for (const Row& row : rows) {
        view()->setAppearance(row.appearance);
        const QImage image = drawnControl(view());
        EXPECT_EQ(hasVisiblePixels(image), row.drawn) << row.name;
    }
}

TEST_F(ShortcutViewTest, AppearancesOneAndTwoAreDrawnOnePointDown)
{
    // The same control, drawn at appearance 0 and 2, differs by a one-point shift.
    view()->setShortcutValue(kControlAltSuperK);
    view()->setAppearance(0);
    const QImage flat = drawnControl(view());
    view()->setAppearance(2);
    view()->resetShortcutCellStyle();
    EXPECT_EQ(view()->bezelStyle(), 1);
    const QImage lowered = drawnControl(view());
    ASSERT_EQ(flat.size(), lowered.size());
    int topRowPixels = 0;
    for (int x = 0; x < lowered.width(); ++x) {
        topRowPixels += qAlpha(lowered.pixel(x, 0)) != 0;
    }
    int flatTopRowPixels = 0;
    for (int x = 0; x < flat.width(); ++x) {
        flatTopRowPixels += qAlpha(flat.pixel(x, 0)) != 0;
    }
    EXPECT_GT(flatTopRowPixels, 0);
    EXPECT_EQ(topRowPixels, 0) << "the first row stays empty one point down";
}

TEST_F(ShortcutViewTest, ALiveHotKeyTypedWhileRecordingIsRecordedNotFired)
{
    int fired = 0;
    const auto monitor =
        addGlobalHotkeyMonitorWithShortcut(kControlAltSuperK, [&fired] { ++fired; });
    ASSERT_TRUE(monitor.has_value());
    EXPECT_TRUE(hotKeys.service().press(40, kControl | kOption | kCommand));
    ASSERT_EQ(fired, 1) << "idle, the hot key fires";

    click(view(), kInShortcutRect);
    EXPECT_TRUE(hotKeys.service().press(40, kControl | kOption | kCommand));
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(view()->isRecording());
    ASSERT_TRUE(view()->shortcutValue().has_value());
    EXPECT_EQ(view()->shortcutValue()->description(), kControlAltSuperK.description());

    EXPECT_TRUE(hotKeys.service().press(40, kControl | kOption | kCommand));
    EXPECT_EQ(fired, 2) << "idle again";
    removeGlobalHotkeyMonitor(monitor);
}

TEST_F(ShortcutViewTest, AHotKeyPressedWhileTheAlertIsUpDoesNotFire)
{
    int fired = 0;
    const auto monitor =
        addGlobalHotkeyMonitorWithShortcut(Shortcut(96, kShift), [&fired] { ++fired; });
    ASSERT_TRUE(monitor.has_value());
    seams.duringAlert = [this] { hotKeys.service().press(96, kShift); };
    click(view(), kInShortcutRect);
    test::sendKey(&recorder.window, QEvent::KeyPress, Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(seams.alerts.size(), 1u);
    EXPECT_EQ(fired, 0);
    EXPECT_TRUE(view()->isRecording());
    removeGlobalHotkeyMonitor(monitor);
}

} // namespace
} // namespace zarvo
