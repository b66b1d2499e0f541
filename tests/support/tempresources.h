#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace zarvo::test {

// A fresh resource directory for one test: ZARVO_RESOURCES points at it while
// the object lives, and the previous value comes back afterwards.
class TempResources final {
public:
    TempResources();
    ~TempResources();
    TempResources(const TempResources&) = delete;
    TempResources& operator=(const TempResources&) = delete;

    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    void write(const QString& name, const QByteArray& contents) const;
    QByteArray read(const QString& name) const;

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

} // namespace zarvo::test
