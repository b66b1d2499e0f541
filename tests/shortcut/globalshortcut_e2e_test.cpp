// The global shortcut end to end: the zarvo application on an Xvfb of the
// test's own, pressed with xdotool. Skipped where Xvfb or xdotool is missing.

#include "platform/atomicfile.h"
#include "platform/hotkeyservice.h"
#include "platform/plistio.h"
#include "platform/x11/x11hotkeyservice.h"
#include "shortcut/shortcut.h"
#include "xvfbserver.h"

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
#include <memory>

namespace zarvo {
namespace {

constexpr quint64 kControlAltSuper = modifier::kControl | modifier::kOption | modifier::kCommand;
constexpr int kTimeoutMs = 15000;

// Polls DONE until it answers true or the deadline passes; DONE's answer.
bool eventually(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline(kTimeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return done();
        }
        QThread::msleep(50);
    }
    return true;
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

    void start()
    {
        app = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(server.display()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("ZARVO_RESOURCES"), resources.path());
        app->setProcessEnvironment(env);
        app->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app->start(QStringLiteral(ZARVO_EXE_PATH), {});
        ASSERT_TRUE(app->waitForStarted());
    }

    void stop()
    {
        if (!app) {
            return;
        }
        app->terminate();
        if (!app->waitForFinished(kTimeoutMs)) {
            app->kill();
            app->waitForFinished();
        }
        app.reset();
    }

    // Whether the running application holds the grab of the combination.
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
    ASSERT_TRUE(eventually([&] { return grabbed(96, modifier::kShift); }));
    EXPECT_FALSE(grabbed(40, kControlAltSuper)) << "the old hot key is gone";
    ASSERT_TRUE(server.pressKeys(QStringLiteral("shift+F5")));
    EXPECT_TRUE(eventually([&] { return panelVisible(); }));

    stop();
    ASSERT_TRUE(eventually([&] { return !grabbed(96, modifier::kShift); }));
    start();
    ASSERT_TRUE(eventually([&] { return grabbed(96, modifier::kShift); }))
        << "the recorded shortcut is kept at the next start";
    EXPECT_FALSE(grabbed(40, kControlAltSuper));
}

} // namespace
} // namespace zarvo
