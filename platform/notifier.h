#pragma once

#include <QString>

namespace zarvo {

// Tells the user about something they must act on (a launch that ran
// nothing, a dead global shortcut): a desktop notification where the desktop
// shows them. Callers keep writing their log line as well.
class Notifier {
public:
    virtual ~Notifier() = default;
    // SUMMARY is a few words ("Launch failed"); BODY one or two lines with
    // what happened and what to do about it.
    virtual void notify(const QString& summary, const QString& body) = 0;
};

// Hands SUMMARY and BODY to services().notifier; does nothing without one
// (the subcommands, which report on stderr instead).
void notifyUser(const QString& summary, const QString& body);

} // namespace zarvo
