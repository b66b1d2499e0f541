#include "bench/benchstore.h"

#include "platform/atomicfile.h"
#include "platform/plistio.h"
#include "projects/projectstore.h"

#include <QDir>

#include <array>

namespace zarvo::bench {
namespace {

// 48 words; two of them with a letter outside ASCII.
constexpr std::array<const char16_t*, 48> kWords = {
    u"api",     u"web",     u"service", u"client", u"tools",   u"infra",  u"data",   u"mobile",
    u"backend", u"front",   u"search",  u"auth",   u"billing", u"docs",   u"legacy", u"core",
    u"ui",      u"bench",   u"gateway", u"worker", u"sync",    u"cli",    u"admin",  u"portal",
    u"notify",  u"metrics", u"deploy",  u"config", u"cache",   u"queue",  u"parser", u"render",
    u"store",   u"ledger",  u"android", u"ios",    u"desktop", u"kernel", u"plugin", u"sdk",
    u"café",    u"über",    u"zurich",  u"resume", u"street",  u"naive",  u"lab",    u"demo",
};
constexpr int kWordCount = int(kWords.size());
constexpr int kTwoWordNames = kWordCount * kWordCount;
constexpr int kNames = kTwoWordNames + kWordCount * kWordCount * kWordCount;
// Coprime with kNames, so that i -> i * kStride mod kNames visits every name
// once, spread over the alphabet rather than in order.
constexpr qint64 kStride = 7919;

QString word(int index)
{
    return QString::fromUtf16(kWords[size_t(index % kWordCount)]);
}

QString nameAt(int i)
{
    const int n = int((qint64(i) * kStride + 13) % kNames);
    if (n < kTwoWordNames) {
        return word(n / kWordCount) + QLatin1Char('-') + word(n);
    }
    const int m = n - kTwoWordNames;
    return word(m / (kWordCount * kWordCount)) + QLatin1Char('-') + word(m / kWordCount) +
           QLatin1Char('-') + word(m);
}

ProjectEntry entryAt(int i, const QString& name)
{
    static const QString kCommands[] = {QString(), QStringLiteral("npm ci && npm run dev"),
                                        QStringLiteral("make -j8"),
                                        QStringLiteral("docker compose up -d; cargo watch -x run")};
    return {{entry_key::filePath, QStringLiteral("/home/dev/src/") + name},
            {entry_key::doPull, i % 3 == 0 ? QStringLiteral("1") : QStringLiteral("0")},
            {entry_key::openFinder, i % 7 == 0 ? QStringLiteral("1") : QStringLiteral("0")},
            {entry_key::customOpen, i % 5 == 0 ? QStringLiteral("code .") : QString()},
            {entry_key::commands, kCommands[i % 4]}};
}

} // namespace

QVariantMap makeStore(int count)
{
    QVariantMap store;
    for (int i = 0; i < count && i < kNames; ++i) {
        const QString name = nameAt(i);
        store.insert(name, entryAt(i, name));
    }
    return store;
}

bool writeStore(const QString& directory, int count)
{
    const QDir dir(directory);
    const LaunchSettings settings{{setting_key::editorCommand, QStringLiteral("code")},
                                  {setting_key::terminal, QString()}};
    return writeFileAtomically(dir.filePath(QStringLiteral("projects.plist")),
                               plist::toXml(makeStore(count)))
               .ok() &&
           writeFileAtomically(dir.filePath(QStringLiteral("settings.plist")),
                               plist::toXml(settings))
               .ok();
}

QString searchText()
{
    return QStringLiteral("ser");
}

} // namespace zarvo::bench
