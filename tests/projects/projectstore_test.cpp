#include "platform/defaultsstore.h"
#include "platform/plistio.h"
#include "platform/resourcedir.h"
#include "projects/launcher.h"
#include "projects/projectstore.h"
#include "projects/textform.h"
#include "support/tempresources.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zarvo {
namespace {

const QString kProjects = QStringLiteral("projects.plist");
const QString kSettings = QStringLiteral("settings.plist");

ProjectEntry entryFor(const QString& path)
{
    return {{entry_key::filePath, path},
            {entry_key::doPull, QStringLiteral("1")},
            {entry_key::openFinder, QStringLiteral("0")},
            {entry_key::customOpen, QString()},
            {entry_key::commands, QStringLiteral("make")}};
}

class ProjectStoreTest : public ::testing::Test {
protected:
    void SetUp() override { prepareResourceDirectory(); }
    test::TempResources resources;
};

TEST_F(ProjectStoreTest, FreshDirectoryIsSeededWithEmptyStoreAndBothSettings)
{
    EXPECT_TRUE(ProjectStore::loadProjects().has_value());
    EXPECT_TRUE(ProjectStore::projectNames().isEmpty());
    const auto settings = ProjectStore::loadSettings();
    ASSERT_TRUE(settings.has_value());
    EXPECT_TRUE(settings->contains(setting_key::editorCommand));
    EXPECT_TRUE(settings->contains(setting_key::terminal));
}

TEST_F(ProjectStoreTest, SeedingNeverTouchesAnExistingFile)
{
    ASSERT_TRUE(
        ProjectStore::saveProject(QStringLiteral("web"), entryFor(QStringLiteral("/w"))).ok());
    const QByteArray before = resources.read(kProjects);
    prepareResourceDirectory();
    EXPECT_EQ(resources.read(kProjects), before);
}

TEST_F(ProjectStoreTest, SavingAnExistingNameReplacesTheWholeEntry)
{
    ProjectEntry first = entryFor(QStringLiteral("/old"));
    first.insert(QStringLiteral("extra"), QStringLiteral("kept?"));
    ASSERT_TRUE(ProjectStore::saveProject(QStringLiteral("web"), first).ok());
    ASSERT_TRUE(
        ProjectStore::saveProject(QStringLiteral("web"), entryFor(QStringLiteral("/new"))).ok());

    EXPECT_EQ(ProjectStore::projectNames(), QStringList{QStringLiteral("web")});
    const auto entry = ProjectStore::projectEntry(QStringLiteral("web"));
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->value(entry_key::filePath).toString(), QStringLiteral("/new"));
    EXPECT_FALSE(entry->contains(QStringLiteral("extra")));
}

TEST_F(ProjectStoreTest, NamesDifferingOnlyInCaseAreTwoProjects)
{
    ProjectStore::saveProject(QStringLiteral("Web"), entryFor(QStringLiteral("/a")));
    ProjectStore::saveProject(QStringLiteral("web"), entryFor(QStringLiteral("/b")));
    EXPECT_EQ(ProjectStore::projectNames().size(), 2);
    EXPECT_FALSE(ProjectStore::projectEntry(QStringLiteral("WEB")).has_value());
}

TEST_F(ProjectStoreTest, NamesComeInOneStableOrder)
{
    for (const char* name : {"zeta", "Alpha", "beta", "éclair"}) {
        ProjectStore::saveProject(QString::fromUtf8(name), entryFor(QStringLiteral("/x")));
    }
    const QStringList names = ProjectStore::projectNames();
    EXPECT_EQ(names.size(), 4);
    EXPECT_EQ(ProjectStore::projectNames(), names);
}

TEST_F(ProjectStoreTest, RemovingAnUnknownNameRewritesTheSameEntries)
{
    ProjectStore::saveProject(QStringLiteral("web"), entryFor(QStringLiteral("/w")));
    const auto before = ProjectStore::loadProjects();
    EXPECT_TRUE(ProjectStore::removeProject(QStringLiteral("nope")).ok());
    EXPECT_EQ(ProjectStore::loadProjects(), before);
    EXPECT_TRUE(ProjectStore::removeProject(QStringLiteral("web")).ok());
    EXPECT_TRUE(ProjectStore::projectNames().isEmpty());
}

TEST_F(ProjectStoreTest, AddingSeveralProjectsReplacesNothingAndWithNothingNewWritesNothing)
{
    ProjectStore::saveProject(QStringLiteral("web"), entryFor(QStringLiteral("/w")));
    QStringList added;
    ASSERT_TRUE(ProjectStore::addProjects({{QStringLiteral("zeta"), entryFor(QStringLiteral("/z"))},
                                           {QStringLiteral("web"), entryFor(QStringLiteral("/x"))},
                                           {QStringLiteral("api"), entryFor(QStringLiteral("/a"))}},
                                          &added)
                    .ok());
    EXPECT_EQ(added, (QStringList{QStringLiteral("zeta"), QStringLiteral("api")}));
    EXPECT_EQ(ProjectStore::projectEntry(QStringLiteral("web")), entryFor(QStringLiteral("/w")));
    EXPECT_EQ(ProjectStore::projectNames().size(), 3);

    struct stat before {};
    ::stat(QFile::encodeName(resources.file(kProjects)).constData(), &before);
    ASSERT_TRUE(
        ProjectStore::addProjects({{QStringLiteral("api"), entryFor(QStringLiteral("/b"))}}, &added)
            .ok());
    EXPECT_TRUE(added.isEmpty());
    struct stat after {};
    ::stat(QFile::encodeName(resources.file(kProjects)).constData(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was rewritten";
}

TEST_F(ProjectStoreTest, UnknownKeysSurviveRewrites)
{
    QVariantMap settings{{setting_key::editorCommand, QStringLiteral("vim")},
                         {QStringLiteral("Theme"), QStringLiteral("dark")}};
    QVariantMap projects{{QStringLiteral("old"), QVariantMap{{QStringLiteral("note"), 7}}}};
    resources.write(kSettings, plist::toXml(settings));
    resources.write(kProjects, plist::toXml(projects));

    ProjectStore::saveSetting(setting_key::terminal, QStringLiteral("kitty"));
    ProjectStore::saveProject(QStringLiteral("new"), entryFor(QStringLiteral("/n")));

    const auto readSettings = ProjectStore::loadSettings().value();
    EXPECT_EQ(readSettings.value(QStringLiteral("Theme")).toString(), QStringLiteral("dark"));
    EXPECT_EQ(readSettings.value(setting_key::editorCommand).toString(), QStringLiteral("vim"));
    EXPECT_EQ(readSettings.value(setting_key::terminal).toString(), QStringLiteral("kitty"));
    const auto old = ProjectStore::projectEntry(QStringLiteral("old")).value();
    EXPECT_EQ(textForm(old, QStringLiteral("note")), QStringLiteral("7"));
}

TEST_F(ProjectStoreTest, StoredFlagsReadThroughTheirTextForm)
{
    QVariantMap projects{
        {QStringLiteral("bool"), QVariantMap{{entry_key::doPull, true}}},
        {QStringLiteral("number"), QVariantMap{{entry_key::doPull, 1}}},
        {QStringLiteral("missing"), QVariantMap{}},
    };
    for (const QByteArray& bytes : {plist::toXml(projects), plist::toBinary(projects)}) {
        resources.write(kProjects, bytes);
        auto flag = [](const char* name) {
            return textForm(ProjectStore::projectEntry(QString::fromLatin1(name)).value(),
                            entry_key::doPull);
        };
        EXPECT_EQ(flag("bool"), QStringLiteral("1"));
        EXPECT_EQ(flag("number"), QStringLiteral("1"));
        EXPECT_EQ(flag("missing"), QStringLiteral("(null)"));
    }
}

struct BadFile {
    const char* description;
    QByteArray contents;
};

void PrintTo(const BadFile& row, std::ostream* os)
{
    *os << row.description;
}

class UnreadableStoreTest : public ProjectStoreTest,
                            public ::testing::WithParamInterface<BadFile> {};

TEST_P(UnreadableStoreTest, ReadsAsAbsentAndIsNeverRewritten)
{
    resources.write(kProjects, GetParam().contents);
    EXPECT_FALSE(ProjectStore::loadProjects().has_value());
    EXPECT_TRUE(ProjectStore::projectNames().isEmpty());
    EXPECT_FALSE(ProjectStore::projectEntry(QStringLiteral("a")).has_value());
    EXPECT_FALSE(
        ProjectStore::saveProject(QStringLiteral("a"), entryFor(QStringLiteral("/a"))).ok());
    EXPECT_FALSE(ProjectStore::removeProject(QStringLiteral("a")).ok());
    EXPECT_EQ(resources.read(kProjects), GetParam().contents);
}

const QByteArray kValidXml = plist::toXml(QVariantMap{{QStringLiteral("a"), QVariantMap{}}});

INSTANTIATE_TEST_SUITE_P(
    BadFiles, UnreadableStoreTest,
    ::testing::Values(BadFile{"Empty", QByteArray()},
                      BadFile{"Truncated", kValidXml.left(kValidXml.size() / 2)},
                      BadFile{"NotAPlist", QByteArray("hello, world\n")},
                      BadFile{"ArrayRoot", plist::toXml(QVariantList{1, 2})},
                      BadFile{"StringRoot", plist::toXml(QStringLiteral("x"))},
                      BadFile{"TruncatedBinary",
                              plist::toBinary(QVariantMap{{QStringLiteral("a"), 1}}).left(20)}),
    [](const auto& info) { return std::string(info.param.description); });

// Things other than a regular file of a sane size in place of the store.
struct SpecialFile {
    const char* description;
    // Puts the thing at PATH; returns why it cannot be made here, or nothing.
    QString (*make)(const QByteArray& path);
    const char* reason; // a part of what the read says
};

void PrintTo(const SpecialFile& row, std::ostream* os)
{
    *os << row.description;
}

class SpecialStoreFileTest : public ProjectStoreTest,
                             public ::testing::WithParamInterface<SpecialFile> {};

// Without the checks a FIFO hangs the read for good and a device aborts it:
// the whole binary stops on the alarm instead of failing this one test.
TEST_P(SpecialStoreFileTest, IsRefusedAtOnceAndNeverRewritten)
{
    const QByteArray path = QFile::encodeName(resources.file(kProjects));
    ASSERT_EQ(::unlink(path.constData()), 0);
    if (const QString skip = GetParam().make(path); !skip.isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(skip));
        GTEST_SKIP() << skip.toStdString();
    }
    struct stat before {};
    ASSERT_EQ(::lstat(path.constData(), &before), 0);
    const QString reason = QString::fromLatin1(GetParam().reason);
    ::alarm(120);

    const QString file = resources.file(kProjects);
    plist::ReadReport report;
    EXPECT_FALSE(plist::readDictionaryFile(file, Writers::anyone, &report).has_value());
    EXPECT_TRUE(report.reason.contains(reason)) << report.reason.toStdString();
    EXPECT_FALSE(plist::readDictionaryKeys(file, Writers::anyone, &report).has_value());
    EXPECT_TRUE(report.reason.contains(reason)) << report.reason.toStdString();
    EXPECT_FALSE(plist::readDictionaryValue(file, QStringLiteral("a"), Writers::anyone, &report)
                     .has_value());
    EXPECT_TRUE(report.reason.contains(reason)) << report.reason.toStdString();
    EXPECT_TRUE(ProjectStore::projectNames().isEmpty());
    for (const Writers writers : {Writers::anyone, Writers::ownerOnly}) {
        const ProjectScript script = projectLaunchScript(QStringLiteral("a"), writers);
        EXPECT_FALSE(script.script.has_value());
        EXPECT_TRUE(script.problem.contains(reason)) << script.problem.toStdString();
    }
    const Status saved =
        ProjectStore::saveProject(QStringLiteral("a"), entryFor(QStringLiteral("/a")));
    EXPECT_FALSE(saved.ok());
    EXPECT_TRUE(saved.error.contains(reason)) << saved.error.toStdString();
    // The user defaults read the same way.
    const DefaultsStore defaults(file);
    EXPECT_FALSE(defaults.objectForKey(QStringLiteral("a")).has_value());

    ::alarm(0);
    struct stat after {};
    ASSERT_EQ(::lstat(path.constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "never replaced";
    EXPECT_EQ(after.st_mode, before.st_mode);
}

QString makeDevice(const QByteArray& path, unsigned major, unsigned minor)
{
    if (::mknod(path.constData(), S_IFCHR | 0600, makedev(major, minor)) != 0) {
        return QStringLiteral("cannot make a device node here: %1")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    return {};
}

QString made(int result)
{
    return result == 0 ? QString() : QString::fromLocal8Bit(std::strerror(errno));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SpecialStoreFileTest,
    ::testing::Values(
        SpecialFile{"Fifo", [](const QByteArray& p) { return made(::mkfifo(p.constData(), 0600)); },
                    "is not a regular file"},
        SpecialFile{"LinkToDevZero",
                    [](const QByteArray& p) { return made(::symlink("/dev/zero", p.constData())); },
                    "is not a regular file"},
        SpecialFile{
            "LinkToDevUrandom",
            [](const QByteArray& p) { return made(::symlink("/dev/urandom", p.constData())); },
            "is not a regular file"},
        SpecialFile{"DeviceNodeOfZero", [](const QByteArray& p) { return makeDevice(p, 1, 5); },
                    "is not a regular file"},
        SpecialFile{"DeviceNodeOfUrandom", [](const QByteArray& p) { return makeDevice(p, 1, 9); },
                    "is not a regular file"},
        SpecialFile{"Folder",
                    [](const QByteArray& p) { return made(::mkdir(p.constData(), 0700)); },
                    "is not a regular file"},
        SpecialFile{"LargerThanAnyStore",
                    [](const QByteArray& p) {
                        // Sparse: no disk, and no memory if nothing reads it.
                        const int fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
                        const int sized = ::ftruncate(fd, plist::kMaxPropertyListFileSize + 1);
                        ::close(fd);
                        return made(fd < 0 ? -1 : sized);
                    },
                    "is not a property list (it is larger than 64 MiB)"}),
    [](const auto& info) { return std::string(info.param.description); });

TEST_F(ProjectStoreTest, AnEntryThatIsNotADictionaryIsMissing)
{
    resources.write(kProjects,
                    plist::toXml(QVariantMap{{QStringLiteral("odd"), QStringLiteral("text")}}));
    EXPECT_FALSE(ProjectStore::projectEntry(QStringLiteral("odd")).has_value());
    EXPECT_EQ(ProjectStore::projectNames(), QStringList{QStringLiteral("odd")});
}

TEST_F(ProjectStoreTest, MissingFileIsAbsentAndWritesNothing)
{
    QFile::remove(resources.file(kProjects));
    EXPECT_FALSE(ProjectStore::loadProjects().has_value());
    EXPECT_FALSE(
        ProjectStore::saveProject(QStringLiteral("a"), entryFor(QStringLiteral("/a"))).ok());
    EXPECT_FALSE(QFileInfo::exists(resources.file(kProjects)));
}

TEST_F(ProjectStoreTest, NewFilesAreOwnerOnlyAndExistingFilesKeepTheirMode)
{
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(resources.file(kProjects)).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ::chmod(QFile::encodeName(resources.file(kSettings)).constData(), 0640);
    ProjectStore::saveSetting(setting_key::terminal, QStringLiteral("xterm"));
    ASSERT_EQ(::stat(QFile::encodeName(resources.file(kSettings)).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ProjectStoreTest, FailedWriteInReadOnlyDirectoryKeepsTheOldFile)
{
    ProjectStore::saveProject(QStringLiteral("web"), entryFor(QStringLiteral("/w")));
    const QByteArray before = resources.read(kProjects);
    const QByteArray dir = QFile::encodeName(resources.path());
    ::chmod(QFile::encodeName(resources.file(kProjects)).constData(), 0644);
    ::chmod(dir.constData(), 0555);

    // Root may write anywhere, so the write is tried by an unprivileged child.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0) {
            ::_exit(3);
        }
        const bool ok =
            ProjectStore::saveProject(QStringLiteral("more"), entryFor(QStringLiteral("/m"))).ok();
        ::_exit(ok ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(dir.constData(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write should have failed";
    EXPECT_EQ(resources.read(kProjects), before);
    EXPECT_EQ(QDir(resources.path()).entryList(QDir::Files).size(), 2) << "no temporary file left";
}

} // namespace
} // namespace zarvo
