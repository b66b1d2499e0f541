#include "app/scancommands.h"

#include "platform/diagnostics.h"
#include "projects/editorimport.h"
#include "projects/newprojects.h"
#include "projects/projectscan.h"
#include "projects/projectstore.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>

#include <cstdio>
#include <unistd.h>

namespace zarvo {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;

// A scan that takes longer than this shows its progress on a terminal.
constexpr qint64 kProgressAfterMs = 1000;
constexpr qint64 kProgressEveryMs = 100;

void err(const QString& line)
{
    const QByteArray bytes = QStringLiteral("zarvo: %1\n").arg(line).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

// One line on stderr, rewritten in place, while a long scan runs on a terminal.
class ProgressLine final {
public:
    ProgressLine() : enabled_(::isatty(STDERR_FILENO) == 1) { clock_.start(); }
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void update(const QString& dir, qint64 folders, qint64 projects)
    {
        const qint64 now = clock_.elapsed();
        if (!enabled_ || now < kProgressAfterMs || (shown_ && now - lastMs_ < kProgressEveryMs)) {
            return;
        }
        shown_ = true;
        lastMs_ = now;
        const QByteArray line =
            QStringLiteral("\r\033[Kzarvo: scanning %1: %2 folders, %3 projects found")
                .arg(dir)
                .arg(folders)
                .arg(projects)
                .toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    }

    // Takes the line away, for other lines to be written.
    void clear()
    {
        if (shown_) {
            std::fputs("\r\033[K", stderr);
            shown_ = false;
        }
    }

private:
    bool enabled_;
    bool shown_ = false;
    qint64 lastMs_ = 0;
    QElapsedTimer clock_;
};

// Adds the projects at PATHS under the names the plan gives them, in one
// write, and prints "NAME<TAB>PATH" for each; a dry run prints the same and
// writes nothing.
int addFound(const QStringList& paths, bool dryRun)
{
    const std::optional<QVariantMap> store = ProjectStore::loadProjects();
    if (!store) {
        err(QStringLiteral("cannot read the projects file in the resource folder"));
        return kExitFailure;
    }
    const NewProjectsPlan plan = planNewProjects(*store, paths);
    for (const SkippedProject& skipped : plan.skipped) {
        err(QStringLiteral("skipped %1: %2").arg(skipped.path, skipped.reason));
    }

    QSet<QString> added;
    if (!dryRun && !plan.additions.isEmpty()) {
        logLine(QStringLiteral("Creating %1 found projects").arg(plan.additions.size()));
        QStringList stored;
        const Status status = addNewProjects(plan.additions, &stored);
        if (!status.ok()) {
            err(QStringLiteral("could not save the projects: %1").arg(status.error));
            return kExitFailure;
        }
        added = QSet<QString>(stored.cbegin(), stored.cend());
    }

    // One write for all the lines: a scan may find hundreds.
    QByteArray lines;
    for (const NewProject& project : plan.additions) {
        if (dryRun || added.contains(project.name)) {
            lines += project.name.toUtf8() + '\t' + project.path.toUtf8() + '\n';
        } else {
            err(QStringLiteral("skipped %1: the name \"%2\" was taken meanwhile")
                    .arg(project.path, project.name));
        }
    }
    std::fwrite(lines.constData(), 1, size_t(lines.size()), stdout);
    if (plan.additions.isEmpty()) {
        err(plan.alreadyStored > 0 ? QStringLiteral("no new projects (%1 found already stored)")
                                         .arg(plan.alreadyStored)
                                   : QStringLiteral("no new projects"));
    }
    return kExitOk;
}

} // namespace

int runScanCommand(const QStringList& args, const UsageError& usageError)
{
    bool dryRun = false;
    int depth = kDefaultScanDepth;
    QStringList dirs;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--dry-run")) {
            dryRun = true;
        } else if (arg == QLatin1String("--depth")) {
            bool number = false;
            depth = i + 1 < args.size() ? args[++i].toInt(&number) : -1;
            if (!number || depth < 0 || depth > kMaxScanDepth) {
                return usageError(
                    QStringLiteral("--depth takes a number from 0 to %1").arg(kMaxScanDepth));
            }
        } else if (arg == QLatin1String("--")) {
            dirs += args.mid(i + 1);
            break;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option %1").arg(arg));
        } else {
            dirs << arg;
        }
    }
    if (dirs.isEmpty()) {
        return usageError(QStringLiteral("scan takes one or more folders"));
    }
    for (const QString& dir : dirs) {
        if (!QFileInfo(dir).isDir()) {
            return usageError(QStringLiteral("%1 is not a folder").arg(dir));
        }
    }

    QStringList found;
    {
        ProgressLine progress;
        for (const QString& dir : dirs) {
            ScanOptions options;
            options.depth = depth;
            options.progress = [&](qint64 folders, qint64 projects) {
                progress.update(dir, folders, found.size() + projects);
            };
            const ScanResult result = scanForProjects(dir, options);
            progress.clear();
            for (const QString& problem : result.problems) {
                err(problem);
            }
            found += result.projects;
        }
    }
    return addFound(found, dryRun);
}

int runImportCommand(const QStringList& args, const UsageError& usageError)
{
    bool dryRun = false;
    QStringList editors;
    for (const QString& arg : args) {
        if (arg == QLatin1String("--dry-run")) {
            dryRun = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option %1").arg(arg));
        } else {
            editors << arg;
        }
    }
    if (editors.size() != 1 ||
        (editors[0] != QLatin1String("vscode") && editors[0] != QLatin1String("jetbrains"))) {
        return usageError(QStringLiteral("import takes vscode or jetbrains"));
    }
    const Editor editor =
        editors[0] == QLatin1String("vscode") ? Editor::vscode : Editor::jetbrains;
    const EditorHistory history = readEditorHistory(editor);
    for (const QString& problem : history.problems) {
        err(problem);
    }
    if (!history.found) {
        err(QStringLiteral("no %1 history found").arg(editorName(editor)));
        return kExitOk;
    }
    return addFound(history.projects, dryRun);
}

} // namespace zarvo
