#include "shortcut/shortcutvalidator.h"
#include "shortcuttesting.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "shortcut/shortcut.h"

#include <gtest/gtest.h>

#include <memory>

namespace zarvo {
namespace {

using modifier::kCommand;
using modifier::kControl;
using modifier::kOption;
using modifier::kShift;

constexpr quint64 kA = 0;
constexpr quint64 kQ = 12;
constexpr quint64 kW = 13;
constexpr quint64 kSpace = 49;
constexpr quint64 kEscape = 53;
constexpr quint64 kF5 = 96;
constexpr quint64 kF20 = 90;

const QString kMenuMessage = QStringLiteral(
    "This shortcut cannot be used because it is already used by the menu item \u2018%1\u2019.");
const QString kSystemMessage = QStringLiteral(
    "This combination cannot be used because it is already used by a system-wide keyboard "
    "shortcut.\nIf you really want to use this key combination, most shortcuts can be changed "
    "in the Keyboard & Mouse panel in System Preferences.");

class ShortcutValidatorTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureShortcutApplication(); }
    void TearDown() override
    {
        setMainMenu(nullptr);
        setAllowsAnyHotkeyWithOptionModifier(false);
    }
    test::UsKeyboard keyboard;
};

TEST_F(ShortcutValidatorTest, BypassIsControlWOrQAlone)
{
    struct Row {
        const char* name;
        quint64 keyCode;
        quint64 flags;
        bool bypass;
    } rows[] = {
        {"Control+Q", kQ, kControl, true},
        {"Control+W", kW, kControl, true},
        {"Control+Shift+Q", kQ, kControl | kShift, false},
        {"Super+Q", kQ, kCommand, false},
        {"Super+W", kW, kCommand, false},
        {"Q alone", kQ, 0, false},
        {"Control+A", kA, kControl, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(shouldBypass(Shortcut(row.keyCode, row.flags)), row.bypass) << row.name;
    }
}

TEST_F(ShortcutValidatorTest, BypassFollowsTheKeyLabelsOfTheLayout)
{
    // On a French keyboard the key labelled Q is where US keyboards have A.
    keyboard.setLayout("fr");
    EXPECT_TRUE(shouldBypass(Shortcut(kA, kControl)));
    EXPECT_FALSE(shouldBypass(Shortcut(kQ, kControl)));
}

TEST_F(ShortcutValidatorTest, ValidityTable)
{
    struct Row {
        const char* name;
        quint64 keyCode;
        quint64 flags;
        bool valid;
    } rows[] = {
        {"F5 alone", kF5, 0, true},
        {"F20 alone", kF20, 0, true},
        {"Shift+F5", kF5, kShift, true},
        {"A alone", kA, 0, false},
        {"Shift+A", kA, kShift, false},
        {"Alt+A", kA, kOption, false},
        {"Alt+Shift+A", kA, kOption | kShift, false},
        {"Control+A", kA, kControl, true},
        {"Super+A", kA, kCommand, true},
        {"Shift+Super+A", kA, kShift | kCommand, true},
        {"Alt+Space", kSpace, kOption, true},
        {"Alt+Shift+Escape", kEscape, kOption | kShift, true},
        {"Space alone", kSpace, 0, false},
        {"Shift+Space", kSpace, kShift, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(isValid(Shortcut(row.keyCode, row.flags)), row.valid) << row.name;
    }
}

TEST_F(ShortcutValidatorTest, OptionIsEnoughOnceAllowed)
{
    EXPECT_FALSE(allowsAnyHotkeyWithOptionModifier());
    setAllowsAnyHotkeyWithOptionModifier(true);
    EXPECT_TRUE(isValid(Shortcut(kA, kOption)));
    EXPECT_TRUE(isValid(Shortcut(kA, kOption | kShift)));
    EXPECT_FALSE(isValid(Shortcut(kA, kShift)));
}

// A menu bar like the application's: File > Quit (Super+Q), Edit with a
// nested submenu two levels deep.
struct MenuTree {
    QMenuBar bar;
    QMenu* file = bar.addMenu(QStringLiteral("&File"));
    QMenu* edit = bar.addMenu(QStringLiteral("Edit"));
    QMenu* deeper = nullptr;
    QAction* quit = nullptr;
    QAction* nested = nullptr;

    MenuTree()
    {
        quit = file->addAction(QStringLiteral("&Quit Zarvo"));
        quit->setShortcut(QKeySequence(Qt::META | Qt::Key_Q));
        file->addSeparator();
        QMenu* find = edit->addMenu(QStringLiteral("Find"));
        deeper = find->addMenu(QStringLiteral("Advanced"));
        nested = deeper->addAction(QStringLiteral("Find && Replace"));
        nested->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F));
    }
};

TEST_F(ShortcutValidatorTest, MenuItemsTakeTheirCombination)
{
    MenuTree menus;
    const QString f = QStringLiteral("f");
    const QString q = QStringLiteral("q");
    struct Row {
        const char* name;
        QString keyEquivalent;
        quint64 flags;
        bool taken;
        QString title;
    } rows[] = {
        {"Super+Q", q, kCommand, true, QStringLiteral("Quit Zarvo")},
        {"Super+Shift+Q", q, kCommand | kShift, false, QString()},
        {"Control+Q", q, kControl, false, QString()},
        {"two submenus deep", f, kControl | kOption, true, QStringLiteral("Find & Replace")},
        {"nested, other modifiers", f, kControl, false, QString()},
    };
    for (const Row& row : rows) {
        ShortcutError error;
        EXPECT_EQ(isKeyEquivalent(row.keyEquivalent, row.flags, &menus.bar, &error), row.taken)
            << row.name;
        if (row.taken) {
            EXPECT_EQ(error.domain, QStringLiteral("NSCocoaErrorDomain")) << row.name;
            EXPECT_EQ(error.code, 0) << row.name;
            EXPECT_EQ(error.localizedDescription, kMenuMessage.arg(row.title)) << row.name;
        }
    }
}

TEST_F(ShortcutValidatorTest, ShiftedLetterIsAnUpperCaseKeyEquivalent)
{
    // Super+Shift+Q names its key "Q" with Super alone, as a menu item does:
    // it takes Super+Shift+Q and leaves Super+Q free.
    QMenu menu;
    QAction* item = menu.addAction(QStringLiteral("Quit All"));
    item->setShortcut(QKeySequence(Qt::META | Qt::SHIFT | Qt::Key_Q));
    ShortcutError error;
    EXPECT_TRUE(isKeyEquivalent(QStringLiteral("q"), kCommand | kShift, &menu, &error));
    EXPECT_EQ(error.localizedDescription, kMenuMessage.arg(QStringLiteral("Quit All")));
    EXPECT_FALSE(isKeyEquivalent(QStringLiteral("q"), kCommand, &menu));
    EXPECT_FALSE(isKeyEquivalent(QStringLiteral("q"), kShift, &menu));
}

TEST_F(ShortcutValidatorTest, ShiftedSymbolKeepsShiftInItsMask)
{
    QMenu menu;
    QAction* item = menu.addAction(QStringLiteral("Help"));
    item->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Slash));
    EXPECT_TRUE(isKeyEquivalent(QStringLiteral("/"), kControl | kShift, &menu));
    EXPECT_FALSE(isKeyEquivalent(QStringLiteral("/"), kControl, &menu));
}

TEST_F(ShortcutValidatorTest, FunctionKeyItemsMatchTheFunctionKeyCharacter)
{
    QMenu menu;
    menu.addAction(QStringLiteral("Refresh"))->setShortcut(QKeySequence(Qt::Key_F5));
    const Shortcut f5(kF5, 0);
    ASSERT_TRUE(f5.keyCodeStringForKeyEquivalent().has_value());
    EXPECT_TRUE(isKeyEquivalent(*f5.keyCodeStringForKeyEquivalent(), 0, &menu));
    setMainMenu(&menu);
    EXPECT_TRUE(isTakenError(f5));
}

TEST_F(ShortcutValidatorTest, ItemWithSubmenuIsSearchedBothWays)
{
    QMenu menu;
    QMenu* sub = menu.addMenu(QStringLiteral("Recent"));
    sub->menuAction()->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    QAction* inner = sub->addAction(QStringLiteral("Clear"));
    inner->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    ShortcutError error;
    EXPECT_TRUE(isKeyEquivalent(QStringLiteral("r"), kControl, &menu, &error));
    EXPECT_EQ(error.localizedDescription, kMenuMessage.arg(QStringLiteral("Recent")));
    EXPECT_TRUE(isKeyEquivalent(QStringLiteral("l"), kControl, &menu, &error));
    EXPECT_EQ(error.localizedDescription, kMenuMessage.arg(QStringLiteral("Clear")));
}

TEST_F(ShortcutValidatorTest, EmptyKeyEquivalentMatchesAnItemWithoutOne)
{
    QMenu menu;
    menu.addAction(QStringLiteral("About"));
    EXPECT_TRUE(isKeyEquivalent(QString(), 0, &menu));
    EXPECT_FALSE(isKeyEquivalent(QString(), kControl, &menu));
}

TEST_F(ShortcutValidatorTest, NothingFoundLeavesTheErrorUntouched)
{
    MenuTree menus;
    ShortcutError error{QStringLiteral("mine"), 7, QStringLiteral("untouched")};
    EXPECT_FALSE(isKeyEquivalent(QStringLiteral("z"), kCommand, &menus.bar, &error));
    EXPECT_EQ(error.domain, QStringLiteral("mine"));
    EXPECT_EQ(error.code, 7);
    EXPECT_EQ(error.localizedDescription, QStringLiteral("untouched"));
    EXPECT_FALSE(isKeyEquivalent(QStringLiteral("q"), kCommand, nullptr, &error));
    EXPECT_EQ(error.localizedDescription, QStringLiteral("untouched"));
    // Without an error the answer is the same.
    EXPECT_TRUE(isKeyEquivalent(QStringLiteral("q"), kCommand, &menus.bar));
}

TEST_F(ShortcutValidatorTest, TakenSearchesTheMainMenu)
{
    test::MemoryHotKeys hotKeys;
    EXPECT_FALSE(isTakenError(Shortcut(kQ, kCommand)));
    {
        MenuTree menus;
        setMainMenu(&menus.bar);
        ShortcutError error;
        EXPECT_TRUE(isTakenError(Shortcut(kQ, kCommand), &error));
        EXPECT_EQ(error.localizedDescription, kMenuMessage.arg(QStringLiteral("Quit Zarvo")));
        EXPECT_FALSE(isTakenError(Shortcut(kQ, kCommand | kShift)));
    }
    // The menu is gone: nothing is searched.
    EXPECT_EQ(mainMenu(), nullptr);
    EXPECT_FALSE(isTakenError(Shortcut(kQ, kCommand)));
}

TEST_F(ShortcutValidatorTest, CombinationHeldByAnotherProgramIsTakenSystemWide)
{
    test::MemoryHotKeys hotKeys;
    hotKeys.service().holdElsewhere(40,
                                    modifier::kControl | modifier::kOption | modifier::kCommand);
    MenuTree menus;
    setMainMenu(&menus.bar);
    ShortcutError error;
    EXPECT_TRUE(isTakenError(Shortcut(40, kControl | kOption | kCommand), &error));
    EXPECT_EQ(error.domain, QStringLiteral("NSCocoaErrorDomain"));
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(error.localizedDescription, kSystemMessage);
    EXPECT_FALSE(isTakenError(Shortcut(40, kControl | kOption)));
    // A key code beyond any key never matches.
    EXPECT_FALSE(isTakenError(Shortcut(40 + (quint64(1) << 32), kControl | kOption | kCommand)));
}

TEST_F(ShortcutValidatorTest, WithoutHotKeyServiceOnlyTheMenuIsSearched)
{
    MenuTree menus;
    setMainMenu(&menus.bar);
    EXPECT_TRUE(isTakenError(Shortcut(kQ, kCommand)));
    EXPECT_FALSE(isTakenError(Shortcut(40, kControl | kOption | kCommand)));
}

} // namespace
} // namespace zarvo
