#include "app/singleinstance.h"
#include "support/runzarvo.h"
#include "support/tempresources.h"
#include "widgetapplication.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <future>

namespace zarvo {
namespace {

using test::runZarvo;

// A private runtime directory of its own for each test: XDG_RUNTIME_DIR
// points at it while the object lives.
class TempRuntimeDir final {
public:
    TempRuntimeDir() : previous_(qgetenv("XDG_RUNTIME_DIR"))
    {
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit());
    }
    ~TempRuntimeDir()
    {
        if (previous_.isEmpty()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            qputenv("XDG_RUNTIME_DIR", previous_);
        }
    }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
};

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureWidgetApplication(); }

    TempRuntimeDir runtime;
    test::TempResources resources;
};

TEST_F(SingleInstanceTest, TheFilesLiveInThePrivateRuntimeDirectory)
{
    EXPECT_EQ(QFileInfo(SingleInstance::socketPath()).absolutePath(), runtime.path());
    EXPECT_EQ(QFileInfo(SingleInstance::lockPath()).absolutePath(), runtime.path());
    EXPECT_NE(SingleInstance::socketPath(), SingleInstance::lockPath());
}

TEST_F(SingleInstanceTest, OnlyOneProcessHoldsTheSession)
{
    {
        SingleInstance first;
        ASSERT_EQ(first.claim(), SingleInstance::Claim::claimed);
        // QLockFile knows its own process, so a second claim from the same
        // process stands for another process here.
        SingleInstance second;
        EXPECT_EQ(second.claim(), SingleInstance::Claim::runningElsewhere);
    }
    SingleInstance later;
    EXPECT_EQ(later.claim(), SingleInstance::Claim::claimed) << "released with its holder";
}

TEST_F(SingleInstanceTest, ARequestReachesTheListeningInstance)
{
    SingleInstance instance;
    ASSERT_EQ(instance.claim(), SingleInstance::Claim::claimed);
    ASSERT_TRUE(instance.listen());
    EXPECT_FALSE(QFileInfo(SingleInstance::socketPath()).permissions() &
                 (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup));

    QSignalSpy toggles(&instance, &SingleInstance::toggleRequested);
    QSignalSpy activations(&instance, &SingleInstance::activateRequested);
    auto toggle = std::async(std::launch::async,
                             [] { return sendToRunningInstance(InstanceRequest::toggle); });
    ASSERT_TRUE(toggles.wait(10000));
    while (toggle.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(toggle.get(), Delivery::delivered);
    EXPECT_EQ(activations.count(), 0);

    auto activate = std::async(std::launch::async,
                               [] { return sendToRunningInstance(InstanceRequest::activate); });
    ASSERT_TRUE(activations.wait(10000));
    while (activate.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(activate.get(), Delivery::delivered);
    EXPECT_EQ(toggles.count(), 1);
}

TEST_F(SingleInstanceTest, NothingRunningMeansNoInstance)
{
    EXPECT_EQ(sendToRunningInstance(InstanceRequest::toggle), Delivery::noInstance);
}

TEST_F(SingleInstanceTest, ALockLeftByADeadProcessIsTakenOver)
{
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    ASSERT_TRUE(gone.waitForFinished());
    const qint64 deadPid = gone.processId() ? gone.processId() : 999999;
    QFile lock(SingleInstance::lockPath());
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(deadPid) + "\nzarvo\n" + QSysInfo::machineHostName().toUtf8() +
               "\n");
    lock.close();
    QFile socket(SingleInstance::socketPath());
    ASSERT_TRUE(socket.open(QIODevice::WriteOnly)) << "a stale socket file";
    socket.close();

    EXPECT_EQ(sendToRunningInstance(InstanceRequest::toggle), Delivery::noInstance);
    SingleInstance instance;
    EXPECT_EQ(instance.claim(), SingleInstance::Claim::claimed);
    EXPECT_TRUE(instance.listen());
}

// The built application, started as a user would.
class RunningApplicationTest : public SingleInstanceTest {
protected:
    void TearDown() override
    {
        if (primary.state() != QProcess::NotRunning) {
            primary.kill();
            primary.waitForFinished();
        }
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("ZARVO_RESOURCES"), resources.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    // Starts the application and waits until it answers requests.
    void startPrimary()
    {
        primary.setProcessEnvironment(environment());
        primary.start(QStringLiteral(ZARVO_EXE_PATH), {});
        ASSERT_TRUE(primary.waitForStarted());
        QDeadlineTimer deadline(20000);
        while (!QFileInfo::exists(SingleInstance::socketPath())) {
            ASSERT_FALSE(deadline.hasExpired()) << "the application never listened";
            ASSERT_EQ(primary.state(), QProcess::Running);
            QThread::msleep(20);
        }
    }

    QTemporaryDir config;
    QProcess primary;
};

TEST_F(RunningApplicationTest, ToggleReachesTheRunningApplication)
{
    startPrimary();
    const auto toggled = runZarvo({QStringLiteral("toggle")}, environment());
    EXPECT_EQ(toggled.exitCode, 0) << toggled.err.toStdString();
    EXPECT_TRUE(toggled.err.isEmpty()) << toggled.err.toStdString();
    EXPECT_EQ(primary.state(), QProcess::Running);
}

TEST_F(RunningApplicationTest, ASecondStartHandsOverAndExits)
{
    startPrimary();
    const auto second = runZarvo({}, environment());
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(second.err.contains(QStringLiteral("already running"))) << second.err.toStdString();
    EXPECT_EQ(primary.state(), QProcess::Running);
}

TEST_F(RunningApplicationTest, WithoutATrayItSaysSoOnceAndKeepsRunning)
{
    startPrimary();
    // A toggle answered means start-up has finished.
    ASSERT_EQ(runZarvo({QStringLiteral("toggle")}, environment()).exitCode, 0);
    primary.terminate();
    ASSERT_TRUE(primary.waitForFinished(20000));
    EXPECT_EQ(primary.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(primary.exitCode(), 0);
    const QString err = QString::fromUtf8(primary.readAllStandardError());
    EXPECT_EQ(err.count(QStringLiteral("No system tray is available")), 1) << err.toStdString();
}

TEST_F(RunningApplicationTest, AfterTheApplicationQuitsToggleFindsNone)
{
    startPrimary();
    primary.terminate();
    ASSERT_TRUE(primary.waitForFinished(20000));
    EXPECT_FALSE(QFileInfo::exists(SingleInstance::socketPath()));
    EXPECT_FALSE(QFileInfo::exists(SingleInstance::lockPath()));

    const auto toggled = runZarvo({QStringLiteral("toggle")}, environment());
    EXPECT_EQ(toggled.exitCode, 1);
    EXPECT_TRUE(toggled.err.contains(QStringLiteral("not running"))) << toggled.err.toStdString();
}

TEST_F(RunningApplicationTest, ToggleTakesNoArguments)
{
    const auto result = runZarvo({QStringLiteral("toggle"), QStringLiteral("now")}, environment());
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains(QStringLiteral("usage"))) << result.err.toStdString();
}

} // namespace
} // namespace zarvo
