#include "ProgramPaths.h"

#include <QDir>
#include <QFileInfo>

namespace Tollgate {

ProgramPaths::ProgramPaths(QString programFolder, QString dataFolder)
    : m_programFolder(std::move(programFolder))
    , m_dataFolder(std::move(dataFolder))
{ }

ProgramPaths ProgramPaths::forExecutable(const QString& executableFolder)
{
    const QString folder = QDir::cleanPath(executableFolder);
    if (QFileInfo(folder + QStringLiteral("/Language")).isDir())
        return ProgramPaths(folder, folder);
    return ProgramPaths(folder, QDir::cleanPath(folder + QStringLiteral("/../share/tollgate")));
}

} // namespace Tollgate
