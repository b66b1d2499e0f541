#pragma once

#include "platform/atomicfile.h"

#include <QByteArray>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class QFileSystemWatcher;

namespace zarvo {

// The user's defaults: a property-list dictionary in one file, by default
// $XDG_CONFIG_HOME/zarvo/defaults.plist (~/.config/zarvo/defaults.plist).
// Every read goes to the file, so a change made by another process is seen
// at once. Every change is written at once (atomically, readable by the owner
// only) and then announced: valueChanged() for the key, then didChange().
// While an application object exists the store also watches the file and
// announces the changes other processes (or a text editor) make to it.
// Main thread only.
class DefaultsStore final : public QObject {
    Q_OBJECT
public:
    explicit DefaultsStore(QString path, QObject* parent = nullptr);
    ~DefaultsStore() override;

    // $XDG_CONFIG_HOME/zarvo/defaults.plist, with ~/.config when the variable
    // is unset or not absolute.
    static QString standardPath();
    // The application's store, created on first use at standardPath().
    static DefaultsStore& standardUserDefaults();
    // Makes STORE the one standardUserDefaults() returns (tests); null goes
    // back to the application's own. The caller keeps STORE alive meanwhile.
    static void setStandardUserDefaults(DefaultsStore* store);

    const QString& path() const { return path_; }

    std::optional<QVariant> objectForKey(const QString& key) const;
    // The data stored under KEY; nothing when the key is missing or holds
    // something else than data.
    std::optional<QByteArray> dataForKey(const QString& key) const;
    void setObject(const QVariant& value, const QString& key);
    void removeObjectForKey(const QString& key);

    // Writes the values as the store knows them to the file.
    Status synchronize();

    // Calls CALLBACK at once, then after every change of the value under KEY
    // (also when a value is stored again unchanged), until CONTEXT is
    // destroyed or the returned connection is disconnected.
    QMetaObject::Connection observeKey(const QString& key, const QObject* context,
                                       std::function<void()> callback);

Q_SIGNALS:
    // After a change of the value under KEY.
    void valueChanged(const QString& key);
    // After any change of the store, following the valueChanged() signals.
    void didChange();

private:
    // The file's dictionary: empty when the file is missing, nothing when it
    // exists but cannot be read as a dictionary.
    std::optional<QVariantMap> load() const;
    void reload();
    void commit(const QVariantMap& values, const std::optional<QString>& alwaysAnnounced,
                bool write);
    void watch();

    QString path_;
    QVariantMap values_;
    std::unique_ptr<QFileSystemWatcher> watcher_;
};

} // namespace zarvo
