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
// current environment plus EXTRA, and waits for it to finish.
ProcessResult runZarvo(const QStringList& args, const QProcessEnvironment& extra = {});

} // namespace zarvo::test
