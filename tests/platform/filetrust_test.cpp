#include "platform/filetrust.h"
#include "platform/plistio.h"
#include "projects/launcher.h"
#include "projects/projectstore.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <acl/libacl.h>
#include <sys/acl.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zarvo {
namespace {

class FileTrustTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        setMode(dirPath(), 0700);
        setMode(path, 0600);
    }
    QByteArray dirPath() const { return QFile::encodeName(dir.path()); }
    static void setMode(const QByteArray& p, mode_t mode)
    {
        ASSERT_EQ(::chmod(p.constData(), mode), 0);
    }
    static void setMode(const QString& p, mode_t mode) { setMode(QFile::encodeName(p), mode); }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("projects.plist"));
};

TEST_F(FileTrustTest, PrivateFileInPrivateDirectoryIsTrusted)
{
    EXPECT_TRUE(checkOnlyOwnerCanWrite(path).ok());
    setMode(path, 0644); // readable by others is fine
    EXPECT_TRUE(checkOnlyOwnerCanWrite(path).ok());
}

TEST_F(FileTrustTest, WorldWritableFileOrDirectoryIsRefusedWithTheFix)
{
    setMode(path, 0666);
    Status status = checkOnlyOwnerCanWrite(path);
    EXPECT_FALSE(status.ok());
    EXPECT_TRUE(status.error.contains(QStringLiteral("chmod o-w"))) << status.error.toStdString();

    setMode(path, 0600);
    setMode(dirPath(), 0777);
    status = checkOnlyOwnerCanWrite(path);
    EXPECT_FALSE(status.ok());
    EXPECT_TRUE(status.error.contains(QStringLiteral("directory")));
}

TEST_F(FileTrustTest, MissingFileIsJudgedByItsDirectory)
{
    const QString missing = dir.filePath(QStringLiteral("nothing.plist"));
    EXPECT_TRUE(checkOnlyOwnerCanWrite(missing).ok());
    setMode(dirPath(), 0777);
    EXPECT_FALSE(checkOnlyOwnerCanWrite(missing).ok());
}

TEST_F(FileTrustTest, FileOfAnotherUserIsRefused)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a file away";
    }
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    const Status status = checkOnlyOwnerCanWrite(path);
    EXPECT_FALSE(status.ok());
    EXPECT_TRUE(status.error.contains(QStringLiteral("another user")));
}

TEST_F(FileTrustTest, GroupWritableIsAcceptedWhileTheGroupHasNoOtherMembers)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can change a file's group to any group";
    }
    // A group nobody else belongs to: the owner's own.
    setMode(path, 0660);
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 0, 0), 0);
    const bool rootGroupShared = [] {
        const group* g = ::getgrgid(0);
        return g && g->gr_mem && g->gr_mem[0];
    }();
    if (!rootGroupShared) {
        EXPECT_TRUE(checkOnlyOwnerCanWrite(path).ok());
    }
}

} // namespace
} // namespace zarvo

// The checks that need a second user: a user made for the test with useradd
// (when running as root), removed again afterwards.
namespace zarvo {
namespace {

QByteArray path8(const QString& path)
{
    return QFile::encodeName(path);
}

class OtherUser final {
public:
    OtherUser()
    {
        if (::geteuid() != 0) {
            skipReason_ = "needs root to create a second user with useradd";
            return;
        }
        name_ = "zarvo-t" + QByteArray::number(::getpid());
        // useradd waits for nobody: with tests running at once, /etc/passwd
        // may be locked for a moment.
        const QByteArray command =
            "useradd --no-create-home --user-group --shell /usr/sbin/nologin " + name_ +
            " >/dev/null 2>&1";
        for (int attempt = 0; attempt < 50 && !::getpwnam(name_.constData()); ++attempt) {
            if (std::system(command.constData()) != 0) {
                ::usleep(100 * 1000);
            }
        }
        const passwd* entry = ::getpwnam(name_.constData());
        if (!entry) {
            skipReason_ = "useradd could not create a second user";
            return;
        }
        uid_ = entry->pw_uid;
        gid_ = entry->pw_gid;
    }
    ~OtherUser()
    {
        if (uid_ != 0) {
            const QByteArray command =
                "userdel " + name_ + " >/dev/null 2>&1; groupdel " + name_ + " >/dev/null 2>&1";
            for (int attempt = 0; attempt < 50 && ::getpwnam(name_.constData()); ++attempt) {
                if (std::system(command.constData()) != 0) {
                    ::usleep(100 * 1000);
                }
            }
        }
    }
    OtherUser(const OtherUser&) = delete;
    OtherUser& operator=(const OtherUser&) = delete;

    const char* skipReason() const
    {
        return skipReason_.isEmpty() ? nullptr : skipReason_.constData();
    }
    QString name() const { return QString::fromLatin1(name_); }
    uid_t uid() const { return uid_; }
    gid_t gid() const { return gid_; }

private:
    QByteArray skipReason_;
    QByteArray name_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

void setAcl(const QString& path, const QString& entries)
{
    // The owner's, the group's and the others' entries come from the mode.
    struct stat st {};
    ASSERT_EQ(::stat(path8(path).constData(), &st), 0);
    QString text = QStringLiteral("u::rwx,g::%1,o::%2,")
                       .arg(QString::fromLatin1(st.st_mode & S_IWGRP ? "rwx" : "r-x"),
                            QString::fromLatin1(st.st_mode & S_IWOTH ? "rwx" : "r-x")) +
                   entries;
    if (!entries.contains(QLatin1String("m::"))) {
        text += QStringLiteral(",m::rwx");
    }
    acl_t acl = ::acl_from_text(text.toLatin1().constData());
    ASSERT_NE(acl, nullptr) << text.toStdString();
    const int set = ::acl_set_file(path8(path).constData(), ACL_TYPE_ACCESS, acl);
    ::acl_free(acl);
    ASSERT_EQ(set, 0) << text.toStdString() << ": " << std::strerror(errno);
}

// A store of one project for the launch to read, in FOLDER.
void writeStore(const QString& folder, const char* commands)
{
    ASSERT_TRUE(QDir().mkpath(folder));
    const QVariantMap store{
        {QStringLiteral("p"), QVariantMap{{entry_key::filePath, QStringLiteral("/srv/p")},
                                          {entry_key::commands, QString::fromLatin1(commands)}}}};
    ASSERT_TRUE(
        writeFileAtomically(folder + QStringLiteral("/projects.plist"), plist::toXml(store)).ok());
}

// ZARVO_RESOURCES points at a folder of the test's choosing while it lives.
class ScopedResources final {
public:
    explicit ScopedResources(const QString& folder) : previous_(qgetenv("ZARVO_RESOURCES"))
    {
        qputenv("ZARVO_RESOURCES", path8(folder));
    }
    ~ScopedResources() { qputenv("ZARVO_RESOURCES", previous_); }

private:
    QByteArray previous_;
};

// What a launch from the store in FOLDER does: the refusal or the script.
struct LaunchOutcome {
    Status check;
    ProjectScript script;
};

LaunchOutcome launchFrom(const QString& folder)
{
    const ScopedResources resources(folder);
    return {checkLaunchFilesArePrivate(),
            projectLaunchScript(QStringLiteral("p"), Writers::ownerOnly)};
}

class SecondUserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (other.skipReason()) {
            std::printf("skipped: %s\n", other.skipReason());
            GTEST_SKIP() << other.skipReason();
        }
        ASSERT_TRUE(base.isValid());
        // Others may pass through, as through a home folder.
        ASSERT_EQ(::chmod(path8(base.path()).constData(), 0755), 0);
    }

public:
    QString at(const char* relative) const { return base.filePath(QString::fromLatin1(relative)); }
    void own(const char* relative, uid_t uid, gid_t gid) const
    {
        ASSERT_EQ(::lchown(path8(at(relative)).constData(), uid, gid), 0) << relative;
    }
    void mode(const char* relative, mode_t bits) const
    {
        ASSERT_EQ(::chmod(path8(at(relative)).constData(), bits), 0) << relative;
    }

protected:
    OtherUser other;
    QTemporaryDir base;
};

// A group that holds another user (here as its primary group) shares the
// write access its bits give.
TEST_F(SecondUserTest, GroupWritableIsRefusedWhenAnotherUserIsInTheGroup)
{
    const QString file = at("shared");
    QFile created(file);
    ASSERT_TRUE(created.open(QIODevice::WriteOnly));
    created.close();
    own("shared", 0, other.gid());
    mode("shared", 0660);
    EXPECT_FALSE(checkOnlyOwnerCanWrite(file).ok());
    mode("shared", 0640);
    EXPECT_TRUE(checkOnlyOwnerCanWrite(file).ok());
}

struct AclCase {
    const char* description;
    const char* target;  // "store" (the folder) or "store/projects.plist"
    const char* entries; // USER and GROUP stand for the second user and its group
    const char* refusal; // a part of the refusal, or null when the launch may run
};

void PrintTo(const AclCase& row, std::ostream* os)
{
    *os << row.description;
}

class AclTest : public SecondUserTest, public ::testing::WithParamInterface<AclCase> {};

TEST_P(AclTest, AnEntryThatLetsAnotherUserWriteRefusesTheLaunch)
{
    const AclCase& row = GetParam();
    writeStore(at("store"), "make");
    QString entries = QString::fromLatin1(row.entries);
    entries.replace(QLatin1String("USER"), other.name())
        .replace(QLatin1String("GROUP"), other.name());
    setAcl(at(row.target), entries);

    const LaunchOutcome outcome = launchFrom(at("store"));
    if (!row.refusal) {
        EXPECT_TRUE(outcome.check.ok()) << outcome.check.error.toStdString();
        EXPECT_TRUE(outcome.script.script.has_value()) << outcome.script.problem.toStdString();
        return;
    }
    EXPECT_FALSE(outcome.check.ok());
    EXPECT_TRUE(outcome.check.error.contains(QString::fromLatin1(row.refusal)))
        << outcome.check.error.toStdString();
    EXPECT_FALSE(outcome.script.script.has_value()) << "the read itself refuses";
    EXPECT_TRUE(outcome.script.problem.contains(QString::fromLatin1(row.refusal)))
        << outcome.script.problem.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Entries, AclTest,
    ::testing::Values(
        AclCase{"UserMayWriteTheFile", "store/projects.plist", "u:USER:rw-", "the user zarvo-t"},
        AclCase{"GroupMayWriteTheFile", "store/projects.plist", "g:GROUP:rw-", "the group zarvo-t"},
        AclCase{"UserMayWriteTheFolder", "store", "u:USER:rwx", "the user zarvo-t"},
        AclCase{"GroupMayWriteTheFolder", "store", "g:GROUP:rwx", "the group zarvo-t"},
        AclCase{"UserMayOnlyRead", "store/projects.plist", "u:USER:r--", nullptr},
        AclCase{"TheMaskTakesTheWriteAway", "store/projects.plist", "u:USER:rw-,m::r--", nullptr},
        AclCase{"TheFolderMaskTakesTheWriteAway", "store", "g:GROUP:rwx,m::r-x", nullptr}),
    [](const auto& info) { return std::string(info.param.description); });

struct FolderCase {
    const char* description;
    // Makes the folders above the store ("above/store") as the case needs.
    std::function<void(const SecondUserTest&, const OtherUser&)> arrange;
    const char* refusal;
};

void PrintTo(const FolderCase& row, std::ostream* os)
{
    *os << row.description;
}

class FolderAboveTest : public SecondUserTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(FolderAboveTest, EveryFolderUpToTheRootIsChecked)
{
    const FolderCase& row = GetParam();
    writeStore(at("above/store"), "make");
    row.arrange(*this, other);
    const LaunchOutcome outcome = launchFrom(at("above/store"));
    if (!row.refusal) {
        EXPECT_TRUE(outcome.check.ok()) << outcome.check.error.toStdString();
        EXPECT_TRUE(outcome.script.script.has_value()) << outcome.script.problem.toStdString();
        return;
    }
    EXPECT_FALSE(outcome.check.ok());
    EXPECT_TRUE(outcome.check.error.contains(QString::fromLatin1(row.refusal)))
        << outcome.check.error.toStdString();
    EXPECT_FALSE(outcome.script.script.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, FolderAboveTest,
    ::testing::Values(
        FolderCase{"AllPrivate", [](const SecondUserTest&, const OtherUser&) {}, nullptr},
        FolderCase{
            "OwnedByAnotherUser",
            [](const SecondUserTest& t, const OtherUser& o) { t.own("above", o.uid(), o.gid()); },
            "belongs to another user"},
        FolderCase{"WritableByEveryone",
                   [](const SecondUserTest& t, const OtherUser&) { t.mode("above", 0777); },
                   "can be changed by every user"},
        FolderCase{"WritableByEveryoneButSticky",
                   [](const SecondUserTest& t, const OtherUser&) { t.mode("above", 01777); },
                   nullptr},
        FolderCase{"StickyButAnotherUsers",
                   [](const SecondUserTest& t, const OtherUser& o) {
                       t.mode("above", 01777);
                       t.own("above", o.uid(), o.gid());
                   },
                   "belongs to another user"},
        FolderCase{"WritableByAGroupWithOtherMembers",
                   [](const SecondUserTest& t, const OtherUser& o) {
                       t.own("above", 0, o.gid());
                       t.mode("above", 0775);
                   },
                   "other members of its group"},
        FolderCase{"WritableByAnotherUserThroughItsAcl",
                   [](const SecondUserTest& t, const OtherUser& o) {
                       setAcl(t.at("above"), QStringLiteral("u:%1:rwx").arg(o.name()));
                   },
                   "the user zarvo-t"},
        FolderCase{"ALinkToAnotherUsersFolder",
                   [](const SecondUserTest& t, const OtherUser& o) {
                       // "above" becomes a link to a folder the other user owns.
                       ASSERT_TRUE(QDir().rename(t.at("above"), t.at("theirs")));
                       t.own("theirs", o.uid(), o.gid());
                       ASSERT_EQ(::symlink("theirs", path8(t.at("above")).constData()), 0);
                   },
                   "belongs to another user"},
        FolderCase{"ALinkToAPrivateFolder",
                   [](const SecondUserTest& t, const OtherUser&) {
                       ASSERT_TRUE(QDir().rename(t.at("above"), t.at("real")));
                       ASSERT_EQ(::symlink("real", path8(t.at("above")).constData()), 0);
                   },
                   nullptr},
        FolderCase{"ALinkInAFolderEveryoneCanWrite",
                   [](const SecondUserTest& t, const OtherUser&) {
                       // base/open (0777) holds the link "above" -> ../real.
                       ASSERT_TRUE(QDir().rename(t.at("above"), t.at("real")));
                       ASSERT_TRUE(QDir().mkpath(t.at("open")));
                       t.mode("open", 0777);
                       ASSERT_EQ(::symlink("../real", path8(t.at("open/above")).constData()), 0);
                       ASSERT_EQ(::symlink("open/above", path8(t.at("above")).constData()), 0);
                   },
                   "can be changed by every user"}),
    [](const auto& info) { return std::string(info.param.description); });

struct LinkCase {
    const char* description;
    // Makes "store/projects.plist" a link to a store elsewhere in the test's folder.
    std::function<void(const SecondUserTest&, const OtherUser&)> arrange;
    bool listed;         // whether the names are read through it
    const char* refusal; // a part of the launch's refusal; null when it launches
    bool written;        // whether a new project is saved through it
};

void PrintTo(const LinkCase& row, std::ostream* os)
{
    *os << row.description;
}

class StoreLinkTest : public SecondUserTest, public ::testing::WithParamInterface<LinkCase> {};

// A dotfile setup links the store to the user's own file; a link to someone
// else's file must neither be launched from nor be replaced by a write,
// which would put the other user's commands into a file of the user's.
TEST_P(StoreLinkTest, OnlyALinkToTheUsersOwnFileIsFollowed)
{
    const LinkCase& row = GetParam();
    ASSERT_TRUE(QDir().mkpath(at("store")));
    mode("store", 0700);
    row.arrange(*this, other);
    const QString link = at("store/projects.plist");
    const ScopedResources resources(at("store"));

    EXPECT_EQ(ProjectStore::projectNames(),
              row.listed ? QStringList{QStringLiteral("p")} : QStringList());
    const LaunchOutcome outcome = launchFrom(at("store"));
    if (row.refusal) {
        EXPECT_FALSE(outcome.script.script.has_value());
        EXPECT_TRUE(outcome.script.problem.contains(QString::fromLatin1(row.refusal)))
            << outcome.script.problem.toStdString();
        EXPECT_FALSE(outcome.check.ok());
    } else {
        EXPECT_TRUE(outcome.script.script.has_value()) << outcome.script.problem.toStdString();
        EXPECT_TRUE(outcome.check.ok()) << outcome.check.error.toStdString();
    }
    const Status saved = ProjectStore::saveProject(QStringLiteral("q"),
                                                   {{entry_key::filePath, QStringLiteral("/q")}});
    EXPECT_EQ(saved.ok(), row.written) << saved.error.toStdString();
    if (!row.written) {
        EXPECT_TRUE(saved.error.contains(QStringLiteral("a link to"))) << saved.error.toStdString();
        EXPECT_TRUE(QFileInfo(link).isSymLink()) << "the link stays as it was";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links, StoreLinkTest,
    ::testing::Values(
        LinkCase{"ToAFileOfTheUsers",
                 [](const SecondUserTest& t, const OtherUser&) {
                     writeStore(t.at("dotfiles"), "make");
                     ASSERT_EQ(::symlink(path8(t.at("dotfiles/projects.plist")).constData(),
                                         path8(t.at("store/projects.plist")).constData()),
                               0);
                 },
                 true, nullptr, true},
        LinkCase{"ByARelativePath",
                 [](const SecondUserTest& t, const OtherUser&) {
                     writeStore(t.at("dotfiles"), "make");
                     ASSERT_EQ(::symlink("../dotfiles/projects.plist",
                                         path8(t.at("store/projects.plist")).constData()),
                               0);
                 },
                 true, nullptr, true},
        LinkCase{"ToAFileOfAnotherUser",
                 [](const SecondUserTest& t, const OtherUser& o) {
                     writeStore(t.at("theirs"), "make");
                     t.own("theirs", o.uid(), o.gid());
                     t.own("theirs/projects.plist", o.uid(), o.gid());
                     ASSERT_EQ(::symlink("../theirs/projects.plist",
                                         path8(t.at("store/projects.plist")).constData()),
                               0);
                 },
                 false, "a link to", false},
        LinkCase{"ToTheUsersFileInAFolderEveryoneCanWrite",
                 [](const SecondUserTest& t, const OtherUser&) {
                     writeStore(t.at("open"), "make");
                     t.mode("open", 0777);
                     ASSERT_EQ(::symlink("../open/projects.plist",
                                         path8(t.at("store/projects.plist")).constData()),
                               0);
                 },
                 true, "can be changed by every user", true}),
    [](const auto& info) { return std::string(info.param.description); });

// A store file of another user that the user cannot read says so, and why.
TEST_F(SecondUserTest, AStoreTheUserCannotReadSaysWhy)
{
    writeStore(at("store"), "make");
    own("store", other.uid(), other.gid());
    mode("store/projects.plist", 0600); // root's, and only root's
    const ScopedResources resources(at("store"));
    // Root reads everything: the reads are made as the other user.
    ASSERT_EQ(::setegid(other.gid()), 0);
    ASSERT_EQ(::seteuid(other.uid()), 0);
    const ProjectScript printed = projectLaunchScript(QStringLiteral("p"));
    const ProjectScript launched = projectLaunchScript(QStringLiteral("p"), Writers::ownerOnly);
    ASSERT_EQ(::seteuid(0), 0);
    ASSERT_EQ(::setegid(0), 0);
    for (const ProjectScript& script : {printed, launched}) {
        EXPECT_FALSE(script.script.has_value());
        EXPECT_TRUE(script.problem.contains(QStringLiteral("cannot read")))
            << script.problem.toStdString();
        EXPECT_TRUE(script.problem.contains(QStringLiteral("Permission denied")))
            << script.problem.toStdString();
        EXPECT_TRUE(script.problem.contains(QStringLiteral("belongs to root")))
            << script.problem.toStdString();
    }
}

// Folders exchanged while launches read: with the check and the read made
// on one chain of descriptors, no launch ever reads the other folder's
// commands; it reads the private store or is refused.
TEST(FolderSwapTest, ALaunchNeverReadsTheFolderSwappedInAfterTheCheck)
{
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const QString store = base.filePath(QStringLiteral("store"));
    const QString planted = base.filePath(QStringLiteral("planted"));
    writeStore(store, "echo mine");
    writeStore(planted, "echo planted");
    // Anyone may have written the planted store.
    ASSERT_EQ(::chmod(path8(planted).constData(), 0777), 0);
    ASSERT_EQ(::chmod(path8(planted + QStringLiteral("/projects.plist")).constData(), 0666), 0);

    std::atomic<bool> stop = false;
    std::atomic<int> swaps = 0;
    std::thread swapper([&] {
        const QByteArray a = path8(store);
        const QByteArray b = path8(planted);
        while (!stop) {
            if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_EXCHANGE) ==
                0) {
                ++swaps;
            }
        }
    });
    const ScopedResources resources(store);
    int mine = 0;
    int refused = 0;
    int plantedRead = 0;
    const QDeadlineTimer deadline(10000);
    for (int i = 0; i < 20000 && !deadline.hasExpired() && (mine < 200 || refused < 200); ++i) {
        const ProjectScript script = projectLaunchScript(QStringLiteral("p"), Writers::ownerOnly);
        if (!script.script) {
            ++refused;
        } else if (script.script->contains(QStringLiteral("planted"))) {
            ++plantedRead;
        } else {
            ++mine;
        }
    }
    stop = true;
    swapper.join();
    EXPECT_EQ(plantedRead, 0) << mine << " private reads, " << refused << " refused";
    // The race was run: both folders were seen.
    EXPECT_GT(swaps, 0);
    EXPECT_GT(mine, 0);
    EXPECT_GT(refused, 0);
}

} // namespace
} // namespace zarvo
