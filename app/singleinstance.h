#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <list>
#include <memory>

class QLockFile;
class QSocketNotifier;
class QTimer;

namespace zarvo {

// Requests a later start sends to the running application.
enum class InstanceRequest {
    activate, // another start of the application: nothing to do
    toggle,   // `zarvo toggle`: open or close the panel
};

// What became of a request.
enum class Delivery {
    delivered,  // the running application carried it out
    noInstance, // no application runs in this session
    noAnswer,   // one runs but did not answer in time
};

// One desktop application per user session and display.
//
// The first start takes a lock file and then listens on a local socket, both
// in the user's private runtime directory ($XDG_RUNTIME_DIR, or a private
// directory under the temporary directory when that is unset), named after
// the X display. A later start, and `zarvo toggle`, send a one-line request
// over the socket and wait for the answer "ok". The request carries the
// activation token the desktop gave the command, if any, so that the panel
// the running application opens may take the keyboard focus.
//
// A lock file that no living process holds (left by a crash, empty, or junk)
// is taken over. The socket stays open for as long as the application
// listens: connections that send nothing are closed after a moment, no more
// than a few are kept at once, and when descriptors run out the oldest
// connection is closed and accepting pauses briefly.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        claimed,          // this process is the one instance
        runningElsewhere, // another process holds the session
        unavailable,      // no private directory or no lock: run unguarded
    };

    SingleInstance();
    ~SingleInstance() override;

    // Takes the session's lock for this process. Needs no application object.
    Claim claim();
    // Starts answering requests; needs the application object and a claim.
    // False, with a diagnostic line, when the socket cannot be opened.
    bool listen();
    // Stops answering and removes the socket; the lock stays until destruction.
    void stopListening();

    // The socket and lock file of this session; empty when there is no
    // private runtime directory.
    static QString socketPath();
    static QString lockPath();

Q_SIGNALS:
    // ACTIVATIONTOKEN is the requester's (activationTokenFromEnvironment()),
    // empty when it had none.
    void toggleRequested(const QByteArray& activationToken);
    void activateRequested(const QByteArray& activationToken);

private:
    struct Connection;
    void acceptConnections();
    void readFrom(Connection* connection);
    // Reads what FD has sent into RECEIVED and answers a whole request line.
    // False while the request is still incomplete.
    bool serve(int fd, QByteArray& received);
    void drop(Connection* connection);
    void dropIdleConnections();

    std::unique_ptr<QLockFile> lock_;
    int listenFd_ = -1;
    QString listenPath_;
    std::unique_ptr<QSocketNotifier> listenNotifier_;
    std::unique_ptr<QTimer> idleTimer_;
    std::list<std::unique_ptr<Connection>> connections_; // oldest first
};

// Whether a living process holds the lock file at PATH. A file that nobody
// holds a lock on (Qt's lock files hold one for as long as they are locked)
// is abandoned, unless it was changed a moment ago and is being written.
bool instanceLockIsHeld(const QString& path);
// Removes the lock file at PATH when it is abandoned; whether it did. Safe
// against another start doing the same at the same time: the file is
// removed only while it is still the one found abandoned, and held meanwhile.
bool removeAbandonedInstanceLock(const QString& path);

// Sends REQUEST to the running application and waits for its answer. An
// application that is still starting (it holds the lock but does not listen
// yet) is waited for a few seconds. Needs no application object, and no Qt
// module beyond Core (app/instancerequest.cpp): the command line uses it.
Delivery sendToRunningInstance(InstanceRequest request, const QByteArray& activationToken = {});

// The token with which the desktop lets the command it started give the
// focus to a window: XDG_ACTIVATION_TOKEN (Wayland), else DESKTOP_STARTUP_ID
// (X11 startup notification); empty when there is none, or when it is not a
// token (isActivationToken()).
QByteArray activationTokenFromEnvironment();
// Whether TEXT can be an activation token: 1 to kMaxActivationTokenLength
// printable ASCII characters without spaces.
bool isActivationToken(const QByteArray& text);
inline constexpr int kMaxActivationTokenLength = 200;

// The protocol on the socket: the request is one line, requestText(), the
// request's word followed by a space and the activation token when there is
// one; the answer one line, kInstanceAnswerOk when the request was carried
// out. Longer lines are refused; a token that is not one is dropped.
QByteArray requestText(InstanceRequest request, const QByteArray& activationToken = {});
inline const QByteArray kInstanceAnswerOk = QByteArrayLiteral("ok");
inline constexpr int kMaxInstanceLineLength = 32 + kMaxActivationTokenLength;

} // namespace zarvo
