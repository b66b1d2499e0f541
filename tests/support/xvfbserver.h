#pragma once

#include <QByteArray>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>

namespace zarvo::test {

// An Xvfb of the test's own on a free display, started on construction and
// stopped on destruction. running() is false when Xvfb or xdotool is not
// installed or the server did not come up.
class XvfbServer final {
public:
    // One screen of SIZE pixels.
    explicit XvfbServer(QSize size = {1024, 768});
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool running() const { return !display_.isEmpty(); }
    // ":N".
    const QByteArray& display() const { return display_; }

    // Runs PROGRAM on this display; true when it exits with status 0.
    bool run(const QString& program, const QStringList& args) const;
    bool pressKeys(const QString& keys) const;
    // The standard output of PROGRAM on this display.
    QString output(const QString& program, const QStringList& args) const;

private:
    std::unique_ptr<QProcess> server_;
    QByteArray display_;
};

} // namespace zarvo::test
