#include "shortcut/shortcutevent.h"
#include "shortcuttesting.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

TEST(ShortcutEventTest, NativeKeycodeAndModifiers)
{
    test::ensureShortcutApplication();
    struct Row {
        const char* name;
        int key;
        Qt::KeyboardModifiers modifiers;
        quint32 nativeScanCode;
        quint64 keyCode;
        quint64 flags;
    } rows[] = {
        {"Ctrl+Alt+Super+K", Qt::Key_K, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier,
         45, 40, 0x1C0000},
        {"Shift+A", Qt::Key_A, Qt::ShiftModifier, 38, 0, 0x20000},
        {"the keycode wins over the Qt key (German Z)", Qt::Key_Z, Qt::NoModifier, 29, 0x10, 0},
        {"keypad flag is dropped", Qt::Key_Minus, Qt::KeypadModifier, 82, 78, 0},
        {"F5", Qt::Key_F5, Qt::NoModifier, 71, 96, 0},
        {"Super alone", Qt::Key_Super_L, Qt::MetaModifier, 133, 0x37, 0x100000},
        {"unknown keycode", Qt::Key_Print, Qt::ControlModifier, 107, Shortcut::kNoKeyCode, 0x40000},
        {"synthesized Ctrl+K", Qt::Key_K, Qt::ControlModifier, 0, 40, 0x40000},
        {"synthesized keypad 5", Qt::Key_5, Qt::KeypadModifier, 0, 87, 0},
        {"synthesized main 5", Qt::Key_5, Qt::NoModifier, 0, 23, 0},
        {"synthesized Escape", Qt::Key_Escape, Qt::NoModifier, 0, 53, 0},
        {"synthesized Delete", Qt::Key_Delete, Qt::NoModifier, 0, 117, 0},
        {"synthesized unknown key", Qt::Key_MediaPlay, Qt::NoModifier, 0, Shortcut::kNoKeyCode, 0},
    };
    for (const Row& row : rows) {
        const QKeyEvent event(QEvent::KeyPress, row.key, row.modifiers, row.nativeScanCode, 0, 0);
        const Shortcut shortcut = shortcutWithEvent(event);
        EXPECT_EQ(shortcut.keyCode(), row.keyCode) << row.name;
        EXPECT_EQ(shortcut.modifierFlags(), row.flags) << row.name;
    }
}

} // namespace
} // namespace zarvo
