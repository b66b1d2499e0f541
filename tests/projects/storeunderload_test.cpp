#include "panel/projectsearch.h"
#include "platform/plistio.h"
#include "platform/resourcedir.h"
#include "projects/projectstore.h"
#include "support/tempresources.h"

#include <QDeadlineTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zarvo {
namespace {

constexpr int kProjects = 100'000;

QByteArray storeVersion(char version)
{
    QVariantMap store;
    for (int i = 0; i < kProjects; ++i) {
        store.insert(QStringLiteral("%1-project-%2").arg(QLatin1Char(version)).arg(i),
                     QVariantMap{{QStringLiteral("filePath"), QStringLiteral("/srv/%1").arg(i)},
                                 {QStringLiteral("doPull"), QStringLiteral("1")}});
    }
    return plist::toXml(store);
}

// Replaces PATH with CONTENTS the way an editor or a sync tool would: a new
// file renamed over the old one, at most RATE times a second, until killed.
[[noreturn]] void rewriteForever(const QByteArray& path, const QByteArray versions[2], int rate)
{
    const QByteArray temp = path + ".writer";
    for (unsigned i = 0;; ++i) {
        const QByteArray& contents = versions[i % 2];
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) {
            qsizetype done = 0;
            while (done < contents.size()) {
                const ssize_t n =
                    ::write(fd, contents.constData() + done, size_t(contents.size() - done));
                if (n <= 0) {
                    break;
                }
                done += n;
            }
            ::close(fd);
            ::rename(temp.constData(), path.constData());
        }
        ::usleep(useconds_t(1'000'000 / rate));
    }
}

// While another process rewrites a 100,000-project store a hundred times a
// second, every search sees one whole version of it, never a mix or a part.
TEST(StoreUnderLoad, SearchesSeeOneWholeVersionWhileTheStoreIsRewritten)
{
    test::TempResources resources;
    prepareResourceDirectory();
    const QByteArray versions[2] = {storeVersion('a'), storeVersion('b')};
    resources.write(QStringLiteral("projects.plist"), versions[0]);
    const QByteArray path = QFile::encodeName(resources.file(QStringLiteral("projects.plist")));

    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        rewriteForever(path, versions, 100);
    }

    constexpr int kMinSearches = 3;
    int searches = 0;
    QSet<QChar> versionsSeen;
    const QDeadlineTimer deadline(10'000);
    while (searches < kMinSearches || !deadline.hasExpired()) {
        const QStringList names = ProjectStore::projectNames();
        ASSERT_EQ(names.size(), kProjects) << "search " << searches;
        const QChar version = names.first().at(0);
        versionsSeen.insert(version);
        const QString prefix = QString(version) + QStringLiteral("-project-");
        const QStringList found = filterProjectNames(names, prefix);
        ASSERT_EQ(found.size(), kProjects) << "a search mixed two versions";
        ++searches;
        if (searches >= 50) {
            break;
        }
    }
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    EXPECT_GE(searches, kMinSearches);
    RecordProperty("searches", searches);
    RecordProperty("versions", int(versionsSeen.size()));
}

} // namespace
} // namespace zarvo
