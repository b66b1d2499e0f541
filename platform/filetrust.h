#pragma once

#include "platform/atomicfile.h"

#include <QString>

namespace zarvo {

// Who may have written a file that is opened for reading.
enum class Writers {
    // Any file the user can read. A symbolic link is followed only to a file
    // the user owns.
    anyone,
    // The user alone. Every folder from the root down to the file's is owned
    // by root or the user, and one that others can write has the sticky bit.
    // The file's own folder, and the file, belong to the user and nobody else
    // can write them: not everyone, not a group with other members, not an
    // entry of their access control list. A symbolic link is followed only
    // to a file that passes the same checks, in a folder that does.
    ownerOnly,
};

// A regular file opened for reading, or why it was not. Never a FIFO, a
// device or a folder, and never opened in a way that can block. With
// Writers::ownerOnly the folders are opened one by one, each relative to the
// one before and checked as opened, so the descriptor is of the very file
// that was checked, whatever is renamed meanwhile. Closes it when destroyed.
class OpenedFile final {
public:
    OpenedFile() = default;
    ~OpenedFile();
    OpenedFile(OpenedFile&& other) noexcept;
    OpenedFile& operator=(OpenedFile&& other) noexcept;
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    static OpenedFile opened(int fd);
    static OpenedFile missing();
    static OpenedFile refused(QString problem);

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // Nothing is there (also a link to nothing, or a folder on the way that
    // is missing). That is no problem: a missing file reads as absent.
    bool isMissing() const { return missing_; }
    // Why the file was not opened, naming it and, where there is one, the fix.
    const QString& problem() const { return problem_; }

private:
    int fd_ = -1;
    bool missing_ = false;
    QString problem_;
};

OpenedFile openFileForReading(const QString& path, Writers writers);

// Whether PATH passes Writers::ownerOnly. A file that does not exist is
// trusted as far as its folders are. The failure says what is wrong and how
// to fix it.
Status checkOnlyOwnerCanWrite(const QString& path);

} // namespace zarvo
