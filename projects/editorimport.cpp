#include "projects/editorimport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
#include <atomic>

namespace zarvo {
namespace {

const QString kVscodeRecentKey = QStringLiteral("history.recentlyOpenedPathsList");
const QLatin1String kWorkspaceSuffix(".code-workspace");

QString configHome()
{
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(configured) ? configured
                                            : QDir::homePath() + QStringLiteral("/.config");
}

// The local path of a file: URI, or nothing for a remote one.
QString localPath(const QString& uri)
{
    const QUrl url(uri);
    if (!url.isValid() || url.scheme() != QLatin1String("file") ||
        !(url.host().isEmpty() || url.host() == QLatin1String("localhost"))) {
        return QString();
    }
    const QString path = url.toLocalFile();
    return QDir::isAbsolutePath(path) ? QDir::cleanPath(path) : QString();
}

// An entry of the list as VS Code 1.45 and later write it: a folder, a
// workspace or a file, remote ones with their authority.
QString vscodeEntryPath(const QJsonObject& entry)
{
    if (entry.contains(QLatin1String("remoteAuthority"))) {
        return QString();
    }
    if (entry.contains(QLatin1String("folderUri"))) {
        return localPath(entry.value(QLatin1String("folderUri")).toString());
    }
    const QJsonObject workspace = entry.value(QLatin1String("workspace")).toObject();
    return localPath(workspace.value(QLatin1String("configPath")).toString());
}

// An entry of the older "workspaces3" list: a folder URI, or a workspace.
QString olderVscodeEntryPath(const QJsonValue& entry)
{
    if (entry.isString()) {
        return localPath(entry.toString());
    }
    return localPath(entry.toObject().value(QLatin1String("configURIPath")).toString());
}

void appendNew(QStringList& paths, QSet<QString>& seen, const QString& path)
{
    if (!path.isEmpty() && !seen.contains(path)) {
        seen.insert(path);
        paths << path;
    }
}

struct RecentProject {
    QString path;
    qint64 openedAt = 0; // milliseconds since the epoch; 0 when not known
};

QList<RecentProject> jetbrainsRecentProjects(const QByteArray& xml, const QString& home,
                                             QString* error)
{
    // The two shapes of the file: a map from path to what the IDE knows of it
    // (recent versions), and a plain list of paths (older ones):
    //   <option name="additionalInfo"><map><entry key="$USER_HOME$/p"><value>
    //     <RecentProjectMetaInfo><option name="activationTimestamp" value="..."/>
    //   <option name="recentPaths"><list><option value="$USER_HOME$/p"/>
    QList<RecentProject> found;
    QStringList open;     // the elements open, options as "option:NAME"
    qsizetype entry = -1; // the map entry being read, an index into FOUND
    const auto within = [&](const char* parent, const char* grandparent) {
        return open.size() >= 2 && open.last() == QLatin1String(parent) &&
               open[open.size() - 2] == QLatin1String(grandparent);
    };
    const auto add = [&](const QString& stored) {
        QString path = stored;
        path.replace(QLatin1String("$USER_HOME$"), home);
        if (!QDir::isAbsolutePath(path)) { // another macro, or a Windows path
            return false;
        }
        found.append({QDir::cleanPath(path), 0});
        return true;
    };

    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView element = reader.name();
            const QXmlStreamAttributes attributes = reader.attributes();
            const QString name = attributes.value(QLatin1String("name")).toString();
            if (element == QLatin1String("entry") && within("map", "option:additionalInfo")) {
                entry =
                    add(attributes.value(QLatin1String("key")).toString()) ? found.size() - 1 : -1;
                open << QStringLiteral("entry");
                continue;
            }
            if (element == QLatin1String("option") && within("list", "option:recentPaths")) {
                add(attributes.value(QLatin1String("value")).toString());
            } else if (element == QLatin1String("option") && entry >= 0 &&
                       name == QLatin1String("activationTimestamp")) {
                found[entry].openedAt = attributes.value(QLatin1String("value")).toLongLong();
            }
            open << (element == QLatin1String("option") ? QStringLiteral("option:") + name
                                                        : element.toString());
        } else if (token == QXmlStreamReader::EndElement && !open.isEmpty()) {
            if (open.takeLast() == QLatin1String("entry")) {
                entry = -1;
            }
        }
    }
    if (reader.hasError() && error) {
        *error = QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
    }
    return found;
}

// A SQLite URI that opens PATH for reading only and as immutable: SQLite takes
// no lock on it and creates no journal or shared-memory file beside it.
QString immutableSqliteUri(const QString& path)
{
    return QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(path, "/")) +
           QStringLiteral("?mode=ro&immutable=1");
}

EditorHistory readVscodeHistory()
{
    EditorHistory history;
    QSet<QString> seen;
    for (const char* product : {"Code", "Code - OSS", "VSCodium", "Code - Insiders"}) {
        const QString database = QStringLiteral("%1/%2/User/globalStorage/state.vscdb")
                                     .arg(configHome(), QString::fromLatin1(product));
        if (!QFileInfo(database).isFile()) {
            continue;
        }
        QString error;
        const std::optional<QByteArray> list = readVscodeState(database, kVscodeRecentKey, &error);
        if (!error.isEmpty()) {
            history.problems << QStringLiteral("cannot read %1: %2").arg(database, error);
            continue;
        }
        if (!list) {
            continue;
        }
        history.found = true;
        for (const QString& path : vscodeRecentPaths(*list)) {
            const QFileInfo info(path);
            if (info.isDir() || (info.isFile() && path.endsWith(kWorkspaceSuffix))) {
                appendNew(history.projects, seen, path);
            }
        }
    }
    return history;
}

EditorHistory readJetbrainsHistory()
{
    EditorHistory history;
    QList<RecentProject> recent;
    const QDir products(configHome() + QStringLiteral("/JetBrains"));
    for (const QString& product :
         products.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path =
            products.filePath(product + QStringLiteral("/options/recentProjects.xml"));
        QFile file(path);
        if (!file.exists()) {
            continue;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            history.problems << QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
            continue;
        }
        history.found = true;
        QString error;
        recent += jetbrainsRecentProjects(file.readAll(), QDir::homePath(), &error);
        if (!error.isEmpty()) {
            history.problems << QStringLiteral("cannot read all of %1: %2").arg(path, error);
        }
    }
    // Across the IDEs, the most recently opened first.
    std::stable_sort(
        recent.begin(), recent.end(),
        [](const RecentProject& a, const RecentProject& b) { return a.openedAt > b.openedAt; });
    QSet<QString> seen;
    for (const RecentProject& project : recent) {
        if (QFileInfo(project.path).isDir()) {
            appendNew(history.projects, seen, project.path);
        }
    }
    return history;
}

} // namespace

QString editorName(Editor editor)
{
    switch (editor) {
    case Editor::vscode:
        return QStringLiteral("VS Code");
    case Editor::jetbrains:
        break;
    }
    return QStringLiteral("JetBrains");
}

EditorHistory readEditorHistory(Editor editor)
{
    return editor == Editor::vscode ? readVscodeHistory() : readJetbrainsHistory();
}

QStringList vscodeRecentPaths(const QByteArray& json)
{
    const QJsonObject list = QJsonDocument::fromJson(json).object();
    QStringList paths;
    QSet<QString> seen;
    for (const QJsonValue entry : list.value(QLatin1String("entries")).toArray()) {
        appendNew(paths, seen, vscodeEntryPath(entry.toObject()));
    }
    for (const QJsonValue entry : list.value(QLatin1String("workspaces3")).toArray()) {
        appendNew(paths, seen, olderVscodeEntryPath(entry));
    }
    return paths;
}

std::optional<QByteArray> readVscodeState(const QString& database, const QString& key,
                                          QString* error)
{
    static std::atomic<int> connections{0};
    const QString connection = QStringLiteral("zarvo-vscode-state-%1").arg(connections++);
    std::optional<QByteArray> value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        if (!db.isValid()) {
            *error = QStringLiteral("the SQLite driver of Qt is not installed");
        } else {
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
            db.setDatabaseName(immutableSqliteUri(database));
            if (!db.open()) {
                *error = db.lastError().text();
            } else {
                QSqlQuery query(db);
                query.prepare(QStringLiteral("SELECT value FROM ItemTable WHERE key = ?"));
                query.addBindValue(key);
                if (!query.exec()) {
                    *error = query.lastError().text();
                } else if (query.next()) {
                    value = query.value(0).toByteArray();
                }
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return value;
}

QStringList jetbrainsRecentPaths(const QByteArray& xml, const QString& home, QString* error)
{
    QList<RecentProject> recent = jetbrainsRecentProjects(xml, home, error);
    std::stable_sort(
        recent.begin(), recent.end(),
        [](const RecentProject& a, const RecentProject& b) { return a.openedAt > b.openedAt; });
    QStringList paths;
    QSet<QString> seen;
    for (const RecentProject& project : recent) {
        appendNew(paths, seen, project.path);
    }
    return paths;
}

} // namespace zarvo
