#include "platform/memorynotifier.h"
#include "platform/recordingscriptrunner.h"
#include "platform/resourcedir.h"
#include "platform/services.h"
#include "projects/launcher.h"
#include "projects/launchscript.h"
#include "projects/projectstore.h"
#include "support/tempresources.h"

#include <QTemporaryFile>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <unistd.h>

namespace zarvo {
namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

// Collects what is written to stderr (where logLine writes) while it lives.
class StderrCapture final {
public:
    StderrCapture()
    {
        EXPECT_TRUE(file_.open());
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(file_.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }
    QString text()
    {
        restore();
        file_.seek(0);
        return QString::fromUtf8(file_.readAll());
    }

private:
    void restore()
    {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
    }
    QTemporaryFile file_;
    int saved_ = -1;
};

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        prepareResourceDirectory();
        ASSERT_TRUE(QDir().mkpath(web));
        ProjectStore::saveProject(s("web"), {{entry_key::filePath, web},
                                             {entry_key::doPull, s("1")},
                                             {entry_key::commands, s("make")}});
        ProjectStore::saveSetting(setting_key::editorCommand, s("edit"));
        ProjectStore::saveSetting(setting_key::terminal, s(""));
        runner.setOnRun([this](const QString&) { events << s("run"); });
    }

    test::TempResources resources;
    const QString web = resources.file(s("web"));
    RecordingScriptRunner runner;
    QStringList events;
    std::function<void()> closePanel = [this] { events << s("close"); };
};

TEST_F(LaunchTest, NoNameDoesNothingAtAll)
{
    StderrCapture log;
    for (const QString& name : {QString(), s("")}) {
        EXPECT_FALSE(launchProject(name, LaunchSender::Button, closePanel, &runner));
    }
    EXPECT_TRUE(events.isEmpty());
    EXPECT_TRUE(log.text().isEmpty());
}

TEST_F(LaunchTest, PanelSenderRunsTheScriptAndLeavesClosingToTheCaller)
{
    StderrCapture log;
    EXPECT_TRUE(launchProject(s("web"), LaunchSender::Panel, closePanel, &runner));
    EXPECT_EQ(events, QStringList{s("run")});
    ASSERT_EQ(runner.scripts().size(), 1);
    EXPECT_EQ(runner.scripts()[0],
              buildLaunchScript(*ProjectStore::projectEntry(s("web")),
                                *ProjectStore::loadSettings(), pathIsDirectory(web)));
    EXPECT_TRUE(runner.scripts()[0].contains(s("do script \"git pull\" in window 1")));
    EXPECT_TRUE(log.text().contains(s("Launching project: web")));
}

TEST_F(LaunchTest, ButtonSenderClosesThePanelBeforeTheRun)
{
    EXPECT_TRUE(launchProject(s("web"), LaunchSender::Button, closePanel, &runner));
    EXPECT_EQ(events, QStringList({s("close"), s("run")}));
}

TEST_F(LaunchTest, EveryLaunchReadsTheFilesAfresh)
{
    launchProject(s("web"), LaunchSender::Panel, {}, &runner);
    ProjectStore::saveSetting(setting_key::terminal, s("kitty"));
    launchProject(s("web"), LaunchSender::Panel, {}, &runner);
    ASSERT_EQ(runner.scripts().size(), 2);
    EXPECT_FALSE(runner.scripts()[0].contains(s("open -a")));
    EXPECT_TRUE(runner.scripts()[1].contains(s("do script \"open -a 'kitty' ./\" in window 1")));
}

TEST_F(LaunchTest, AProjectThatIsGoneRunsNothingAndSaysWhy)
{
    MemoryNotifier notifier;
    Notifier* const previous = services().notifier;
    services().notifier = &notifier;
    ProjectStore::saveProject(s("nopath"), {{entry_key::commands, s("rm -rf build")}});
    StderrCapture log;
    EXPECT_FALSE(launchProject(s("ghost"), LaunchSender::Button, closePanel, &runner));
    EXPECT_FALSE(launchProject(s("nopath"), LaunchSender::Button, closePanel, &runner));
    services().notifier = previous;
    EXPECT_TRUE(events.isEmpty());
    const QString text = log.text();
    EXPECT_TRUE(text.contains(s("Launching project: ghost"))) << text.toStdString();
    EXPECT_TRUE(text.contains(s("no project named \"ghost\""))) << text.toStdString();
    EXPECT_TRUE(text.contains(s("\"nopath\" has no \"filePath\""))) << text.toStdString();
    // Each one also on the desktop, naming the project and the problem.
    ASSERT_EQ(notifier.notifications().size(), 2);
    const char* const problems[] = {"no project named", "has no"};
    for (int i = 0; i < 2; ++i) {
        const auto& shown = notifier.notifications()[i];
        EXPECT_TRUE(shown.summary.contains(QStringList{s("ghost"), s("nopath")}[i]))
            << shown.summary.toStdString();
        EXPECT_TRUE(shown.body.contains(s(problems[i]))) << shown.body.toStdString();
    }
}

TEST_F(LaunchTest, AStoreOthersCanChangeIsNeverLaunchedFrom)
{
    MemoryNotifier notifier;
    Notifier* const previous = services().notifier;
    services().notifier = &notifier;
    for (const QString& file : {s("projects.plist"), s("settings.plist")}) {
        const QByteArray path = QFile::encodeName(resources.file(file));
        ASSERT_EQ(::chmod(path.constData(), 0666), 0);
        StderrCapture log;
        EXPECT_FALSE(launchProject(s("web"), LaunchSender::Button, closePanel, &runner));
        EXPECT_TRUE(events.isEmpty()) << file.toStdString();
        EXPECT_TRUE(log.text().contains(s("Launch refused"))) << file.toStdString();
        ASSERT_EQ(notifier.notifications().size(), 1);
        EXPECT_TRUE(notifier.notifications()[0].body.contains(file)) << file.toStdString();
        notifier.clear();
        ASSERT_EQ(::chmod(path.constData(), 0600), 0);
    }
    services().notifier = previous;
    EXPECT_TRUE(launchProject(s("web"), LaunchSender::Panel, {}, &runner));
}

TEST_F(LaunchTest, WithoutARunnerTheInstalledOneRuns)
{
    ScriptRunner* const previous = services().scriptRunner;
    services().scriptRunner = &runner;
    launchProject(s("web"), LaunchSender::Panel);
    services().scriptRunner = previous;
    EXPECT_EQ(runner.scripts().size(), 1);
}

// A run that fails (no terminal could start, the folder is gone) is a failed
// launch: logged, told to the user, and not reported as done.
TEST_F(LaunchTest, ARunThatFailsIsLoggedAndToldToTheUser)
{
    MemoryNotifier notifier;
    Notifier* const previous = services().notifier;
    services().notifier = &notifier;
    runner.setResult(Status::failure(s("no terminal could start: xterm ended at once")));
    StderrCapture log;
    EXPECT_FALSE(launchProject(s("web"), LaunchSender::Panel, {}, &runner));
    services().notifier = previous;
    EXPECT_EQ(runner.titles(), QStringList{s("web")}) << "the window is titled with the project";
    EXPECT_TRUE(
        log.text().contains(s("Launch not run: no terminal could start: xterm ended at once")));
    ASSERT_EQ(notifier.notifications().size(), 1);
    EXPECT_EQ(notifier.notifications()[0].summary, s("Launch failed"));
    EXPECT_EQ(notifier.notifications()[0].body, s("no terminal could start: xterm ended at once"));
}

} // namespace
} // namespace zarvo
