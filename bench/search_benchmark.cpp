// Keystroke to list: what one search costs for stores of growing size.
#include "panel/projectsearch.h"
#include "platform/plistio.h"
#include "projects/projectstore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

namespace {

const char* const kWords[] = {"api",     "web",    "service", "client", "tools",  "infra",
                              "data",    "mobile", "backend", "front",  "search", "auth",
                              "billing", "docs",   "legacy",  "core",   "ui",     "bench"};

QVariantMap makeStore(int count)
{
    QVariantMap store;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("%1-%2 %3")
                                 .arg(QString::fromLatin1(kWords[i % 18]),
                                      QString::fromLatin1(kWords[(i / 18) % 18]))
                                 .arg(i);
        store.insert(name,
                     QVariantMap{
                         {QStringLiteral("filePath"), QStringLiteral("/home/dev/code/") + name},
                         {QStringLiteral("doPull"), QStringLiteral("1")},
                         {QStringLiteral("openFinder"), QStringLiteral("0")},
                         {QStringLiteral("customOpen"), QString()},
                         {QStringLiteral("commands"), QStringLiteral("make -j8 && ./run")},
                     });
    }
    return store;
}

class StoreFixture {
public:
    explicit StoreFixture(int count)
    {
        qputenv("ZARVO_RESOURCES", QFile::encodeName(dir_.path()));
        QFile file(dir_.filePath(QStringLiteral("projects.plist")));
        file.open(QIODevice::WriteOnly);
        file.write(zarvo::plist::toXml(makeStore(count)));
        file.close();
        // A file changed a moment ago is parsed on every read; measure the
        // steady state the user types in.
        QThread::msleep(1100);
    }

private:
    QTemporaryDir dir_;
};

void BM_ReadNames(benchmark::State& state)
{
    StoreFixture store(int(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(zarvo::ProjectStore::projectNames());
    }
    state.SetComplexityN(state.range(0));
}

void BM_ReadAndFilter(benchmark::State& state)
{
    StoreFixture store(int(state.range(0)));
    for (auto _ : state) {
        const QStringList names = zarvo::ProjectStore::projectNames();
        benchmark::DoNotOptimize(zarvo::filterProjectNames(names, QStringLiteral("ser")));
    }
    state.SetComplexityN(state.range(0));
}

void BM_FilterOnly(benchmark::State& state)
{
    const QStringList names = makeStore(int(state.range(0))).keys();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zarvo::filterProjectNames(names, QStringLiteral("ser")));
    }
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(BM_ReadNames)
    ->RangeMultiplier(10)
    ->Range(100, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_ReadAndFilter)
    ->RangeMultiplier(10)
    ->Range(100, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_FilterOnly)
    ->RangeMultiplier(10)
    ->Range(100, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

BENCHMARK_MAIN();
