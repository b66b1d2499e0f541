#include "app/helppages.h"

#include "platform/defaultsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace zarvo {
namespace {

const QString kIndexPage = QStringLiteral("index.html");
const QString kHelpFragment = QStringLiteral("help");
const QString kLaunchCommandsPath = QStringLiteral("launch-commands");

bool holdsHelpPages(const QString& dir)
{
    return !dir.isEmpty() && QFileInfo(QDir(dir).filePath(kIndexPage)).isFile();
}

// The local file BASE names, if it names one.
std::optional<QString> localPath(const QString& base)
{
    if (QDir::isAbsolutePath(base)) {
        return QDir::cleanPath(base);
    }
    const QUrl url(base);
    if (url.isLocalFile()) {
        return QDir::cleanPath(url.toLocalFile());
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> findHelpDirectory(const QString& executableDir, const QString& sourceHelpDir)
{
    const QDir exe(executableDir);
    const QString candidates[] = {
        QDir::cleanPath(exe.filePath(QStringLiteral("../share/zarvo/help"))),
        QDir::cleanPath(exe.filePath(QStringLiteral("share/zarvo/help"))),
        sourceHelpDir,
    };
    for (const QString& dir : candidates) {
        if (holdsHelpPages(dir)) {
            return dir;
        }
    }
    return std::nullopt;
}

std::optional<QString> localHelpDirectory()
{
    return findHelpDirectory(QCoreApplication::applicationDirPath(),
                             QStringLiteral(ZARVO_SOURCE_HELP_DIR));
}

QString helpBaseUrl()
{
    if (const std::optional<QVariant> value =
            DefaultsStore::standardUserDefaults().objectForKey(kHelpBaseUrlKey)) {
        const QString text = value->toString().trimmed();
        if (!text.isEmpty()) {
            return text;
        }
    }
    if (const std::optional<QString> dir = localHelpDirectory()) {
        return QUrl::fromLocalFile(*dir).toString();
    }
    return QString();
}

QUrl helpPageUrl(const QString& base, HelpPage page)
{
    if (base.isEmpty()) {
        return QUrl();
    }
    if (const std::optional<QString> path = localPath(base)) {
        // The base may name the index page itself rather than its folder.
        const bool isPage = path->endsWith(QStringLiteral(".html"));
        const QDir folder(isPage ? QFileInfo(*path).path() : *path);
        QUrl url;
        if (page == HelpPage::help) {
            url = QUrl::fromLocalFile(isPage ? *path : folder.filePath(kIndexPage));
            url.setFragment(kHelpFragment);
        } else {
            url = QUrl::fromLocalFile(
                folder.filePath(kLaunchCommandsPath + QLatin1Char('/') + kIndexPage));
        }
        return url;
    }
    QString address = base;
    if (page == HelpPage::help) {
        address += QLatin1Char('#') + kHelpFragment;
    } else {
        while (address.endsWith(QLatin1Char('/'))) {
            address.chop(1);
        }
        address += QLatin1Char('/') + kLaunchCommandsPath;
    }
    return QUrl(address);
}

} // namespace zarvo
