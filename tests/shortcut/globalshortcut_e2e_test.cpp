// The global shortcut end to end: the zarvo application on an Xvfb of the
// test's own, pressed with xdotool. Skipped where Xvfb or xdotool is missing.

#include "platform/atomicfile.h"
#include "platform/hotkeyservice.h"
#include "platform/plistio.h"
#include "platform/x11/x11hotkeyservice.h"
#include "shortcut/shortcut.h"
#include "shortcuttesting.h"
#include "support/notificationserver.h"
#include "support/portalserver.h"
#include "support/privatesessionbus.h"
#include "support/wait.h"
#include "support/xvfbserver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <memory>

namespace zarvo {
namespace {

using test::kControlAltSuper;
constexpr int kTimeoutMs = 15000;

bool eventually(const std::function<bool()>& done)
{
    return test::waitUntil(done, kTimeoutMs);
}

class GlobalShortcutEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!server.running()) {
            GTEST_SKIP() << "Xvfb or xdotool is not installed, or Xvfb did not start";
        }
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        probe = x11::createHotKeyServiceOnDisplay(server.display());
        ASSERT_NE(probe, nullptr);
    }

    void TearDown() override { stop(); }

    // An X11 session on the test's Xvfb, with the test's own folders.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(server.display()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("ZARVO_RESOURCES"), resources.path());
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("XDG_SESSION_TYPE"));
        env.remove(QStringLiteral("ZARVO_HOTKEY_BACKEND"));
        return env;
    }

    // Starts the application and waits until it says it is ready: by then it
    // has made its grabs. Probing before that would race with them, since
    // the probe holds each grab it tries for a moment.
    void start(const QProcessEnvironment& env)
    {
        app = std::make_unique<QProcess>();
        app->setProcessEnvironment(env);
        app->setProcessChannelMode(QProcess::ForwardedOutputChannel);
        app->setReadChannel(QProcess::StandardError);
        log.clear();
        app->start(QStringLiteral(ZARVO_EXE_PATH), {});
        ASSERT_TRUE(app->waitForStarted());
        ASSERT_TRUE(eventually([&] {
            readLog();
            return log.contains("zarvo: Ready\n") || app->state() == QProcess::NotRunning;
        }));
        ASSERT_TRUE(log.contains("zarvo: Ready\n")) << "the application ended before it was ready";
    }
    void start() { start(environment()); }

    void stop()
    {
        if (!app) {
            return;
        }
        test::stopProcess(*app, kTimeoutMs);
        readLog();
        app.reset();
    }

    // Keeps what the application wrote to standard error and shows it.
    // Waits a little for more when there is none (the tests may run without
    // an event loop that would read it).
    void readLog()
    {
        if (app->bytesAvailable() == 0 && app->state() == QProcess::Running) {
            app->waitForReadyRead(20);
        }
        const QByteArray more = app->readAllStandardError();
        std::cerr << more.toStdString();
        log += more;
    }

    // Whether the running application holds the grab of the combination.
    // Only for a combination the application is not about to grab.
    bool grabbed(quint64 keyCode, quint64 modifiers)
    {
        return probe->isHeldByAnotherClient(keyCode, modifiers).value_or(false);
    }

    bool panelVisible() const
    {
        return !server
                    .output(QStringLiteral("xdotool"),
                            {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                             QStringLiteral("--class"), QStringLiteral("zarvo")})
                    .trimmed()
                    .isEmpty();
    }

    QString defaultsPath() const { return config.filePath(QStringLiteral("zarvo/defaults.plist")); }

    test::XvfbServer server;
    QTemporaryDir config;
    QTemporaryDir runtime;
    QTemporaryDir resources;
    std::unique_ptr<HotKeyService> probe;
    std::unique_ptr<QProcess> app;
    QByteArray log;
};

TEST_F(GlobalShortcutEndToEndTest, ControlAltSuperKTogglesThePanel)
{
    start();
    ASSERT_TRUE(eventually([&] { return grabbed(40, kControlAltSuper); }));
    EXPECT_FALSE(panelVisible());

    ASSERT_TRUE(server.pressKeys(QStringLiteral("ctrl+alt+super+k")));
    EXPECT_TRUE(eventually([&] { return panelVisible(); })) << "the first press opens the panel";
    ASSERT_TRUE(server.pressKeys(QStringLiteral("ctrl+alt+super+k")));
    EXPECT_TRUE(eventually([&] { return !panelVisible(); })) << "the second press closes it";

    // The default was stored on this first start.
    const auto stored = plist::readDictionaryFile(defaultsPath());
    ASSERT_TRUE(stored.has_value());
    const auto shortcut =
        Shortcut::shortcutWithData(stored->value(QStringLiteral("ZarvoShortcut")).toByteArray());
    ASSERT_TRUE(shortcut.has_value());
    EXPECT_EQ(shortcut->keyCode(), 40u);
    EXPECT_EQ(shortcut->modifierFlags(), 0x1C0000u);
}

TEST_F(GlobalShortcutEndToEndTest, HotKeyFollowsTheStoredShortcutAndSurvivesARestart)
{
    start();
    ASSERT_TRUE(eventually([&] { return grabbed(40, kControlAltSuper); }));

    // Another process (here: the test) stores Shift+F5 in the user's defaults.
    const QVariantMap values{{QStringLiteral("ZarvoShortcut"), Shortcut(96, 0x20000).data()}};
    ASSERT_TRUE(writeFileAtomically(defaultsPath(), plist::toXml(values)).ok());
    ASSERT_TRUE(eventually([&] { return !grabbed(40, kControlAltSuper); }))
        << "the old hot key is gone";
    // The new one follows at once; pressed rather than probed, which could
    // take the grab from under the application.
    bool opened = false;
    for (int press = 0; press < 5 && !opened; ++press) {
        ASSERT_TRUE(server.pressKeys(QStringLiteral("shift+F5")));
        opened = test::waitUntil([&] { return panelVisible(); }, 3000);
    }
    EXPECT_TRUE(opened) << "Shift+F5 opens the panel";
    EXPECT_TRUE(grabbed(96, modifier::kShift));

    stop();
    ASSERT_TRUE(eventually([&] { return !grabbed(96, modifier::kShift); }));
    start();
    ASSERT_TRUE(eventually([&] { return grabbed(96, modifier::kShift); }))
        << "the recorded shortcut is kept at the next start";
    EXPECT_FALSE(grabbed(40, kControlAltSuper));
}

TEST_F(GlobalShortcutEndToEndTest, ASecondStartOpensTheRunningOnesPanel)
{
    start();
    ASSERT_TRUE(eventually([&] { return grabbed(40, kControlAltSuper); }));
    QProcess second;
    second.setProcessEnvironment(environment());
    second.start(QStringLiteral(ZARVO_EXE_PATH), {});
    ASSERT_TRUE(second.waitForFinished(kTimeoutMs));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(eventually([&] { return panelVisible(); }));
    // Once more: it stays open.
    second.start(QStringLiteral(ZARVO_EXE_PATH), {});
    ASSERT_TRUE(second.waitForFinished(kTimeoutMs));
    EXPECT_TRUE(panelVisible());
}

TEST_F(GlobalShortcutEndToEndTest, ThePortalsShortcutTogglesThePanel)
{
    test::PrivateSessionBus& bus = test::sharedSessionBus();
    if (!bus.started()) {
        GTEST_SKIP() << "no private session bus: " << bus.why().toStdString();
    }
    test::PortalServer portal(bus.address(), true);
    ASSERT_TRUE(portal.registered());
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("ZARVO_HOTKEY_BACKEND"), QStringLiteral("portal"));
    start(env);
    ASSERT_TRUE(test::waitUntil([&] { return !portal.binds().isEmpty(); }, kTimeoutMs));
    const test::PortalServer::Bind bind = portal.binds().at(0);
    ASSERT_EQ(bind.shortcuts.size(), 1);
    EXPECT_EQ(bind.shortcuts[0].description, QStringLiteral("Open the Zarvo panel"));
    EXPECT_EQ(bind.shortcuts[0].preferredTrigger, QStringLiteral("CTRL+ALT+LOGO+k"));
    EXPECT_FALSE(grabbed(40, kControlAltSuper)) << "no X11 grab beside the portal";

    portal.activate(bind.shortcuts[0].id);
    EXPECT_TRUE(test::waitUntil([&] { return panelVisible(); }, kTimeoutMs));
    portal.activate(bind.shortcuts[0].id);
    EXPECT_TRUE(test::waitUntil([&] { return !panelVisible(); }, kTimeoutMs));
}

TEST_F(GlobalShortcutEndToEndTest, AShortcutAnotherLauncherHoldsIsToldOnce)
{
    test::PrivateSessionBus& bus = test::sharedSessionBus();
    if (!bus.started()) {
        GTEST_SKIP() << "no private session bus: " << bus.why().toStdString();
    }
    test::NotificationServer notifications(bus.address());
    ASSERT_TRUE(notifications.registered());
    // The launcher of another session on the same X server holds the keys.
    ASSERT_TRUE(probe->registerShortcut(1, 40, kControlAltSuper).ok());
    start();
    ASSERT_TRUE(
        test::waitUntil([&] { return !notifications.notifications().isEmpty(); }, kTimeoutMs));
    EXPECT_EQ(notifications.notifications().at(0).summary,
              QStringLiteral("The global shortcut does not work"));
    EXPECT_TRUE(notifications.notifications().at(0).body.contains(
        QStringLiteral("Record another combination")));

    // A round trip through the running launcher: anything it had still to
    // send has been sent by then.
    // The desktop's startup id of the command goes to the panel's window.
    QProcess toggle;
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("DESKTOP_STARTUP_ID"), QStringLiteral("zarvo-test_TIME42"));
    env.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
    toggle.setProcessEnvironment(env);
    toggle.start(QStringLiteral(ZARVO_EXE_PATH), {QStringLiteral("toggle")});
    ASSERT_TRUE(toggle.waitForFinished(kTimeoutMs));
    ASSERT_TRUE(test::waitUntil([&] { return panelVisible(); }, kTimeoutMs));
    EXPECT_EQ(notifications.notifications().size(), 1);
    const QString window = server
                               .output(QStringLiteral("xdotool"),
                                       {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--class"), QStringLiteral("zarvo")})
                               .trimmed()
                               .section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(server
                    .output(QStringLiteral("xprop"),
                            {QStringLiteral("-id"), window, QStringLiteral("_NET_STARTUP_ID")})
                    .contains(QStringLiteral("\"zarvo-test_TIME42\"")));
}

} // namespace
} // namespace zarvo
