#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace testing {

// A fresh program folder for one test: the platform layer points at it while
// the object lives.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    QString path() const { return dir_.path(); }
    QString file(const QString &name) const;
    void write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;

private:
    QTemporaryDir dir_;
};

} // namespace testing
