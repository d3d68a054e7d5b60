#include "common/TestEnvironment.h"
#include "common/WaitUntil.h"
#include "platform/linux/XdgDesktopShell.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Tollgate;
using namespace Tollgate::Platform;

namespace {

ino_t inodeOf(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

} // namespace

TEST(XdgFileType, installsTheMimeTypeAndADesktopEntryAndRewritesNothingThatIsRight)
{
    const QString dataHome = Sandbox::folder() + str("/home/.local/share");
    const QString package = dataHome + str("/mime/packages/x-tollgate.xml");
    const QString entry = dataHome + str("/applications/tollgate.desktop");
    const FileTypeRegistration registration {
        str("/opt/Tollgate Suite/bin/tollgate"), str("/opt/Tollgate Suite/share/Icons/IconRed.ICO")};
    XdgDesktopShell().registerFileType(registration);
    EXPECT_TRUE(Sandbox::readFile(package).contains("type=\"application/x-tollgate\""));
    EXPECT_TRUE(Sandbox::readFile(package).contains("pattern=\"*.Tollgate\""));
    EXPECT_TRUE(Sandbox::readFile(entry).startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(Sandbox::readFile(entry).contains("\nExec=\"/opt/Tollgate Suite/bin/tollgate\" %f\n"));
    EXPECT_TRUE(Sandbox::readFile(entry).contains("\nMimeType=application/x-tollgate;\n"));
    if (QFileInfo::exists(str("/usr/bin/update-mime-database"))) {
        // Globs are matched without case, and stored lower-cased.
        EXPECT_TRUE(Sandbox::readFile(dataHome + str("/mime/globs2"))
                        .toLower()
                        .contains("application/x-tollgate:*.tollgate"))
            << "the MIME database was refreshed";
    }

    const ino_t packageInode = inodeOf(package), entryInode = inodeOf(entry);
    XdgDesktopShell().registerFileType(registration);
    EXPECT_EQ(inodeOf(package), packageInode);
    EXPECT_EQ(inodeOf(entry), entryInode);

    // A program that moved is registered again.
    XdgDesktopShell().registerFileType({str("/usr/bin/tollgate"), QString()});
    EXPECT_TRUE(Sandbox::readFile(entry).contains("\nExec=/usr/bin/tollgate %f\n"));
    EXPECT_FALSE(Sandbox::readFile(entry).contains("Icon=")) << "no icon line for an icon that is not there";
}

TEST(DesktopEntry, quotesExecArgumentsAsTheFormatAsks)
{
    // \$ inside the quotes, then every backslash doubled for the string value.
    const std::pair<const char*, const char*> cases[]
        = {{"/usr/bin/tollgate", "/usr/bin/tollgate"}, {"/a b/t", "\"/a b/t\""}, {"/100%/t", "/100%%/t"},
            {"/a$b/t", "\"/a\\\\$b/t\""}, {"/a\"b", "\"/a\\\\\"b\""}};
    for (const auto& [path, quoted] : cases)
        EXPECT_EQ(XdgDesktopShell::quoteExecArgument(str(path)), str(quoted)) << path;
}

TEST(ShellOpen, handsThePathToXdgOpenWithoutWaitingForIt)
{
    // An xdg-open that never ends, as it is without a desktop environment; it follows the
    // test and ends with it.
    const QString marker = Sandbox::folder() + str("/opened.txt");
    const QString script = Sandbox::writeFile(str("bin/xdg-open"),
        "#!/bin/sh\necho \"$$ $1\" > \"" + marker.toUtf8() + ".part\"\nmv \"" + marker.toUtf8() + ".part\" \""
            + marker.toUtf8() + "\"\nexec tail -f /dev/null --pid=" + QByteArray::number(::getpid()) + "\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    {
        const auto restore = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
        qputenv("PATH", QFileInfo(script).absolutePath().toUtf8() + ':' + qgetenv("PATH"));
        XdgDesktopShell().open(str("https://example.org/a page?x=1&y=2"));
    }
    ASSERT_TRUE(Tollgate::Test::waitUntil([&] { return QFileInfo::exists(marker); }))
        << "xdg-open was not started";
    const QByteArray written = Sandbox::readFile(marker).trimmed();
    const qsizetype blank = written.indexOf(' ');
    EXPECT_EQ(written.sliced(blank + 1), QByteArray("https://example.org/a page?x=1&y=2"));
    ::kill(written.first(blank).toInt(), SIGKILL);
}
