#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace zarvo::test {

struct ProcessResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the zarvo executable of this build with ARGS in the
// current environment plus EXTRA, and waits for it to finish. With
// OUTPUTFILE its standard output goes there instead (`out` stays empty).
ProcessResult runZarvo(const QStringList& args, const QProcessEnvironment& extra = {},
                       const QString& outputFile = {});

// The same, but when the tests run as root, the program runs as the user
// "nobody" (uid and gid 65534), for whom permissions hold: a folder without
// them cannot be read. Everything it uses must be open to that user.
ProcessResult runZarvoUnprivileged(const QStringList& args, const QProcessEnvironment& extra = {});
// Whether runZarvoUnprivileged changes the user.
bool runsAsRoot();

} // namespace zarvo::test
