#include "platform/plistio.h"
#include "platform/resourcedir.h"
#include "projects/projectstore.h"
#include "support/tempresources.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zarvo {
namespace {

constexpr int kBaseProjects = 500;
const QString kToggle = QStringLiteral("toggle");

ProjectEntry entryNumber(int i)
{
    return {{entry_key::filePath, QStringLiteral("/home/dev/code/project-%1").arg(i)},
            {entry_key::doPull, QStringLiteral("1")},
            {entry_key::openFinder, QStringLiteral("0")},
            {entry_key::customOpen, QString()},
            {entry_key::commands, QStringLiteral("make -j8 && ./run --port %1").arg(8000 + i)}};
}

QVariantMap largeStore()
{
    QVariantMap store;
    for (int i = 0; i < kBaseProjects; ++i) {
        store.insert(QStringLiteral("project %1").arg(i), entryNumber(i));
    }
    return store;
}

class StoreDurabilityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        prepareResourceDirectory();
        resources.write(QStringLiteral("projects.plist"), plist::toXml(largeStore()));
    }
    test::TempResources resources;
};

// Every save flips one entry between two versions, so whatever moment the
// writer dies at, the file must hold either the old or the new store whole.
TEST_F(StoreDurabilityTest, WriterKilledAtRandomMomentsLeavesOldOrNewStore)
{
    constexpr int kTotalSaves = 1000;
    constexpr int kMaxRounds = 200;
    const QVariantMap base = largeStore();
    int savesDone = 0;
    for (int round = 0; round < kMaxRounds && savesDone < kTotalSaves; ++round) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            for (int i = 0;; ++i) {
                ProjectStore::saveProject(kToggle, entryNumber(i % 2));
                const char done = 1;
                if (::write(pipeFds[1], &done, 1) != 1) {
                    ::_exit(0);
                }
            }
        }
        ::close(pipeFds[1]);
        // Let it run for a random number of saves, then kill it mid-write.
        const int saves = QRandomGenerator::global()->bounded(1, 12);
        for (int i = 0; i < saves; ++i) {
            char done = 0;
            ASSERT_EQ(::read(pipeFds[0], &done, 1), 1);
        }
        ::usleep(QRandomGenerator::global()->bounded(0, 3000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        char done = 0;
        while (::read(pipeFds[0], &done, 1) == 1) {
            ++savesDone;
        }
        ::close(pipeFds[0]);
        savesDone += saves;

        const auto store = ProjectStore::loadProjects();
        ASSERT_TRUE(store.has_value()) << "round " << round;
        ASSERT_EQ(store->size(), kBaseProjects + 1) << "round " << round;
        const QVariant toggle = store->value(kToggle);
        ASSERT_TRUE(toggle == entryNumber(0) || toggle == entryNumber(1)) << "round " << round;
        QVariantMap rest = *store;
        rest.remove(kToggle);
        ASSERT_EQ(rest, base) << "round " << round;
    }
    EXPECT_GE(savesDone, kTotalSaves);
}

TEST_F(StoreDurabilityTest, FullDiskKeepsTheOldFile)
{
    const QByteArray before = resources.read(QStringLiteral("projects.plist"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A file size limit makes every write past 4 KiB fail as on a full disk.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool ok = ProjectStore::saveProject(kToggle, entryNumber(1)).ok();
        ::_exit(ok ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save should have failed";
    EXPECT_EQ(resources.read(QStringLiteral("projects.plist")), before);
    EXPECT_EQ(QDir(resources.path()).entryList(QDir::Files).size(), 2) << "no temporary file left";
}

// Killed writes leave their temporary files behind; the next write removes
// those of its own file that no running write can still own, and nothing else.
struct LeftoverRow {
    const char* name;
    enum Kind { file, link, folder } kind;
    int ageSeconds;
    bool removed;
};

TEST_F(StoreDurabilityTest, NextWriteRemovesOnlyStaleTemporaryFilesOfItsOwn)
{
    const LeftoverRow rows[] = {
        {"projects.plist.zarvo-Ab12Cd", LeftoverRow::file, 3600, true},
        {"projects.plist.zarvo-zz0099", LeftoverRow::file, 90, true},
        {"projects.plist.zarvo-Fresh1", LeftoverRow::file, 10, false}, // a write under way
        {"projects.plist.backup", LeftoverRow::file, 3600, false},
        {"projects.plist.zarvo-Ab12C", LeftoverRow::file, 3600, false},
        {"projects.plist.zarvo-Ab12Cde", LeftoverRow::file, 3600, false},
        {"projects.plist.zarvo-Ab-2Cd", LeftoverRow::file, 3600, false},
        {"xprojects.plist.zarvo-Ab12Cd", LeftoverRow::file, 3600, false},
        {"settings.plist.zarvo-Ab12Cd", LeftoverRow::file, 3600, false}, // another file's
        {"projects.plist.zarvo-Link12", LeftoverRow::link, 3600, false},
        {"projects.plist.zarvo-Dir123", LeftoverRow::folder, 3600, false},
    };
    const QString outside = resources.file(QStringLiteral("outside"));
    resources.write(QStringLiteral("outside"), "kept");
    const time_t now = ::time(nullptr);
    for (const LeftoverRow& row : rows) {
        const QString path = resources.file(QString::fromLatin1(row.name));
        switch (row.kind) {
        case LeftoverRow::file:
            resources.write(QString::fromLatin1(row.name), "<?xml half a store");
            break;
        case LeftoverRow::link:
            ASSERT_TRUE(QFile::link(outside, path));
            break;
        case LeftoverRow::folder:
            ASSERT_TRUE(QDir().mkdir(path));
            break;
        }
        const timespec times[2] = {{now - row.ageSeconds, 0}, {now - row.ageSeconds, 0}};
        ASSERT_EQ(
            ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW),
            0);
    }
    ASSERT_TRUE(ProjectStore::saveProject(kToggle, entryNumber(1)).ok());
    for (const LeftoverRow& row : rows) {
        struct stat st {};
        const bool present =
            ::lstat(QFile::encodeName(resources.file(QString::fromLatin1(row.name))).constData(),
                    &st) == 0;
        EXPECT_EQ(present, !row.removed) << row.name;
    }
    EXPECT_EQ(resources.read(QStringLiteral("outside")), QByteArray("kept"));
    EXPECT_EQ(ProjectStore::loadProjects()->value(kToggle), QVariant(entryNumber(1)));
}

} // namespace
} // namespace zarvo
