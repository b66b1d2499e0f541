#include "platform/plistio.h"
#include "projects/newprojects.h"
#include "support/runzarvo.h"
#include "support/tempresources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace zarvo {
namespace {

using test::runZarvoUnprivileged;

constexpr uid_t kNobody = 65534;

// A tree of folders for a scan, open to the user the scan runs as.
class Tree final {
public:
    Tree()
    {
        EXPECT_TRUE(dir_.isValid());
        ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    }
    ~Tree()
    {
        // Open again, so that the tree can be removed.
        for (const QString& locked : locked_) {
            ::chmod(QFile::encodeName(locked).constData(), 0755);
        }
    }
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    QString root() const { return dir_.path(); }
    QString path(const QString& relative) const { return dir_.filePath(relative); }
    void folder(const QString& relative) const { EXPECT_TRUE(QDir().mkpath(path(relative))); }
    void file(const QString& relative, const QByteArray& contents = {}) const
    {
        folder(QFileInfo(relative).path());
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    void link(const QString& relative, const QString& target) const
    {
        ASSERT_TRUE(QFile::link(target, path(relative)));
    }
    void lock(const QString& relative)
    {
        locked_ << path(relative);
        ASSERT_EQ(::chmod(QFile::encodeName(path(relative)).constData(), 0), 0);
    }

private:
    QTemporaryDir dir_;
    QStringList locked_;
};

class ScanCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The projects file, readable and writable by the user the scan runs as.
        store({{QStringLiteral("beta"), newProjectEntry(QStringLiteral("/elsewhere/beta"))},
               {QStringLiteral("web"), newProjectEntry(QStringLiteral("/elsewhere/web"))},
               {QStringLiteral("web (three)"), newProjectEntry(QStringLiteral("/w3"))},
               {QStringLiteral("kept"), newProjectEntry(tree.path(QStringLiteral("stored/")))}});
        if (test::runsAsRoot()) {
            ASSERT_EQ(::chown(QFile::encodeName(resources.path()).constData(), kNobody, kNobody),
                      0);
            ASSERT_EQ(::chown(QFile::encodeName(projectsFile()).constData(), kNobody, kNobody), 0);
        }
    }

    void store(const QVariantMap& projects)
    {
        resources.write(QStringLiteral("projects.plist"), plist::toXml(projects));
        resources.write(QStringLiteral("settings.plist"), plist::toXml(QVariantMap()));
    }
    QString projectsFile() const { return resources.file(QStringLiteral("projects.plist")); }
    QVariantMap stored() const
    {
        return plist::readDictionaryFile(projectsFile()).value_or(QVariantMap());
    }
    ino_t projectsInode() const
    {
        struct stat status {};
        ::stat(QFile::encodeName(projectsFile()).constData(), &status);
        return status.st_ino;
    }
    QString line(const QString& name, const QString& relative) const
    {
        return name + QLatin1Char('\t') + tree.path(relative) + QLatin1Char('\n');
    }

    test::TempResources resources;
    Tree tree;
};

TEST_F(ScanCommandTest, FindsEachProjectOnceAndAddsItOnceUnderAFreeName)
{
    tree.folder(QStringLiteral("alpha/.git"));
    tree.folder(QStringLiteral("alpha/nested/.git")); // inside a project: part of it
    tree.file(QStringLiteral("group/beta/package.json"));
    tree.file(QStringLiteral("group/worktree/.git"), "gitdir: /somewhere/.git/worktrees/w\n");
    tree.link(QStringLiteral("group/loop"), tree.root());
    tree.file(QStringLiteral("one/api/go.mod"));
    tree.file(QStringLiteral("two/api/Cargo.toml"));
    tree.file(QStringLiteral("three/web/Makefile"));
    for (const char* hidden : {".hidden/gamma/.git/HEAD", "node_modules/delta/package.json",
                               "vendor/v/composer.json", "target/t/pom.xml", "build/b/meson.build",
                               "dist/d/setup.py", "venv/e/pyproject.toml", ".venv/f/setup.py"}) {
        tree.file(QString::fromLatin1(hidden));
    }
    tree.file(QStringLiteral("stored/pyproject.toml")); // stored with a trailing slash
    tree.file(QStringLiteral("a/b/c/four/CMakeLists.txt"));
    tree.file(QStringLiteral("a/b/c/d/five/build.gradle")); // one level too deep
    tree.file(QStringLiteral("plain/README"));
    tree.file(QStringLiteral("locked/secret/Gemfile"));
    tree.lock(QStringLiteral("locked"));

    // In the byte order of the names, level by level.
    const QString expected = line(QStringLiteral("four"), QStringLiteral("a/b/c/four")) +
                             line(QStringLiteral("alpha"), QStringLiteral("alpha")) +
                             line(QStringLiteral("beta (group)"), QStringLiteral("group/beta")) +
                             line(QStringLiteral("worktree"), QStringLiteral("group/worktree")) +
                             line(QStringLiteral("api"), QStringLiteral("one/api")) +
                             line(QStringLiteral("api (two)"), QStringLiteral("two/api"));
    const QByteArray before = resources.read(QStringLiteral("projects.plist"));

    const auto dryRun = runZarvoUnprivileged(
        {QStringLiteral("scan"), QStringLiteral("--dry-run"), tree.root() + QLatin1Char('/')});
    EXPECT_EQ(dryRun.exitCode, 0) << dryRun.err.toStdString();
    EXPECT_EQ(dryRun.out.toStdString(), expected.toStdString());
    EXPECT_TRUE(dryRun.err.contains(
        QStringLiteral("cannot read %1: ").arg(tree.path(QStringLiteral("locked")))))
        << dryRun.err.toStdString();
    EXPECT_TRUE(dryRun.err.contains(QStringLiteral("skipped %1: the names \"web\" and \"web "
                                                   "(three)\" are taken")
                                        .arg(tree.path(QStringLiteral("three/web")))))
        << dryRun.err.toStdString();
    EXPECT_EQ(resources.read(QStringLiteral("projects.plist")), before)
        << "a dry run writes nothing";

    const auto scan = runZarvoUnprivileged({QStringLiteral("scan"), tree.root()});
    EXPECT_EQ(scan.exitCode, 0) << scan.err.toStdString();
    EXPECT_EQ(scan.out.toStdString(), dryRun.out.toStdString());
    const QVariantMap projects = stored();
    EXPECT_EQ(projects.size(), 4 + 6);
    EXPECT_EQ(projects.value(QStringLiteral("api (two)")).toMap(),
              newProjectEntry(tree.path(QStringLiteral("two/api"))));
    EXPECT_EQ(projects.value(QStringLiteral("beta")).toMap(),
              newProjectEntry(QStringLiteral("/elsewhere/beta")))
        << "nothing stored is replaced";
    EXPECT_EQ(projects.value(QStringLiteral("kept")).toMap(),
              newProjectEntry(tree.path(QStringLiteral("stored/"))));

    // Everything found is stored now: nothing is printed, nothing rewritten.
    const ino_t inode = projectsInode();
    const auto again = runZarvoUnprivileged({QStringLiteral("scan"), tree.root()});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.out.toStdString(), std::string());
    EXPECT_EQ(projectsInode(), inode);
    EXPECT_EQ(stored(), projects);
}

TEST_F(ScanCommandTest, DepthCountsFromTheScannedFolderWhichCountsItself)
{
    tree.file(QStringLiteral("top/Makefile"));
    tree.file(QStringLiteral("top/sub/mix.exs")); // inside the project "top"
    tree.file(QStringLiteral("x/y/deep/build.gradle.kts"));
    struct Row {
        QStringList args;
        QString out;
    };
    const Row rows[] = {
        {{QStringLiteral("--depth"), QStringLiteral("0"), tree.path(QStringLiteral("top"))},
         line(QStringLiteral("top"), QStringLiteral("top"))},
        {{QStringLiteral("--depth"), QStringLiteral("0"), tree.root()}, QString()},
        {{QStringLiteral("--depth"), QStringLiteral("2"), tree.root()},
         line(QStringLiteral("top"), QStringLiteral("top"))},
        {{QStringLiteral("--depth"), QStringLiteral("3"), tree.root()},
         line(QStringLiteral("top"), QStringLiteral("top")) +
             line(QStringLiteral("deep"), QStringLiteral("x/y/deep"))},
        // Two folders, one inside the other: each project once.
        {{tree.path(QStringLiteral("x")), tree.root()},
         line(QStringLiteral("deep"), QStringLiteral("x/y/deep")) +
             line(QStringLiteral("top"), QStringLiteral("top"))},
    };
    for (const Row& row : rows) {
        const auto result = runZarvoUnprivileged(
            QStringList{QStringLiteral("scan"), QStringLiteral("--dry-run")} + row.args);
        EXPECT_EQ(result.exitCode, 0) << row.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(result.out.toStdString(), row.out.toStdString())
            << row.args.join(QLatin1Char(' ')).toStdString();
    }
}

} // namespace
} // namespace zarvo
