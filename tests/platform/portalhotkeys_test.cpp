// Global shortcuts through the desktop portal, against a stand-in portal on
// a private session bus: the session, the bind, presses, the desktop's own
// choice of trigger, a re-bind, a refusal, and no portal at all.
#include "platform/dbus/portalhotkeyservice.h"
#include "shortcut/shortcut.h"
#include "support/portalserver.h"
#include "support/privatesessionbus.h"
#include "support/wait.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace zarvo {
namespace {

const QString kDescription = QStringLiteral("Open the Zarvo panel");
constexpr quint64 kControlAltSuper = modifier::kControl | modifier::kOption | modifier::kCommand;
constexpr quint64 kKKey = 40;
constexpr quint64 kLKey = 37;

test::PrivateSessionBus& portalBus()
{
    return test::sharedSessionBus();
}

class PortalHotKeysTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!portalBus().started()) {
            GTEST_SKIP() << "no private session bus: " << portalBus().why().toStdString();
        }
    }

    // Starts the service against a portal with or without the interface.
    void start(bool globalShortcuts = true)
    {
        portal = std::make_unique<test::PortalServer>(portalBus().address(), globalShortcuts);
        ASSERT_TRUE(portal->registered());
        startService();
    }

    void startService()
    {
        service = dbus::createPortalHotKeyService(kDescription);
        ASSERT_NE(service, nullptr);
        QObject::connect(service.get(), &HotKeyService::activated, service.get(),
                         [this](HotKeyId id) {
                             activations.append(id);
                             events.append(QStringLiteral("press %1").arg(id));
                         });
        QObject::connect(service.get(), &HotKeyService::activationTokenGiven, service.get(),
                         [this](const QByteArray& token) {
                             events.append(QStringLiteral("token ") + QString::fromUtf8(token));
                         });
        QObject::connect(service.get(), &HotKeyService::triggerChanged, service.get(),
                         [this](HotKeyId id, const QString& trigger) { triggers[id] = trigger; });
        QObject::connect(service.get(), &HotKeyService::registrationFailed, service.get(),
                         [this](HotKeyId id, HotKeyFailure why) { failures[id] = why; });
    }

    void TearDown() override
    {
        service.reset();
        portal.reset();
    }

    std::unique_ptr<test::PortalServer> portal;
    std::unique_ptr<HotKeyService> service;
    QList<HotKeyId> activations;
    QStringList events;
    std::map<HotKeyId, QString> triggers;
    std::map<HotKeyId, HotKeyFailure> failures;
};

TEST_F(PortalHotKeysTest, BindsTheShortcutAndDeliversItsPresses)
{
    start();
    EXPECT_FALSE(service->canTellTaken());
    ASSERT_TRUE(service->registerShortcut(1, kKKey, kControlAltSuper).ok());
    ASSERT_TRUE(test::waitUntil([&] { return triggers.count(1) != 0; }));
    EXPECT_EQ(portal->sessionsCreated(), 1);
    ASSERT_EQ(portal->binds().size(), 1);
    const test::PortalServer::Bind bind = portal->binds().at(0);
    ASSERT_EQ(bind.shortcuts.size(), 1);
    EXPECT_EQ(bind.shortcuts[0].description, kDescription);
    EXPECT_EQ(bind.shortcuts[0].preferredTrigger, QStringLiteral("CTRL+ALT+LOGO+k"));
    EXPECT_EQ(triggers[1], QStringLiteral("CTRL+ALT+LOGO+k"));

    // A press with the desktop's activation token hands it over first; one
    // without a token and one of another shortcut hand over none.
    portal->activate(bind.shortcuts[0].id, QStringLiteral("wayland-token-7"));
    portal->activate(QStringLiteral("someone else's"), QStringLiteral("not ours"));
    portal->activate(bind.shortcuts[0].id);
    ASSERT_TRUE(test::waitUntil([&] { return activations.size() >= 2; }));
    EXPECT_EQ(activations, (QList<HotKeyId>{1, 1}));
    EXPECT_EQ(events, (QStringList{QStringLiteral("token wayland-token-7"),
                                   QStringLiteral("press 1"), QStringLiteral("press 1")}));

    // The user gives it another trigger in the desktop's settings.
    portal->changeTrigger(bind.shortcuts[0].id, QStringLiteral("Meta+Space"));
    ASSERT_TRUE(test::waitUntil([&] { return triggers[1] == QStringLiteral("Meta+Space"); }));
    EXPECT_TRUE(failures.empty());
}

TEST_F(PortalHotKeysTest, ANewRecordingRebindsInANewSession)
{
    start();
    ASSERT_TRUE(service->registerShortcut(1, kKKey, kControlAltSuper).ok());
    ASSERT_TRUE(test::waitUntil([&] { return portal->binds().size() == 1; }));
    const QString firstSession = portal->binds().at(0).session;
    // What a recording does: the old hot key goes, the new one comes.
    service->unregisterShortcut(1);
    ASSERT_TRUE(service->registerShortcut(2, kLKey, modifier::kControl | modifier::kCommand).ok());
    ASSERT_TRUE(test::waitUntil([&] { return triggers.count(2) != 0; }));
    ASSERT_EQ(portal->binds().size(), 2) << "one bind for the pair";
    EXPECT_EQ(portal->binds().at(1).shortcuts.at(0).preferredTrigger,
              QStringLiteral("CTRL+LOGO+l"));
    EXPECT_NE(portal->binds().at(1).session, firstSession);
    EXPECT_TRUE(portal->sessionsClosed().contains(firstSession));

    // Presses of the old session's shortcut are not ours any more.
    portal->activate(portal->binds().at(0).shortcuts.at(0).id);
    portal->activate(portal->binds().at(1).shortcuts.at(0).id);
    ASSERT_TRUE(test::waitUntil([&] { return !activations.isEmpty(); }));
    EXPECT_EQ(activations, QList<HotKeyId>{2});
}

TEST_F(PortalHotKeysTest, TheDesktopsChoiceAndItsRefusalAreReported)
{
    start();
    portal->chooseTrigger(QStringLiteral("CTRL+ALT+LOGO+k"), QStringLiteral("Ctrl+Alt+Meta+J"));
    ASSERT_TRUE(service->registerShortcut(1, kKKey, kControlAltSuper).ok());
    ASSERT_TRUE(test::waitUntil([&] { return triggers.count(1) != 0; }));
    EXPECT_EQ(triggers[1], QStringLiteral("Ctrl+Alt+Meta+J"));

    portal->refuseBinds(true);
    ASSERT_TRUE(service->registerShortcut(1, kLKey, kControlAltSuper).ok());
    ASSERT_TRUE(test::waitUntil([&] { return failures.count(1) != 0; }));
    EXPECT_EQ(failures[1], HotKeyFailure::refused);
}

TEST_F(PortalHotKeysTest, WithoutThePortalOrItsInterfaceNothingIsSupported)
{
    for (const bool portalRuns : {false, true}) {
        SCOPED_TRACE(portalRuns ? "portal without GlobalShortcuts" : "no portal");
        if (portalRuns) {
            portal = std::make_unique<test::PortalServer>(portalBus().address(), false);
            ASSERT_TRUE(portal->registered());
        }
        EXPECT_FALSE(dbus::portalOffersGlobalShortcuts());
        startService();
        const HotKeyResult result = service->registerShortcut(1, kKKey, kControlAltSuper);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.failure, HotKeyFailure::unsupported);
        portal.reset();
    }
    portal = std::make_unique<test::PortalServer>(portalBus().address(), true);
    EXPECT_TRUE(dbus::portalOffersGlobalShortcuts());
}

TEST_F(PortalHotKeysTest, ACombinationWithoutAKeyNameIsInvalidAndTwiceIsTaken)
{
    start();
    EXPECT_EQ(service->registerShortcut(1, Shortcut::kNoKeyCode, kControlAltSuper).failure,
              HotKeyFailure::invalid);
    ASSERT_TRUE(service->registerShortcut(1, kKKey, kControlAltSuper).ok());
    EXPECT_EQ(service->registerShortcut(2, kKKey, kControlAltSuper).failure, HotKeyFailure::taken);
}

} // namespace
} // namespace zarvo
