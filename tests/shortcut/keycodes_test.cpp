#include "platform/keycodes.h"

#include <gtest/gtest.h>

#include <set>

namespace zarvo {
namespace {

using keycode::virtualKeyForX11Keycode;
using keycode::x11KeycodeForVirtualKey;

TEST(KeyCodesTest, KnownKeysMapToTheirX11Keycodes)
{
    // X11 keycodes of a standard evdev keyboard.
    struct Row {
        const char* name;
        quint16 virtualKey;
        quint32 x11;
    } rows[] = {
        {"A", 0, 38},
        {"K", 40, 45},
        {"Q", 12, 24},
        {"W", 13, 25},
        {"Z", 6, 52},
        {"1", 18, 10},
        {"0", 29, 19},
        {"minus", 27, 20},
        {"grave", 50, 49},
        {"ISO section", 10, 94},
        {"Return", 36, 36},
        {"Tab", 48, 23},
        {"Space", 49, 65},
        {"Delete", 51, 22},
        {"Escape", 53, 9},
        {"Forward Delete", 117, 119},
        {"Help/Insert", 114, 118},
        {"Home", 115, 110},
        {"End", 119, 115},
        {"Page Up", 116, 112},
        {"Page Down", 121, 117},
        {"Left", 123, 113},
        {"Right", 124, 114},
        {"Down", 125, 116},
        {"Up", 126, 111},
        {"keypad 0", 82, 90},
        {"keypad 7", 89, 79},
        {"keypad minus", 78, 82},
        {"keypad Enter", 76, 104},
        {"keypad Clear", 71, 77},
        {"F1", 122, 67},
        {"F5", 96, 71},
        {"F10", 109, 76},
        {"F11", 103, 95},
        {"F12", 111, 96},
        {"F13", 105, 191},
        {"F19", 80, 197},
        {"F20", 90, 198},
        {"Command", 0x37, 133},
        {"Control", 0x3B, 37},
        {"Option", 0x3A, 64},
        {"Shift", 0x38, 50},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(x11KeycodeForVirtualKey(row.virtualKey), row.x11) << row.name;
        EXPECT_EQ(virtualKeyForX11Keycode(row.x11), row.virtualKey) << row.name;
    }
}

TEST(KeyCodesTest, TableIsOneToOneBothWays)
{
    std::set<quint32> seen;
    int mapped = 0;
    for (quint64 virtualKey = 0; virtualKey < 0x100; ++virtualKey) {
        const auto x11 = x11KeycodeForVirtualKey(virtualKey);
        if (!x11) {
            continue;
        }
        ++mapped;
        EXPECT_TRUE(seen.insert(*x11).second) << "X11 keycode " << *x11 << " twice";
        EXPECT_GE(*x11, 8u);
        EXPECT_LE(*x11, 255u);
        EXPECT_EQ(virtualKeyForX11Keycode(*x11), virtualKey) << "virtual key " << virtualKey;
    }
    // 26 letters, 10 digits, 20 function keys and 18 keypad keys at least.
    EXPECT_GE(mapped, 100);
}

TEST(KeyCodesTest, KeysWithoutCounterpartMapToNothing)
{
    EXPECT_FALSE(x11KeycodeForVirtualKey(0x3F).has_value()) << "Fn has no X11 key";
    EXPECT_FALSE(x11KeycodeForVirtualKey(0x7F).has_value());
    EXPECT_FALSE(x11KeycodeForVirtualKey(0x10000 + 40).has_value());
    EXPECT_FALSE(x11KeycodeForVirtualKey(quint64(1) << 63).has_value());
    EXPECT_FALSE(virtualKeyForX11Keycode(0).has_value());
    EXPECT_FALSE(virtualKeyForX11Keycode(107).has_value()) << "Print has no virtual key";
}

} // namespace
} // namespace zarvo
