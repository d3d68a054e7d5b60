#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Tollgate::Sandbox {

QString folder()
{
    return qEnvironmentVariable("TOLLGATE_TEST_SANDBOX");
}

QString writeFile(const QString& relativePath, const QByteArray& bytes)
{
    const QString path = folder() + u'/' + relativePath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace Tollgate::Sandbox
