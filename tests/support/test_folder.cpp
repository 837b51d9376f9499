#include "test_folder.h"

#include "core/program_folder.h"

#include <QFile>

namespace testing {

TestFolder::TestFolder()
{
    platform::setProgramFolder(dir_.path());
}

TestFolder::~TestFolder()
{
    platform::setProgramFolder({});
}

QString TestFolder::file(const QString &name) const
{
    return platform::programFile(name);
}

void TestFolder::write(const QString &name, const QByteArray &bytes) const
{
    QFile f(file(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray TestFolder::read(const QString &name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace testing
