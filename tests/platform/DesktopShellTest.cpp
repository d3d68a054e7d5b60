#include "common/TestEnvironment.h"
#include "platform/linux/XdgDesktopShell.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Tollgate;
using namespace Tollgate::Platform;

namespace {

QString dataHome()
{
    return Sandbox::folder() + QStringLiteral("/home/.local/share");
}

ino_t inodeOf(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

class XdgFileType : public testing::Test
{
protected:
    XdgDesktopShell m_shell;
    FileTypeRegistration m_registration {QStringLiteral("/opt/Tollgate Suite/bin/tollgate"),
        QStringLiteral("/opt/Tollgate Suite/share/Icons/IconRed.ICO")};
};

TEST_F(XdgFileType, installsTheMimeTypeAndADesktopEntry)
{
    m_shell.registerFileType(m_registration);
    const QByteArray package
        = Sandbox::readFile(dataHome() + QStringLiteral("/mime/packages/x-tollgate.xml"));
    EXPECT_TRUE(package.contains("type=\"application/x-tollgate\""));
    EXPECT_TRUE(package.contains("pattern=\"*.Tollgate\""));

    const QByteArray entry = Sandbox::readFile(dataHome() + QStringLiteral("/applications/tollgate.desktop"));
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nExec=\"/opt/Tollgate Suite/bin/tollgate\" %f\n")) << entry.constData();
    EXPECT_TRUE(entry.contains("\nMimeType=application/x-tollgate;\n"));

    if (QFileInfo::exists(QStringLiteral("/usr/bin/update-mime-database"))) {
        // Globs are matched without case, and stored lower-cased.
        EXPECT_TRUE(Sandbox::readFile(dataHome() + QStringLiteral("/mime/globs2"))
                        .toLower()
                        .contains("application/x-tollgate:*.tollgate"))
            << "the MIME database was refreshed";
    }
}

TEST_F(XdgFileType, rewritesNothingThatIsAlreadyRight)
{
    m_shell.registerFileType(m_registration);
    const QStringList files = {dataHome() + QStringLiteral("/mime/packages/x-tollgate.xml"),
        dataHome() + QStringLiteral("/applications/tollgate.desktop")};
    QList<ino_t> before;
    for (const QString& file : files) {
        before.append(inodeOf(file));
        EXPECT_NE(before.back(), 0u) << qPrintable(file);
    }

    XdgDesktopShell().registerFileType(m_registration);
    for (int i = 0; i < files.size(); ++i)
        EXPECT_EQ(inodeOf(files[i]), before[i]) << qPrintable(files[i]);

    // A program that moved is registered again.
    m_shell.registerFileType({QStringLiteral("/usr/bin/tollgate"), QString()});
    const QByteArray entry = Sandbox::readFile(files[1]);
    EXPECT_TRUE(entry.contains("\nExec=/usr/bin/tollgate %f\n"));
    EXPECT_FALSE(entry.contains("Icon=")) << "no icon line for an icon that is not there";
}

TEST(DesktopEntry, quotesExecArgumentsAsTheFormatAsks)
{
    EXPECT_EQ(XdgDesktopShell::quoteExecArgument(QStringLiteral("/usr/bin/tollgate")),
        QStringLiteral("/usr/bin/tollgate"));
    EXPECT_EQ(XdgDesktopShell::quoteExecArgument(QStringLiteral("/a b/t")), QStringLiteral("\"/a b/t\""));
    EXPECT_EQ(XdgDesktopShell::quoteExecArgument(QStringLiteral("/100%/t")), QStringLiteral("/100%%/t"));
    // \$ inside the quotes, then every backslash doubled for the string value.
    EXPECT_EQ(XdgDesktopShell::quoteExecArgument(QStringLiteral("/a$b/t")), QStringLiteral("\"/a\\\\$b/t\""));
    EXPECT_EQ(XdgDesktopShell::quoteExecArgument(QStringLiteral("/a\"b")), QStringLiteral("\"/a\\\\\"b\""));
}

TEST(ShellOpen, handsThePathToXdgOpenWithoutWaitingForIt)
{
    // An xdg-open that never ends, as it is without a desktop environment.
    const QString marker = Sandbox::folder() + QStringLiteral("/opened.txt");
    const QString script = Sandbox::writeFile(QStringLiteral("bin/xdg-open"),
        "#!/bin/sh\necho \"$$ $1\" > \"" + marker.toUtf8()
            + ".part\"\n"
              "mv \""
            + marker.toUtf8() + ".part\" \"" + marker.toUtf8()
            + "\"\n"
              "exec sleep 600\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFileInfo(script).absolutePath().toUtf8() + ':' + oldPath);

    XdgDesktopShell().open(QStringLiteral("https://example.org/a page?x=1&y=2"));
    qputenv("PATH", oldPath);

    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(marker) && clock.elapsed() < 30000)
        QThread::msleep(20);
    const QByteArray written = Sandbox::readFile(marker).trimmed();
    ASSERT_FALSE(written.isEmpty()) << "xdg-open was not started";
    const qsizetype blank = written.indexOf(' ');
    EXPECT_EQ(written.sliced(blank + 1), QByteArray("https://example.org/a page?x=1&y=2"));
    ::kill(written.first(blank).toInt(), SIGKILL);
}

} // namespace
