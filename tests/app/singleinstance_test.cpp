#include "app/singleinstance.h"
#include "support/runzarvo.h"
#include "support/tempresources.h"
#include "widgetapplication.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

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
        EXPECT_TRUE(instanceLockIsHeld(SingleInstance::lockPath()));
        EXPECT_FALSE(removeAbandonedInstanceLock(SingleInstance::lockPath()));
        EXPECT_TRUE(QFileInfo::exists(SingleInstance::lockPath())) << "a held lock stays";
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
    auto toggle = std::async(std::launch::async, [] {
        return sendToRunningInstance(InstanceRequest::toggle,
                                     "gnome-shell/zarvo/1234-0-host_TIME42");
    });
    ASSERT_TRUE(toggles.wait(10000));
    while (toggle.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(toggle.get(), Delivery::delivered);
    EXPECT_EQ(activations.count(), 0);
    EXPECT_EQ(toggles.at(0).at(0).toByteArray(), "gnome-shell/zarvo/1234-0-host_TIME42")
        << "the activation token travels with the request";

    // A token that is not one is dropped; the request still counts.
    auto activate = std::async(std::launch::async, [] {
        return sendToRunningInstance(InstanceRequest::activate, "two words");
    });
    ASSERT_TRUE(activations.wait(10000));
    while (activate.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(activate.get(), Delivery::delivered);
    EXPECT_EQ(toggles.count(), 1);
    EXPECT_EQ(activations.at(0).at(0).toByteArray(), QByteArray());
}

TEST_F(SingleInstanceTest, NothingRunningMeansNoInstance)
{
    EXPECT_EQ(sendToRunningInstance(InstanceRequest::toggle), Delivery::noInstance);
}

// Lock files that no living process holds, whatever they say.
struct AbandonedLock {
    const char* description;
    // The contents, given a process id ("PID") and this machine's name ("HOST").
    const char* contents;
    // Whether PID is a living program's (of another name than ours) or a dead one's.
    bool living;
};

void PrintTo(const AbandonedLock& row, std::ostream* os)
{
    *os << row.description;
}

class AbandonedLockTest : public SingleInstanceTest,
                          public ::testing::WithParamInterface<AbandonedLock> {};

TEST_P(AbandonedLockTest, IsTakenOver)
{
    QProcess process;
    process.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(process.waitForStarted());
    if (!GetParam().living) {
        process.kill();
        ASSERT_TRUE(process.waitForFinished());
    }
    QByteArray contents(GetParam().contents);
    contents.replace("PID", QByteArray::number(process.processId()));
    contents.replace("HOST", QSysInfo::machineHostName().toUtf8());
    QFile lock(SingleInstance::lockPath());
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(contents);
    lock.close();
    // Left there long ago, not being written now.
    const timespec longAgo[2] = {{std::time(nullptr) - 60, 0}, {std::time(nullptr) - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(lock.fileName()).constData(), longAgo, 0), 0);
    QFile socket(SingleInstance::socketPath());
    ASSERT_TRUE(socket.open(QIODevice::WriteOnly)) << "a stale socket file";
    socket.close();

    EXPECT_FALSE(instanceLockIsHeld(lock.fileName()));
    EXPECT_EQ(sendToRunningInstance(InstanceRequest::toggle), Delivery::noInstance);
    SingleInstance instance;
    EXPECT_EQ(instance.claim(), SingleInstance::Claim::claimed);
    EXPECT_TRUE(instance.listen());
    SingleInstance second;
    EXPECT_EQ(second.claim(), SingleInstance::Claim::runningElsewhere) << "the lock is held now";
    process.kill();
    process.waitForFinished();
}

INSTANTIATE_TEST_SUITE_P(
    Leftovers, AbandonedLockTest,
    ::testing::Values(AbandonedLock{"OfADeadProcess", "PID\nzarvo\nHOST\n", false},
                      AbandonedLock{"Empty", "", false},
                      AbandonedLock{"Junk", "\x7f\x01 not a lock file \xff", false},
                      AbandonedLock{"CutShort", "PID", false},
                      // After a restart the process id may be another program's.
                      AbandonedLock{"NamingALivingProcessThatDoesNotHoldIt", "PID\nsleep\nHOST\n",
                                    true}),
    [](const auto& info) { return std::string(info.param.description); });

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

    // Starts the application and waits until it answers requests; with at
    // most DESCRIPTORS open files when given.
    void startPrimary(rlim_t descriptors = 0)
    {
        if (descriptors > 0) {
            primary.setChildProcessModifier([descriptors] {
                const rlimit limit{descriptors, descriptors};
                ::setrlimit(RLIMIT_NOFILE, &limit);
            });
        }
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

// Connections that never complete a request, many more of them than the
// application may open descriptors.
struct Flood {
    const char* description;
    QByteArray sent; // by each connection, which then waits
};

void PrintTo(const Flood& row, std::ostream* os)
{
    *os << row.description;
}

class ConnectionFloodTest : public RunningApplicationTest,
                            public ::testing::WithParamInterface<Flood> {};

TEST_P(ConnectionFloodTest, TheApplicationKeepsListeningAndClosesThem)
{
    constexpr rlim_t kDescriptors = 96;
    constexpr int kConnections = 300;
    startPrimary(kDescriptors);
    const QByteArray path = QFile::encodeName(SingleInstance::socketPath());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(size_t(path.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    std::vector<int> clients;
    const auto closeClients = qScopeGuard([&] {
        for (const int fd : clients) {
            ::close(fd);
        }
    });
    for (int i = 0; i < kConnections; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        clients.push_back(fd);
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0)
            << "connection " << i << ": " << std::strerror(errno);
        const QByteArray& sent = GetParam().sent;
        if (!sent.isEmpty()) {
            ASSERT_EQ(::send(fd, sent.constData(), size_t(sent.size()), MSG_NOSIGNAL), sent.size());
        }
    }

    const auto toggled = runZarvo({QStringLiteral("toggle")}, environment());
    EXPECT_EQ(toggled.exitCode, 0) << toggled.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(SingleInstance::socketPath()));

    // Each of them is closed by the application before long.
    const QDeadlineTimer deadline(30000);
    int closed = 0;
    for (const int fd : clients) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, int(std::max<qint64>(0, deadline.remainingTime()))) <= 0) {
            break;
        }
        char byte = 0;
        if (::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0) {
            ++closed;
        }
    }
    EXPECT_EQ(closed, kConnections);
    EXPECT_EQ(runZarvo({QStringLiteral("toggle")}, environment()).exitCode, 0);
    EXPECT_EQ(primary.state(), QProcess::Running);
}

INSTANTIATE_TEST_SUITE_P(
    Floods, ConnectionFloodTest,
    ::testing::Values(Flood{"Silent", QByteArray()}, Flood{"AnUnfinishedLine", QByteArray("tog")},
                      Flood{"AnOverlongLine", QByteArray(kMaxInstanceLineLength * 3, 'x')}),
    [](const auto& info) { return std::string(info.param.description); });

TEST_F(RunningApplicationTest, ToggleTakesNoArguments)
{
    const auto result = runZarvo({QStringLiteral("toggle"), QStringLiteral("now")}, environment());
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains(QStringLiteral("usage"))) << result.err.toStdString();
}

} // namespace
} // namespace zarvo
