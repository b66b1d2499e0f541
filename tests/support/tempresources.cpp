#include "support/tempresources.h"

#include <QFile>

#include <gtest/gtest.h>

namespace zarvo::test {

TempResources::TempResources()
    : previous_(qgetenv("ZARVO_RESOURCES")),
      hadPrevious_(qEnvironmentVariableIsSet("ZARVO_RESOURCES"))
{
    EXPECT_TRUE(dir_.isValid());
    qputenv("ZARVO_RESOURCES", QFile::encodeName(dir_.path()));
}

TempResources::~TempResources()
{
    if (hadPrevious_) {
        qputenv("ZARVO_RESOURCES", previous_);
    } else {
        qunsetenv("ZARVO_RESOURCES");
    }
}

void TempResources::write(const QString& name, const QByteArray& contents) const
{
    QFile file(this->file(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

QByteArray TempResources::read(const QString& name) const
{
    QFile file(this->file(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace zarvo::test
