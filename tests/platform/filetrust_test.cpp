#include "platform/filetrust.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
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

TEST_F(FileTrustTest, GroupWritableIsRefusedOnlyWhenTheGroupHasOtherMembers)
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
    // A group whose membership list names someone else.
    ::setgrent();
    gid_t shared = 0;
    bool found = false;
    while (const group* g = ::getgrent()) {
        if (g->gr_mem && g->gr_mem[0] && std::string(g->gr_mem[0]) != "root") {
            shared = g->gr_gid;
            found = true;
            break;
        }
    }
    ::endgrent();
    if (!found) {
        GTEST_SKIP() << "no group with other members on this machine";
    }
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 0, shared), 0);
    EXPECT_FALSE(checkOnlyOwnerCanWrite(path).ok());
}

} // namespace
} // namespace zarvo
