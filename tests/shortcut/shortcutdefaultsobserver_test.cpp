#include "platform/defaultsstore.h"
#include "platform/plistio.h"
#include "recordertesting.h"
#include "shortcut/globalshortcut.h"
#include "shortcut/globalshortcutrecorder.h"
#include "shortcut/shortcutdefaultsobserver.h"
#include "shortcut/shortcutuserdefaultshotkey.h"
#include "shortcut/shortcutview.h"
#include "shortcuttesting.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace zarvo {
namespace {

const QString kKey = QStringLiteral("ZarvoShortcut");
const QString kOtherKey = QStringLiteral("SomethingElse");
const Shortcut kDefault(40, 0x1C0000);  // Control+Alt+Super+K
const Shortcut kRecorded(37, 0x140000); // Control+Super+L
const Shortcut kBefore(96, 0);          // F5
constexpr quint64 kDefaultFlags = modifier::kControl | modifier::kOption | modifier::kCommand;
constexpr quint64 kRecordedFlags = modifier::kControl | modifier::kCommand;

std::optional<QString> describe(const std::optional<Shortcut>& shortcut)
{
    return shortcut ? std::optional(shortcut->description()) : std::nullopt;
}

class ShortcutDefaultsObserverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureShortcutApplication();
        view = std::make_unique<ShortcutView>();
        view->resize(150, 24);
    }
    void TearDown() override { view.reset(); }

    DefaultsStore& store() { return defaults.store(); }
    std::optional<Shortcut> stored()
    {
        return Shortcut::shortcutWithData(store().dataForKey(kKey));
    }
    // Where the file on disk says, bypassing what the store has in memory.
    std::optional<Shortcut> storedOnDisk()
    {
        const auto values = plist::readDictionaryFile(defaults.path());
        if (!values || !values->contains(kKey)) {
            return std::nullopt;
        }
        return Shortcut::shortcutWithData(values->value(kKey).toByteArray());
    }
    void record(int key, Qt::KeyboardModifiers modifiers)
    {
        view->setRecording(true);
        test::typeKey(view.get(), key, modifiers);
    }

    test::UsKeyboard keyboard;
    test::TempDefaults defaults;
    test::MemoryHotKeys hotKeys;
    test::RecorderSeams seams;
    std::unique_ptr<ShortcutView> view;
};

TEST_F(ShortcutDefaultsObserverTest, BindingToAnEmptyKeyShowsNothingAndWritesNothing)
{
    QSignalSpy changes(&store(), &DefaultsStore::didChange);
    view->setAssociatedUserDefaultsKey(kKey);
    EXPECT_EQ(view->associatedUserDefaultsKey(), kKey);
    ASSERT_NE(view->defaultsObserver(), nullptr);
    EXPECT_EQ(view->defaultsObserver()->userDefaultsKey(), kKey);
    EXPECT_EQ(view->defaultsObserver()->shortcutView(), view.get());
    EXPECT_FALSE(view->shortcutValue().has_value());
    EXPECT_EQ(view->recorder().drawing().bounds.title, QStringLiteral("Record Shortcut"));
    EXPECT_EQ(changes.count(), 0);
    EXPECT_FALSE(store().objectForKey(kKey).has_value());
    EXPECT_FALSE(QFile::exists(defaults.path()));
}

TEST_F(ShortcutDefaultsObserverTest, BindingShowsTheStoredShortcutWithoutWritingItBack)
{
    setGlobalShortcut(kDefault, kKey);
    QSignalSpy changes(&store(), &DefaultsStore::didChange);
    int blockCalls = 0;
    view->setShortcutValueChange([&blockCalls](ShortcutView&) { ++blockCalls; });
    view->setAssociatedUserDefaultsKey(kKey);
    EXPECT_EQ(describe(view->shortcutValue()), kDefault.description());
    EXPECT_EQ(blockCalls, 1);
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(ShortcutDefaultsObserverTest, RecordingWritesTheArchiveAndTheHotKeyFollows)
{
    setGlobalShortcut(kDefault, kKey);
    int toggles = 0;
    registerGlobalShortcutWithUserDefaultsKey(kKey, [&toggles] { ++toggles; });
    view->setAssociatedUserDefaultsKey(kKey);

    record(Qt::Key_L, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_FALSE(view->isRecording());
    EXPECT_EQ(store().dataForKey(kKey), kRecorded.data());
    EXPECT_EQ(describe(storedOnDisk()), kRecorded.description()) << "flushed to the file";
    EXPECT_FALSE(hotKeys.service().press(40, kDefaultFlags)) << "the old hot key is gone";
    EXPECT_TRUE(hotKeys.service().press(37, kRecordedFlags));
    EXPECT_EQ(toggles, 1);
}

TEST_F(ShortcutDefaultsObserverTest, DeletingKeepsTheKeyWithAnEmptyRootAndDropsTheHotKey)
{
    setGlobalShortcut(kDefault, kKey);
    int toggles = 0;
    registerGlobalShortcutWithUserDefaultsKey(kKey, [&toggles] { ++toggles; });
    view->setAssociatedUserDefaultsKey(kKey);
    QTest::mouseClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(140, 12));
    EXPECT_FALSE(view->shortcutValue().has_value());
    const std::optional<QByteArray> data = store().dataForKey(kKey);
    ASSERT_TRUE(data.has_value()) << "the key stays";
    EXPECT_TRUE(Shortcut::isArchiveOfEmptyRoot(*data));
    EXPECT_EQ(*data, Shortcut::archivedDataWithEmptyRoot());
    EXPECT_FALSE(hotKeys.service().press(40, kDefaultFlags));
    EXPECT_TRUE(hotKeys.service().registrations().empty());
    EXPECT_EQ(toggles, 0);
}

TEST_F(ShortcutDefaultsObserverTest, DeletingWithTheDeleteKeyAlsoStoresAnEmptyRoot)
{
    setGlobalShortcut(kDefault, kKey);
    view->setAssociatedUserDefaultsKey(kKey);
    record(Qt::Key_Backspace, Qt::NoModifier);
    const std::optional<QByteArray> data = store().dataForKey(kKey);
    ASSERT_TRUE(data.has_value());
    EXPECT_TRUE(Shortcut::isArchiveOfEmptyRoot(*data));
}

TEST_F(ShortcutDefaultsObserverTest, AWriteFromElsewhereUpdatesTheViewWithoutWritingBack)
{
    view->setAssociatedUserDefaultsKey(kKey);
    QSignalSpy keyChanges(&store(), &DefaultsStore::valueChanged);
    setGlobalShortcut(kRecorded, kKey);
    EXPECT_EQ(describe(view->shortcutValue()), kRecorded.description());
    EXPECT_EQ(keyChanges.count(), 1) << "only the outside write";
    setGlobalShortcut(std::nullopt, kKey);
    EXPECT_FALSE(view->shortcutValue().has_value());
    EXPECT_FALSE(store().objectForKey(kKey).has_value()) << "the removal stands";
    EXPECT_EQ(keyChanges.count(), 2);
}

TEST_F(ShortcutDefaultsObserverTest, AnUnrelatedChangeReassignsTheSameValue)
{
    setGlobalShortcut(kDefault, kKey);
    view->setAssociatedUserDefaultsKey(kKey);
    QStringList assigned;
    view->setShortcutValueChange([&assigned](ShortcutView& changed) {
        assigned << describe(changed.shortcutValue()).value_or(QStringLiteral("nil"));
    });
    QSignalSpy keyChanges(&store(), &DefaultsStore::valueChanged);
    store().setObject(QStringLiteral("Dark"), kOtherKey);
    EXPECT_EQ(assigned, QStringList{kDefault.description()});
    EXPECT_EQ(keyChanges.count(), 1) << "the reassignment is not written back";
}

TEST_F(ShortcutDefaultsObserverTest, AChangeByAnotherProcessReachesTheView)
{
    setGlobalShortcut(kDefault, kKey);
    view->setAssociatedUserDefaultsKey(kKey);
    // Another process writes the file; the store notices through its watch.
    DefaultsStore elsewhere(defaults.path());
    elsewhere.setObject(kRecorded.data(), kKey);
    EXPECT_TRUE(test::waitUntil(
        [this] { return describe(view->shortcutValue()) == kRecorded.description(); }));
}

TEST_F(ShortcutDefaultsObserverTest, UnbindingRestoresThePreBindingValueAndLeavesTheStore)
{
    view->setShortcutValue(kBefore);
    setGlobalShortcut(kDefault, kKey);
    view->setAssociatedUserDefaultsKey(kKey);
    ASSERT_EQ(describe(view->shortcutValue()), kDefault.description());
    EXPECT_EQ(describe(view->defaultsObserver()->originalShortcut()), kBefore.description());

    QSignalSpy keyChanges(&store(), &DefaultsStore::valueChanged);
    view->setAssociatedUserDefaultsKey(QString());
    EXPECT_EQ(view->associatedUserDefaultsKey(), QString());
    EXPECT_EQ(view->defaultsObserver(), nullptr);
    EXPECT_EQ(describe(view->shortcutValue()), kBefore.description());
    EXPECT_EQ(keyChanges.count(), 0);
    EXPECT_EQ(describe(stored()), kDefault.description());

    view->setShortcutValue(kRecorded);
    EXPECT_EQ(describe(stored()), kDefault.description()) << "no longer bound";
    setGlobalShortcut(std::nullopt, kKey);
    EXPECT_EQ(describe(view->shortcutValue()), kRecorded.description()) << "no longer bound";
}

TEST_F(ShortcutDefaultsObserverTest, SettingTheSameKeyAgainRebindsWithoutWriting)
{
    view->setShortcutValue(kBefore);
    setGlobalShortcut(kDefault, kKey);
    view->setAssociatedUserDefaultsKey(kKey);
    QStringList assigned;
    view->setShortcutValueChange([&assigned](ShortcutView& changed) {
        assigned << describe(changed.shortcutValue()).value_or(QStringLiteral("nil"));
    });
    QSignalSpy keyChanges(&store(), &DefaultsStore::valueChanged);
    view->setAssociatedUserDefaultsKey(kKey);
    EXPECT_EQ(assigned, (QStringList{kBefore.description(), kDefault.description()}));
    EXPECT_EQ(keyChanges.count(), 0);
    EXPECT_EQ(describe(view->defaultsObserver()->originalShortcut()), kBefore.description());
}

TEST_F(ShortcutDefaultsObserverTest, RebindingToAnotherKeyMovesTheBinding)
{
    setGlobalShortcut(kDefault, kKey);
    setGlobalShortcut(kRecorded, kOtherKey);
    view->setAssociatedUserDefaultsKey(kKey);
    view->setAssociatedUserDefaultsKey(kOtherKey);
    EXPECT_EQ(describe(view->shortcutValue()), kRecorded.description());
    record(Qt::Key_F7, Qt::NoModifier);
    EXPECT_EQ(describe(Shortcut::shortcutWithData(store().dataForKey(kOtherKey))),
              QStringLiteral("F7"));
    EXPECT_EQ(describe(stored()), kDefault.description());
}

TEST_F(ShortcutDefaultsObserverTest, ARecorderGoingAwayEndsTheBindingQuietly)
{
    setGlobalShortcut(kDefault, kKey);
    view->setAssociatedUserDefaultsKey(kKey);
    QSignalSpy keyChanges(&store(), &DefaultsStore::valueChanged);
    view.reset();
    EXPECT_EQ(keyChanges.count(), 0);
    setGlobalShortcut(kRecorded, kKey); // nobody left to tell
    EXPECT_EQ(describe(stored()), kRecorded.description());
}

TEST_F(ShortcutDefaultsObserverTest, AStoredValueThatIsNoShortcutShowsAsNone)
{
    store().setObject(QByteArray("not an archive"), kKey);
    view->setShortcutValue(kBefore);
    view->setAssociatedUserDefaultsKey(kKey);
    EXPECT_FALSE(view->shortcutValue().has_value());
}

TEST_F(ShortcutDefaultsObserverTest, TheSettingsRowGetsARecorderBoundToTheGlobalShortcut)
{
    setGlobalShortcut(kDefault, kKey);
    QWidget settings;
    auto* form = new QHBoxLayout(&settings);
    auto* label = new QLabel(QStringLiteral("Global shortcut:"));
    label->setObjectName(QStringLiteral("shortcutRecorderSlot_label"));
    auto* slot = new QWidget;
    slot->setObjectName(QStringLiteral("shortcutRecorderSlot"));
    new QHBoxLayout(slot);
    form->addWidget(label);
    form->addWidget(slot);

    ShortcutView* recorder = addGlobalShortcutRecorder(&settings);
    ASSERT_NE(recorder, nullptr);
    EXPECT_EQ(recorder->parentWidget(), slot);
    EXPECT_EQ(slot->layout()->indexOf(recorder), 0);
    EXPECT_EQ(label->buddy(), recorder);
    EXPECT_EQ(recorder->accessibleName(), QStringLiteral("Global shortcut"));
    EXPECT_EQ(recorder->associatedUserDefaultsKey(), globalShortcutDefaultsKey());
    EXPECT_EQ(describe(recorder->shortcutValue()), kDefault.description());

    QWidget bare;
    EXPECT_EQ(addGlobalShortcutRecorder(&bare), nullptr);
    EXPECT_EQ(addGlobalShortcutRecorder(nullptr), nullptr);
}

} // namespace
} // namespace zarvo
