#include "app/applicationmain.h"

#include "app/desktopkeybinding.h"
#include "app/desktopsession.h"
#include "app/launcherprogram.h"
#include "app/maininterface.h"
#include "app/menubarcontroller.h"
#include "app/singleinstance.h"
#include "panel/firstrunhint.h"
#include "panel/panel.h"
#include "panel/panelcontroller.h"
#include "platform/dbus/desktopnotifier.h"
#include "platform/dbus/portalhotkeyservice.h"
#include "platform/dbus/statusnotifieritem.h"
#include "platform/defaultsstore.h"
#include "platform/diagnostics.h"
#include "platform/hotkeyservice.h"
#include "platform/keyboardlayout.h"
#include "platform/notifier.h"
#include "platform/resourcedir.h"
#include "platform/services.h"
#include "platform/x11/x11backend.h"
#include "platform/x11/x11hotkeyservice.h"
#include "platform/x11/x11keyboardlayout.h"
#include "shortcut/globalshortcut.h"
#include "shortcut/globalshortcutrecorder.h"

#include "app/actiondispatch.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace zarvo {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;

void printError(const char* message)
{
    std::fprintf(stderr, "zarvo: %s\n", message);
}

// Makes sure this process is the session's one application. Returns an exit
// status when it is not and should stop.
std::optional<int> claimSession(SingleInstance& instance)
{
    if (instance.claim() != SingleInstance::Claim::runningElsewhere) {
        return std::nullopt;
    }
    switch (sendToRunningInstance(InstanceRequest::activate, activationTokenFromEnvironment())) {
    case Delivery::delivered:
        printError("already running: its panel is open (\"zarvo toggle\" opens or closes it)");
        return kExitOk;
    case Delivery::noInstance:
        // It quit in the meantime: this process takes over.
        if (instance.claim() != SingleInstance::Claim::runningElsewhere) {
            return std::nullopt;
        }
        break;
    case Delivery::noAnswer:
        break;
    }
    printError("another zarvo holds this session but does not answer");
    return kExitFailure;
}

// What the desktop shows for the global shortcut where it lists the
// shortcuts of its applications (the desktop portal).
const char* const kGlobalShortcutDescription = "Open the Zarvo panel";

// The desktop's services, chosen once the application object exists: key
// names from the X server where there is one (else xkbcommon's default
// keymap); hot keys as chooseHotKeyBackend() says for the session;
// notifications over the session bus, or to the tray when nothing there
// shows them.
// Installed in services() while this lives; uninstalled before the backends,
// which need the application's X connection, go away.
class PlatformBackends final {
public:
    explicit PlatformBackends(const DesktopSession& session)
    {
        const bool onX11 = x11::available();
        if (onX11) {
            keyboardLayout_ = x11::createKeyboardLayout();
        }
        QString problem;
        const HotKeyBackend backend =
            chooseHotKeyBackend(session, onX11, &dbus::portalOffersGlobalShortcuts, &problem);
        if (!problem.isEmpty()) {
            logLine(problem);
        }
        switch (backend) {
        case HotKeyBackend::x11:
            hotKeys_ = x11::createHotKeyService();
            break;
        case HotKeyBackend::portal:
            hotKeys_ =
                dbus::createPortalHotKeyService(QString::fromUtf8(kGlobalShortcutDescription));
            break;
        case HotKeyBackend::none:
            break;
        }
        if (!hotKeys_) {
            hotKeys_ = std::make_unique<NoHotKeyService>();
        }
        logLine(
            QStringLiteral("Global shortcut: %1%2")
                .arg(hotKeyBackendName(backend), backend == HotKeyBackend::x11 && !onX11
                                                     ? QStringLiteral(" (but there is no X server)")
                                                     : QString()));
        notifier_ = dbus::createDesktopNotifier([](const QString& summary, const QString& body) {
            const ApplicationDelegate* delegate = ApplicationDelegate::shared();
            if (delegate && delegate->menubarController()) {
                delegate->menubarController()->showMessage(summary, body);
            }
        });
        services().hotKeys = hotKeys_.get();
        services().keyboardLayout = keyboardLayout_.get();
        services().notifier = notifier_.get();
        // Qt's own StatusNotifierItem drops the point a host's click carries,
        // so the panel could not find the icon: ours is used wherever a host
        // shows such items, and Qt's tray icon (XEmbed) elsewhere.
        services().createStatusItem = []() -> std::unique_ptr<StatusItem> {
            if (!dbus::statusNotifierHostPresent()) {
                return nullptr;
            }
            return dbus::createStatusNotifierItem(QStringLiteral("zarvo"), QStringLiteral("Zarvo"));
        };
    }
    ~PlatformBackends()
    {
        services().hotKeys = nullptr;
        services().keyboardLayout = nullptr;
        services().notifier = nullptr;
        services().createStatusItem = nullptr;
    }
    PlatformBackends(const PlatformBackends&) = delete;
    PlatformBackends& operator=(const PlatformBackends&) = delete;

private:
    std::unique_ptr<HotKeyService> hotKeys_;
    std::unique_ptr<KeyboardLayout> keyboardLayout_;
    std::unique_ptr<Notifier> notifier_;
};

// The signal handler's end of a socket pair whose other end the event loop watches.
int gSignalSocket = -1;

void forwardSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(gSignalSocket, &byte, 1);
}

// The session manager ends applications with SIGTERM, a terminal with SIGINT
// or SIGHUP: quit through the event loop instead, so the icon leaves the tray
// and the socket and the lock file go away.
void quitOnTerminationSignals(QObject* context)
{
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        return;
    }
    gSignalSocket = sockets[1];
    auto* notifier = new QSocketNotifier(sockets[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [socket = sockets[0]] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(socket, &byte, 1);
        terminateApplication();
    });
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace

int runApplication(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("zarvo"));
    SingleInstance instance;
    if (const auto status = claimSession(instance)) {
        return *status;
    }

    const DesktopSession session = DesktopSession::fromEnvironment();
    const QByteArray platform = qtPlatformForSession(session);
    if (!platform.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", platform);
    }
    QApplication application(argc, argv);
    if (!platform.isEmpty()) {
        // Chosen for this process only: the terminals and editors a launch
        // starts choose their own.
        qunsetenv("QT_QPA_PLATFORM");
        logLine(QStringLiteral("Wayland session: running on Xwayland (QT_QPA_PLATFORM=%1 "
                               "chooses otherwise)")
                    .arg(QString::fromLatin1(platform)));
    }
    // A tray application: closing the panel or a form never ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    // Before anyone can find this instance through its socket.
    quitOnTerminationSignals(&application);
    prepareResourceDirectory();
    const PlatformBackends backends(session);

    // A panel over an empty store tells how to add a project.
    setFirstRunHintEnabled(true);
    MainInterface interface;
    ApplicationDelegate& delegate = interface.delegate();
    delegate.setGlobalShortcutInstaller(&installGlobalShortcut);
    // Where the desktop gives no hot keys, Preferences offers its keybinding.
    setDesktopKeybindingBinder([] {
        const std::optional<Shortcut> stored = Shortcut::shortcutWithData(
            DefaultsStore::standardUserDefaults().dataForKey(globalShortcutDefaultsKey()));
        return bindDesktopKeybinding(stored.value_or(defaultGlobalShortcut()), launcherProgram())
            .lines.join(QLatin1Char('\n'));
    });

    instance.listen();
    // The token of the command that asked lets the panel take the focus
    // where the desktop guards it.
    const auto acceptActivationToken = [&delegate](const QByteArray& token) {
        if (!isActivationToken(token)) {
            return;
        }
        if (QGuiApplication::platformName() == QLatin1String("wayland")) {
            // Qt's Wayland platform hands it to the compositor at the next
            // activation of a window.
            qputenv("XDG_ACTIVATION_TOKEN", token);
        } else if (x11::available()) {
            x11::setStartupId(delegate.panelController()->window()->winId(), token);
        }
    };
    // A desktop portal's press brings its own token.
    QObject::connect(services().hotKeys, &HotKeyService::activationTokenGiven, &delegate,
                     acceptActivationToken);
    QObject::connect(&instance, &SingleInstance::toggleRequested, &delegate,
                     [&delegate, acceptActivationToken](const QByteArray& token) {
                         acceptActivationToken(token);
                         delegate.togglePanel();
                     });
    // Another start of the launcher: the user wants the panel.
    QObject::connect(&instance, &SingleInstance::activateRequested, &delegate,
                     [&delegate, acceptActivationToken](const QByteArray& token) {
                         acceptActivationToken(token);
                         delegate.openPanel();
                     });
    // However the application ends, the icon leaves the tray first.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     &ApplicationDelegate::applicationShouldTerminate);
    // Launching has finished once the event loop runs.
    QTimer::singleShot(0, &delegate, &ApplicationDelegate::applicationDidFinishLaunching);
    const int status = QApplication::exec();
    instance.stopListening();
    return status;
}

} // namespace zarvo
