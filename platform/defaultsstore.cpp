#include "platform/defaultsstore.h"

#include "platform/plistio.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSet>

#include <sys/stat.h>

namespace zarvo {
namespace {

DefaultsStore* installedStandard = nullptr;

} // namespace

DefaultsStore::DefaultsStore(QString path, QObject* parent)
    : QObject(parent), path_(std::move(path))
{
    values_ = load().value_or(QVariantMap());
    watch();
}

DefaultsStore::~DefaultsStore()
{
    if (installedStandard == this) {
        installedStandard = nullptr;
    }
}

QString DefaultsStore::standardPath()
{
    QString base = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/zarvo/defaults.plist");
}

DefaultsStore& DefaultsStore::standardUserDefaults()
{
    if (installedStandard) {
        return *installedStandard;
    }
    static DefaultsStore* application = new DefaultsStore(standardPath());
    return *application;
}

void DefaultsStore::setStandardUserDefaults(DefaultsStore* store)
{
    installedStandard = store;
}

std::optional<QVariantMap> DefaultsStore::load() const
{
    plist::ReadReport report;
    auto values = plist::readDictionaryFile(path_, Writers::anyone, &report);
    if (!values && report.outcome == plist::ReadReport::Outcome::missing) {
        return QVariantMap();
    }
    return values;
}

std::optional<QVariant> DefaultsStore::objectForKey(const QString& key) const
{
    // A file that exists but cannot be read (caught half-written by an
    // editor, say) does not lose the values: the last ones known stand.
    const QVariantMap values = load().value_or(values_);
    const auto it = values.constFind(key);
    if (it == values.cend()) {
        return std::nullopt;
    }
    return *it;
}

std::optional<QByteArray> DefaultsStore::dataForKey(const QString& key) const
{
    const auto value = objectForKey(key);
    if (!value || value->metaType().id() != QMetaType::QByteArray) {
        return std::nullopt;
    }
    return value->toByteArray();
}

void DefaultsStore::setObject(const QVariant& value, const QString& key)
{
    reload();
    QVariantMap values = values_;
    values.insert(key, value);
    commit(values, key, true);
}

void DefaultsStore::removeObjectForKey(const QString& key)
{
    reload();
    QVariantMap values = values_;
    values.remove(key);
    commit(values, key, true);
}

Status DefaultsStore::synchronize()
{
    const QFileInfo file(path_);
    if (!QDir().mkpath(file.absolutePath())) {
        return Status::failure(QStringLiteral("cannot create %1").arg(file.absolutePath()));
    }
    // The directory holds nobody else's business: owner only, like the file.
    ::chmod(QFile::encodeName(file.absolutePath()).constData(), S_IRWXU);
    const Status status = writeFileAtomically(path_, plist::toXml(values_));
    watch();
    return status;
}

void DefaultsStore::reload()
{
    if (const auto fromFile = load()) {
        commit(*fromFile, std::nullopt, false);
    }
}

void DefaultsStore::commit(const QVariantMap& values, const std::optional<QString>& alwaysAnnounced,
                           bool write)
{
    QSet<QString> keys(values_.keyBegin(), values_.keyEnd());
    for (auto it = values.keyBegin(); it != values.keyEnd(); ++it) {
        keys.insert(*it);
    }
    QStringList changed;
    for (const QString& key : std::as_const(keys)) {
        if (key == alwaysAnnounced || values_.value(key) != values.value(key) ||
            values_.contains(key) != values.contains(key)) {
            changed << key;
        }
    }
    values_ = values;
    if (write) {
        // A failed write is not reported: the change still holds in memory.
        synchronize();
    }
    if (changed.isEmpty()) {
        return;
    }
    changed.sort();
    for (const QString& key : std::as_const(changed)) {
        Q_EMIT valueChanged(key);
    }
    Q_EMIT didChange();
}

void DefaultsStore::watch()
{
    if (!QCoreApplication::instance()) {
        return;
    }
    if (!watcher_) {
        watcher_ = std::make_unique<QFileSystemWatcher>();
        // The file is replaced by a rename at every write, so the directory is
        // watched for the replacement and the file for changes in place.
        const auto changed = [this] {
            reload();
            watch();
        };
        connect(watcher_.get(), &QFileSystemWatcher::directoryChanged, this, changed);
        connect(watcher_.get(), &QFileSystemWatcher::fileChanged, this, changed);
    }
    const QString directory = QFileInfo(path_).absolutePath();
    if (!watcher_->directories().contains(directory) && QFileInfo::exists(directory)) {
        watcher_->addPath(directory);
    }
    // A rename leaves the watch on the replaced file: watch the new one.
    if (watcher_->files().contains(path_)) {
        watcher_->removePath(path_);
    }
    // Only a regular file: what is put in its place (a FIFO, a link to a
    // device that others write to) is never read, and is not watched either.
    struct stat st {};
    if (::stat(QFile::encodeName(path_).constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        watcher_->addPath(path_);
    }
}

QMetaObject::Connection DefaultsStore::observeKey(const QString& key, const QObject* context,
                                                  std::function<void()> callback)
{
    // A store made before the application object could not watch yet.
    watch();
    auto connection = connect(this, &DefaultsStore::valueChanged, context ? context : this,
                              [key, callback](const QString& changed) {
                                  if (changed == key) {
                                      callback();
                                  }
                              });
    callback();
    return connection;
}

} // namespace zarvo
