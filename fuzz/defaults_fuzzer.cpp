// Reads arbitrary bytes as the user-defaults file and asks it for the stored
// shortcut, as the application does at start-up.
#include "platform/defaultsstore.h"
#include "shortcut/shortcut.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.plist"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 0;
        }
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    zarvo::DefaultsStore store(path);
    const QString key = QStringLiteral("ZarvoShortcut");
    store.objectForKey(key);
    zarvo::Shortcut::shortcutWithData(store.dataForKey(key));
    return 0;
}
