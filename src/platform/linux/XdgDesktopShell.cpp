#include "XdgDesktopShell.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace Tollgate::Platform {

namespace {

    constexpr int ToolTimeoutMilliseconds = 30000;

    // Writes the file only when its text differs; true when it was written.
    bool writeIfChanged(const QString& path, const QByteArray& text)
    {
        QFile existing(path);
        if (existing.open(QIODevice::ReadOnly) && existing.readAll() == text)
            return false;
        existing.close();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
    }

    void runTool(const QString& tool, const QStringList& arguments)
    {
        const QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty())
            return;
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(program, arguments);
        if (process.waitForStarted() && !process.waitForFinished(ToolTimeoutMilliseconds))
            process.kill();
        process.waitForFinished();
    }

} // namespace

void XdgDesktopShell::open(const QString& pathOrAddress)
{
    // Detached, because xdg-open waits for the handler where no desktop environment runs.
    if (!pathOrAddress.isEmpty())
        QProcess::startDetached(QStringLiteral("xdg-open"), {pathOrAddress});
}

void XdgDesktopShell::registerFileType(const FileTypeRegistration& registration)
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return;
    const QString mimeFolder = dataHome + QStringLiteral("/mime");
    const QString applicationsFolder = dataHome + QStringLiteral("/applications");
    if (writeIfChanged(mimeFolder + QStringLiteral("/packages/x-tollgate.xml"), mimePackage()))
        runTool(QStringLiteral("update-mime-database"), {mimeFolder});
    if (writeIfChanged(applicationsFolder + QStringLiteral("/tollgate.desktop"),
            desktopEntry(registration.programFile,
                QFileInfo::exists(registration.iconFile) ? registration.iconFile : QString())))
        runTool(QStringLiteral("update-desktop-database"), {applicationsFolder});
}

QByteArray XdgDesktopShell::mimePackage()
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                             "  <mime-type type=\"application/x-tollgate\">\n"
                             "    <comment>Tollgate rule set</comment>\n"
                             "    <glob pattern=\"*.Tollgate\"/>\n"
                             "  </mime-type>\n"
                             "</mime-info>\n");
}

QString XdgDesktopShell::quoteExecArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString quoted = argument;
    quoted.replace(u'%', QStringLiteral("%%"));
    if (std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); })) {
        QString inner;
        for (const QChar c : std::as_const(quoted)) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                inner += u'\\';
            inner += c;
        }
        quoted = u'"' + inner + u'"';
    }
    // The key's value is itself a string in which a backslash is escaped.
    return quoted.replace(u'\\', QStringLiteral("\\\\"));
}

QByteArray XdgDesktopShell::desktopEntry(const QString& programFile, const QString& iconFile)
{
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Name=Tollgate\n"
                                  "Comment=Blocking Windows and Processes\n"
                                  "Exec=%1 %f\n"
                                  "MimeType=%2;\n"
                                  "Terminal=false\n"
                                  "NoDisplay=true\n")
                       .arg(quoteExecArgument(programFile), MimeType);
    if (!iconFile.isEmpty())
        text += QStringLiteral("Icon=%1\n").arg(iconFile);
    return text.toUtf8();
}

} // namespace Tollgate::Platform
