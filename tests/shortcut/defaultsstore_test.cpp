#include "platform/atomicfile.h"
#include "platform/defaultsstore.h"
#include "platform/plistio.h"
#include "shortcuttesting.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace zarvo {
namespace {

const QString kKey = QStringLiteral("ZarvoShortcut");
const QString kOtherKey = QStringLiteral("Other");

class DefaultsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureShortcutApplication(); }
    QString path() const { return dir.filePath(QStringLiteral("zarvo/defaults.plist")); }
    QTemporaryDir dir;
};

TEST(DefaultsStorePathTest, FollowsXdgConfigHome)
{
    test::ScopedEnvironment environment;
    environment.set("XDG_CONFIG_HOME", "/tmp/some-config");
    EXPECT_EQ(DefaultsStore::standardPath(),
              QStringLiteral("/tmp/some-config/zarvo/defaults.plist"));
    environment.set("HOME", "/home/someone");
    environment.unset("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultsStore::standardPath(),
              QStringLiteral("/home/someone/.config/zarvo/defaults.plist"));
    environment.set("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_EQ(DefaultsStore::standardPath(),
              QStringLiteral("/home/someone/.config/zarvo/defaults.plist"));
}

TEST_F(DefaultsStoreTest, StoredDataIsWrittenAtOnceOwnerOnly)
{
    DefaultsStore store(path());
    EXPECT_FALSE(store.dataForKey(kKey).has_value());
    store.setObject(QByteArray("\x01\x02", 2), kKey);
    EXPECT_EQ(store.dataForKey(kKey), QByteArray("\x01\x02", 2));

    const auto onDisk = plist::readDictionaryFile(path());
    ASSERT_TRUE(onDisk.has_value());
    EXPECT_EQ(onDisk->value(kKey).toByteArray(), QByteArray("\x01\x02", 2));
    struct stat file {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &file), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(path()).absolutePath()).constData(), &file), 0);
    EXPECT_EQ(file.st_mode & 0777, 0700u);

    DefaultsStore again(path());
    EXPECT_EQ(again.dataForKey(kKey), QByteArray("\x01\x02", 2));
}

TEST_F(DefaultsStoreTest, DataForKeyIsNothingForOtherTypes)
{
    DefaultsStore store(path());
    store.setObject(QStringLiteral("text"), kKey);
    EXPECT_FALSE(store.dataForKey(kKey).has_value());
    EXPECT_EQ(store.objectForKey(kKey), QVariant(QStringLiteral("text")));
    store.setObject(QByteArray(), kOtherKey);
    EXPECT_EQ(store.dataForKey(kOtherKey), QByteArray()) << "empty data is still data";
}

TEST_F(DefaultsStoreTest, RemovingKeepsTheOtherKeys)
{
    DefaultsStore store(path());
    store.setObject(QByteArray("a"), kKey);
    store.setObject(QByteArray("b"), kOtherKey);
    store.removeObjectForKey(kKey);
    EXPECT_FALSE(store.dataForKey(kKey).has_value());
    EXPECT_EQ(store.dataForKey(kOtherKey), QByteArray("b"));
    EXPECT_FALSE(plist::readDictionaryFile(path())->contains(kKey));
}

TEST_F(DefaultsStoreTest, EveryChangeIsAnnouncedAtOnceEvenWhenEqual)
{
    DefaultsStore store(path());
    QSignalSpy changed(&store, &DefaultsStore::valueChanged);
    QSignalSpy didChange(&store, &DefaultsStore::didChange);
    store.setObject(QByteArray("a"), kKey);
    store.setObject(QByteArray("a"), kKey);
    store.removeObjectForKey(kKey);
    ASSERT_EQ(changed.size(), 3);
    EXPECT_EQ(changed[0][0].toString(), kKey);
    EXPECT_EQ(didChange.size(), 3);
}

TEST_F(DefaultsStoreTest, ObservingAKeyNotifiesAtOnceThenOnItsChangesOnly)
{
    DefaultsStore store(path());
    int notified = 0;
    QObject context;
    store.observeKey(kKey, &context, [&] { ++notified; });
    EXPECT_EQ(notified, 1);
    store.setObject(QByteArray("b"), kOtherKey);
    EXPECT_EQ(notified, 1);
    store.setObject(QByteArray("a"), kKey);
    EXPECT_EQ(notified, 2);
    const auto connection = store.observeKey(kKey, nullptr, [&] { notified += 10; });
    EXPECT_EQ(notified, 12);
    QObject::disconnect(connection);
    store.removeObjectForKey(kKey);
    EXPECT_EQ(notified, 13);
}

TEST_F(DefaultsStoreTest, ChangesByAnotherProcessAreNoticed)
{
    DefaultsStore store(path());
    store.setObject(QByteArray("mine"), kOtherKey);
    QStringList changedKeys;
    QObject::connect(&store, &DefaultsStore::valueChanged,
                     [&](const QString& key) { changedKeys << key; });

    // Another process replaces the file, the way an atomic writer does.
    QVariantMap values{{kOtherKey, QByteArray("mine")}, {kKey, QByteArray("theirs")}};
    ASSERT_TRUE(writeFileAtomically(path(), plist::toXml(values)).ok());
    EXPECT_EQ(store.dataForKey(kKey), QByteArray("theirs")) << "reads go to the file";
    ASSERT_TRUE(test::waitUntil([&] { return changedKeys.contains(kKey); }));
    EXPECT_FALSE(changedKeys.contains(kOtherKey));

    // And an editor that rewrites the file in place.
    changedKeys.clear();
    values.insert(kKey, QByteArray("edited"));
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(plist::toXml(values));
    }
    ASSERT_TRUE(test::waitUntil([&] { return changedKeys.contains(kKey); }));
    EXPECT_EQ(store.dataForKey(kKey), QByteArray("edited"));
}

TEST_F(DefaultsStoreTest, OwnWritesAreNotAnnouncedTwice)
{
    DefaultsStore store(path());
    QStringList announced;
    QObject::connect(&store, &DefaultsStore::valueChanged,
                     [&](const QString& key) { announced << key; });
    store.setObject(QByteArray("a"), kKey);
    EXPECT_EQ(announced, QStringList{kKey});
    // Another process writes after us; once its change is seen, the watcher
    // has also reported our own write, which must have found nothing new.
    const QVariantMap values{{kKey, QByteArray("a")}, {kOtherKey, QByteArray("theirs")}};
    ASSERT_TRUE(writeFileAtomically(path(), plist::toXml(values)).ok());
    ASSERT_TRUE(test::waitUntil([&] { return announced.contains(kOtherKey); }));
    EXPECT_EQ(announced, (QStringList{kKey, kOtherKey}));
}

TEST_F(DefaultsStoreTest, UnreadableFileKeepsTheValuesKnown)
{
    DefaultsStore store(path());
    store.setObject(QByteArray("a"), kKey);
    ASSERT_TRUE(writeFileAtomically(path(), QByteArray("<?xml half written")).ok());
    EXPECT_EQ(store.dataForKey(kKey), QByteArray("a"));
    // A write after that replaces the broken file with the known values.
    store.setObject(QByteArray("b"), kOtherKey);
    const auto onDisk = plist::readDictionaryFile(path());
    ASSERT_TRUE(onDisk.has_value());
    EXPECT_EQ(onDisk->value(kKey).toByteArray(), QByteArray("a"));
    EXPECT_EQ(onDisk->value(kOtherKey).toByteArray(), QByteArray("b"));
}

// What another program may put in place of the file. Read by the watcher,
// a FIFO would hang the application for good, a device abort it: the alarm
// stops the whole binary then.
TEST_F(DefaultsStoreTest, TheWatcherNeverReadsWhatIsNotARegularFile)
{
    DefaultsStore store(path());
    store.setObject(QByteArray("a"), kKey);
    QStringList announced;
    QObject::connect(&store, &DefaultsStore::valueChanged,
                     [&](const QString& key) { announced << key; });
    const QByteArray file = QFile::encodeName(path());
    const QByteArray placed = file + ".placed";
    const std::function<int()> kinds[] = {
        [&] { return ::mkfifo(placed.constData(), 0600); },
        [&] { return ::symlink("/dev/zero", placed.constData()); },
        [&] { return ::symlink("/dev/urandom", placed.constData()); },
    };
    int round = 0;
    for (const auto& make : kinds) {
        ::alarm(60);
        ASSERT_EQ(make(), 0) << std::strerror(errno);
        ASSERT_EQ(::rename(placed.constData(), file.constData()), 0);
        EXPECT_EQ(store.dataForKey(kKey), QByteArray("a")) << "the values known stand";
        // A regular file again: the watcher is still there, and still reads.
        const QByteArray value = QByteArray::number(++round);
        announced.clear();
        ASSERT_TRUE(writeFileAtomically(path(), plist::toXml(QVariantMap{{kKey, QByteArray("a")},
                                                                         {kOtherKey, value}}))
                        .ok());
        ASSERT_TRUE(test::waitUntil([&] { return announced.contains(kOtherKey); })) << round;
        EXPECT_EQ(store.dataForKey(kOtherKey), value);
    }
    ::alarm(0);
}

TEST_F(DefaultsStoreTest, DeletedFileReadsAsEmpty)
{
    DefaultsStore store(path());
    store.setObject(QByteArray("a"), kKey);
    int notified = 0;
    store.observeKey(kKey, nullptr, [&] { ++notified; });
    ASSERT_TRUE(QFile::remove(path()));
    EXPECT_FALSE(store.dataForKey(kKey).has_value());
    ASSERT_TRUE(test::waitUntil([&] { return notified == 2; }));
}

} // namespace
} // namespace zarvo
