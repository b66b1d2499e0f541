#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

namespace zarvo {

// What became of a program started by startWatched() while it was watched.
struct WatchedStart {
    enum class Outcome {
        NotStarted, // it could not be executed (see error)
        Exited,     // it ended while watched, with exitStatus
        Running,    // it still runs, or its file GONEPATH was removed
    };
    Outcome outcome = Outcome::NotStarted;
    int exitStatus = 0; // the exit code, or 128 + the signal that ended it
    QString error;

    bool failed() const
    {
        return outcome == Outcome::NotStarted || (outcome == Outcome::Exited && exitStatus != 0);
    }
};

// Starts COMMANDLINE (an absolute program path and its arguments) in FOLDER,
// in a session of its own, with its standard streams on /dev/null and the
// signal handling a new program expects, and watches it for at most WATCH:
// the call returns as soon as the program has ended, the file GONEPATH (when
// not empty) no longer exists, or WATCH has passed. The program is never our
// child: it is started through a short-lived intermediate process, so it
// outlives us and leaves no zombie behind.
WatchedStart startWatched(const QStringList& commandLine, const QString& folder,
                          std::chrono::milliseconds watch, const QString& gonePath = {});

} // namespace zarvo
