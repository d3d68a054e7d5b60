#include "FileAssociation.h"

#include "SettingsStore.h"
#include "lang/ProgramPaths.h"
#include "platform/DesktopShell.h"

#include <QDir>

namespace Tollgate {

namespace {

    const QString ClassesRoot = QStringLiteral("HKCR");
    const QString ClassName = QStringLiteral("Tollgate.file");

} // namespace

FileAssociation::FileAssociation(SettingsStore& store, Platform::DesktopShell& shell)
    : m_store(store)
    , m_shell(shell)
{ }

Platform::FileTypeRegistration FileAssociation::registrationFor(
    const ProgramPaths& paths, const QString& executableName)
{
    return {QDir::toNativeSeparators(paths.programFolder() + u'/' + executableName),
        QDir::toNativeSeparators(paths.dataFolder() + QStringLiteral("/Icons/IconRed.ICO"))};
}

void FileAssociation::RegisterFileType(const ProgramPaths& paths, const QString& executableName)
{
    const Platform::FileTypeRegistration registration = registrationFor(paths, executableName);
    writeIfChanged(QStringLiteral(".Tollgate"), ClassName);
    writeIfChanged(ClassName + QStringLiteral("\\DefaultIcon"), registration.iconFile + QStringLiteral(",0"));
    // %1 unquoted: the program takes its whole argument text as one path. A program path
    // with a blank is quoted, or Windows would first try to run "C:\Program.exe".
    const QString program = registration.programFile.contains(u' ') ? u'"' + registration.programFile + u'"'
                                                                    : registration.programFile;
    writeIfChanged(ClassName + QStringLiteral("\\Shell\\Open\\Command"), program + QStringLiteral(" %1"));
    m_shell.registerFileType(registration);
}

void FileAssociation::writeIfChanged(const QString& key, const QString& value)
{
    const SettingValue current
        = m_store.ReadSetting(ClassesRoot, key, QString(), QStringLiteral("S"), QString()).value;
    if (settingText(current) != value)
        m_store.WriteSetting(ClassesRoot, key, QString(), QStringLiteral("S"), value);
}

} // namespace Tollgate
