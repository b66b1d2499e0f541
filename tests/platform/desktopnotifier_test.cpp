// Desktop notifications over a private session bus, with a stand-in server
// or none at all.
#include "platform/dbus/desktopnotifier.h"
#include "support/notificationserver.h"
#include "support/privatesessionbus.h"
#include "support/wait.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace zarvo {
namespace {

// One bus and one application for the whole run: the process's session bus
// connection is made once, and replies arrive through the event loop.
test::PrivateSessionBus& sharedBus()
{
    return test::sharedSessionBus();
}

TEST(DesktopNotifierTest, GoesToTheServerOrElseToTheFallback)
{
    if (!sharedBus().started()) {
        GTEST_SKIP() << "no private session bus: " << sharedBus().why().toStdString();
    }

    struct Case {
        const char* name;
        bool serverRuns;
    };
    for (const Case& c : {Case{"server", true}, Case{"no server", false}}) {
        SCOPED_TRACE(c.name);
        std::optional<test::NotificationServer> server;
        if (c.serverRuns) {
            server.emplace(sharedBus().address());
            ASSERT_TRUE(server->registered());
        }
        QStringList fallenBack;
        const std::unique_ptr<Notifier> notifier =
            dbus::createDesktopNotifier([&](const QString& summary, const QString& body) {
                fallenBack << summary + QLatin1Char('|') + body;
            });
        notifier->notify(QStringLiteral("Launch failed"),
                         QStringLiteral("The folder /src/gone does not exist."));

        if (c.serverRuns) {
            ASSERT_TRUE(test::waitUntil([&] { return !server->notifications().isEmpty(); }));
            EXPECT_EQ(server->notifications().size(), 1);
            EXPECT_EQ(server->notifications()[0].appName, QStringLiteral("Zarvo"));
            EXPECT_EQ(server->notifications()[0].summary, QStringLiteral("Launch failed"));
            EXPECT_EQ(server->notifications()[0].body,
                      QStringLiteral("The folder /src/gone does not exist."));
            EXPECT_TRUE(fallenBack.isEmpty());
        } else {
            ASSERT_TRUE(test::waitUntil([&] { return !fallenBack.isEmpty(); }));
            EXPECT_EQ(fallenBack, QStringList{QStringLiteral(
                                      "Launch failed|The folder /src/gone does not exist.")});
        }
    }
}

} // namespace
} // namespace zarvo
