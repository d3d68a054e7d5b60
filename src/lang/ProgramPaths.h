#pragma once

#include <QString>

namespace Tollgate {

// Where the program's own files lie. A run from the build tree finds them beside the
// executable; an installed program in its shared data folder.
class ProgramPaths
{
public:
    ProgramPaths(QString programFolder, QString dataFolder);

    // From the running executable's folder: data beside it when it has a Language folder,
    // else in ../share/tollgate.
    static ProgramPaths forExecutable(const QString& executableFolder);

    // The folder holding the executable, without a trailing separator.
    const QString& programFolder() const { return m_programFolder; }
    // The folder holding Language/, Icons/ and Help/, without a trailing separator.
    const QString& dataFolder() const { return m_dataFolder; }
    // The language folder, with a trailing separator.
    QString languageFolder() const { return m_dataFolder + QStringLiteral("/Language/"); }
    // The administrator's help page.
    QString helpPage() const { return m_dataFolder + QStringLiteral("/Help/TollgateHelp.htm"); }

private:
    QString m_programFolder;
    QString m_dataFolder;
};

} // namespace Tollgate
