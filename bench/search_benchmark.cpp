// In-process figures: what one keystroke, one opening and one launch cost for
// stores of growing size. Runs on Qt's offscreen platform with the real panel.
#include "app/applicationdelegate.h"
#include "bench/benchstore.h"
#include "panel/panel.h"
#include "panel/panelcontroller.h"
#include "panel/projectsearch.h"
#include "panel/searchfieldview.h"
#include "panel/xtableview.h"
#include "platform/atomicfile.h"
#include "platform/plistio.h"
#include "platform/terminalscriptrunner.h"
#include "projects/launcher.h"
#include "projects/projectstore.h"
#include "projects/projectusage.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <map>

namespace zarvo {
namespace {

constexpr int kSizes[] = {100, 1000, 10000, 100000};

// One store per size, written once for the whole run. A file changed less
// than a second ago is parsed on every read; the stores are left to settle
// so that the benchmarks see the steady state the user types in.
class Stores final {
public:
    static Stores& instance()
    {
        static Stores* stores = new Stores; // never destroyed: outlives the application
        return *stores;
    }

    // Makes the store of COUNT projects the one the application reads, and
    // reads it once: the reader keeps the parses of a few files only, and
    // the first read after a change is measured by BM_FreshParse.
    void use(int count)
    {
        qputenv("ZARVO_RESOURCES", QFile::encodeName(directory(count)));
        ProjectStore::projectNames();
        ProjectStore::loadSettings();
    }
    QString directory(int count) const { return root_.filePath(QString::number(count)); }
    QString projectsFile(int count) const
    {
        return QDir(directory(count)).filePath(QStringLiteral("projects.plist"));
    }

private:
    Stores()
    {
        for (const int count : kSizes) {
            QDir().mkpath(directory(count));
            if (!bench::writeStore(directory(count), count)) {
                qFatal("cannot write the benchmark stores");
            }
        }
        QThread::msleep(1100);
    }

    QTemporaryDir root_;
};

// The application as the tray starts it, with the panel made and opened.
class Application final {
public:
    static Application& instance()
    {
        static Application* app = new Application;
        return *app;
    }

    PanelController& panel() { return *delegate_.panelController(); }

    void open()
    {
        if (!panel().hasActivePanel()) {
            delegate_.togglePanel();
        }
    }
    void close()
    {
        if (panel().hasActivePanel()) {
            delegate_.togglePanel();
        }
        QCoreApplication::processEvents();
    }

    // Types TEXT into the search field as the user's last keystroke did:
    // the text changes, runSearch runs.
    void keystroke(const QString& text)
    {
        panel().searchField()->setText(text);
        panel().runSearch();
    }

private:
    Application() { delegate_.applicationDidFinishLaunching(); }

    ApplicationDelegate delegate_;
};

// Alternates between two texts so that every keystroke changes the list.
QString textFor(std::int64_t iteration)
{
    return iteration % 2 == 0 ? bench::searchText() : bench::searchText().left(2);
}

// runSearch as the panel runs it: the fresh read of the store, the filter,
// the panel's new frame and the table's reload.
void BM_Keystroke(benchmark::State& state)
{
    const int count = int(state.range(0));
    Stores::instance().use(count);
    Application& app = Application::instance();
    app.open();
    std::int64_t i = 0;
    for (auto _ : state) {
        app.keystroke(textFor(i++));
    }
    state.counters["matches"] = double(app.panel().searchResults()->numberOfRows());
    app.close();
    state.SetComplexityN(count);
}

// Usage records like a developer's after months of launches: every project
// of the first USED used a few times, the newest 32 uses kept for the busiest,
// spread over the last 60 days. Written once per size into a state folder of
// the run, and left to settle so the keystrokes see the kept parse.
class UsageRecords final {
public:
    static UsageRecords& instance()
    {
        static UsageRecords* records = new UsageRecords;
        return *records;
    }

    // Makes the records of COUNT's store the ones the application reads.
    void use(int count)
    {
        const QString folder = state_.filePath(QString::number(count));
        qputenv("XDG_STATE_HOME", QFile::encodeName(folder));
        if (!written_.contains(count)) {
            written_.insert(count, true);
            const QStringList names = ProjectStore::projectNames();
            const qint64 now = QDateTime::currentSecsSinceEpoch();
            QVariantMap records;
            const qsizetype used = std::min<qsizetype>(names.size(), kUsedProjects);
            for (qsizetype i = 0; i < used; ++i) {
                QVariantList uses;
                const qsizetype n = 1 + (i * 7) % ProjectUsage::kMaxUsesKept;
                for (qsizetype k = 0; k < n; ++k) {
                    uses.append(now - ((i * 7919 + k * 104729) % (60 * 86400)));
                }
                records.insert(names[(i * 37) % names.size()],
                               QVariantMap{{QStringLiteral("uses"), uses}});
            }
            QDir().mkpath(folder + QStringLiteral("/zarvo"));
            if (!writeFileAtomically(ProjectUsage::usagePath(), plist::toXml(records)).ok()) {
                qFatal("cannot write the usage records");
            }
            QThread::msleep(1100);
        }
        ProjectUsage::scores(QDateTime::currentSecsSinceEpoch());
    }

private:
    // Projects with a record: far more than anyone launches in two months.
    static constexpr qsizetype kUsedProjects = 500;
    QTemporaryDir state_;
    QHash<int, bool> written_;
};

// Sets "Order" for the benchmark's store while it lives.
class OrderSetting final {
public:
    explicit OrderSetting(const QString& order)
    {
        ProjectStore::saveSetting(setting_key::order, order);
    }
    ~OrderSetting() { ProjectStore::saveSetting(setting_key::order, QStringLiteral("store")); }
};

// BM_Keystroke with "Most used first": the filter's matches ordered by
// their frecency scores from the usage file.
void BM_KeystrokeByUse(benchmark::State& state)
{
    const int count = int(state.range(0));
    Stores::instance().use(count);
    const OrderSetting order(QStringLiteral("use"));
    UsageRecords::instance().use(count);
    // The settings file just written is parsed afresh until it settles.
    QThread::msleep(1100);
    Application& app = Application::instance();
    app.open();
    std::int64_t i = 0;
    for (auto _ : state) {
        app.keystroke(textFor(i++));
    }
    state.counters["matches"] = double(app.panel().searchResults()->numberOfRows());
    app.close();
    state.SetComplexityN(count);
}

// The empty text with "Most used first": the five most used projects.
void BM_EmptyTextByUse(benchmark::State& state)
{
    const int count = int(state.range(0));
    Stores::instance().use(count);
    const OrderSetting order(QStringLiteral("use"));
    UsageRecords::instance().use(count);
    QThread::msleep(1100);
    Application& app = Application::instance();
    app.open();
    for (auto _ : state) {
        app.keystroke(QString());
    }
    state.counters["matches"] = double(app.panel().searchResults()->numberOfRows());
    app.close();
    state.SetComplexityN(count);
}

// The same, and the panel painted with the new list (into Qt's offscreen
// backing store): what the next frame on screen costs on top.
void BM_KeystrokePainted(benchmark::State& state)
{
    const int count = int(state.range(0));
    Stores::instance().use(count);
    Application& app = Application::instance();
    app.open();
    std::int64_t i = 0;
    for (auto _ : state) {
        app.keystroke(textFor(i++));
        app.panel().window()->repaint();
    }
    app.close();
    state.SetComplexityN(count);
}

// The opening's own work before the first frame: placement, the animation's
// start, the search state, the pop-up of every project and the settings.
void BM_OpenPanel(benchmark::State& state)
{
    const int count = int(state.range(0));
    Stores::instance().use(count);
    Application& app = Application::instance();
    app.close();
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        app.open();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (!app.panel().hasActivePanel()) {
            state.SkipWithError("the panel did not open");
            break;
        }
        app.close();
    }
    state.SetComplexityN(count);
}

// The first read after the store changed: the parse nothing can be kept for.
void BM_FreshParse(benchmark::State& state)
{
    const int count = int(state.range(0));
    const QString path = Stores::instance().projectsFile(count);
    // A copy with a fresh change time: not settled, so never kept.
    const QString fresh = path + QStringLiteral("-fresh");
    QFile::copy(path, fresh);
    for (auto _ : state) {
        benchmark::DoNotOptimize(plist::readDictionaryFile(fresh));
    }
    QFile::remove(fresh);
    state.SetComplexityN(count);
}

// The names alone from a file read afresh: what `zarvo search` and the first
// keystroke after a change read.
void BM_FreshNames(benchmark::State& state)
{
    const int count = int(state.range(0));
    const QString path = Stores::instance().projectsFile(count);
    const QString fresh = path + QStringLiteral("-fresh");
    QFile::copy(path, fresh);
    for (auto _ : state) {
        benchmark::DoNotOptimize(plist::readDictionaryKeys(fresh));
    }
    QFile::remove(fresh);
    state.SetComplexityN(count);
}

// The store read alone (every keystroke does it), and the filter alone.
void BM_ReadNames(benchmark::State& state)
{
    const int count = int(state.range(0));
    Stores::instance().use(count);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ProjectStore::projectNames());
    }
    state.SetComplexityN(count);
}

void BM_FilterOnly(benchmark::State& state)
{
    const int count = int(state.range(0));
    Stores::instance().use(count);
    const QStringList names = ProjectStore::projectNames();
    const QString text = bench::searchText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(filterProjectNames(names, text));
    }
    state.SetComplexityN(count);
}

// From Return until the terminal has been started: the launch reads the
// project's entry and the settings, builds and runs the script, and the
// runner returns once the terminal program has been executed. The terminal
// here is /bin/true, so its own start is as short as a program's can be.
void BM_Launch(benchmark::State& state)
{
    const int count = int(state.range(0));
    Stores::instance().use(count);
    qputenv("ZARVO_TERMINAL", "/bin/true");
    QTemporaryDir launchFiles;
    qputenv("TMPDIR", QFile::encodeName(launchFiles.path()));
    const QString name = ProjectStore::projectNames().value(count / 2);
    TerminalScriptRunner runner;
    for (auto _ : state) {
        benchmark::DoNotOptimize(launchProject(name, LaunchSender::Panel, {}, &runner));
    }
    qunsetenv("TMPDIR");
    qunsetenv("ZARVO_TERMINAL");
    state.SetComplexityN(count);
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (const int count : kSizes) {
        b->Arg(count);
    }
    b->Unit(benchmark::kMillisecond)->Complexity();
}

BENCHMARK(BM_Keystroke)->Apply(sizes);
BENCHMARK(BM_KeystrokeByUse)->Apply(sizes);
BENCHMARK(BM_EmptyTextByUse)->Apply(sizes);
BENCHMARK(BM_KeystrokePainted)->Apply(sizes);
BENCHMARK(BM_OpenPanel)->Apply(sizes)->UseManualTime();
BENCHMARK(BM_ReadNames)->Apply(sizes);
BENCHMARK(BM_FilterOnly)->Apply(sizes);
BENCHMARK(BM_FreshParse)->Apply(sizes);
BENCHMARK(BM_FreshNames)->Apply(sizes);
BENCHMARK(BM_Launch)->Apply(sizes);

} // namespace
} // namespace zarvo

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
