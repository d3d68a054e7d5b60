#include "ProgramRun.h"
#include "common/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace Tollgate;
using Test::ProgramRun;
using Test::runProgram;

namespace {

// The standard places below the prefix, in the installation and in the package.
const char* const Layout[] = {"bin/tollgate", "share/tollgate/Language/Deutsch.lng",
    "share/tollgate/Language/English.lng", "share/tollgate/Language/Italiano.lng",
    "share/tollgate/Icons/IconRed.ICO", "share/tollgate/Help/TollgateHelp.htm",
    "share/tollgate/examples/school-lab.Tollgate", "share/tollgate/examples/tollgate-autostart.desktop",
    "share/applications/org.tollgate.Tollgate.desktop", "share/metainfo/org.tollgate.Tollgate.metainfo.xml",
    "share/mime/packages/tollgate.xml", "share/icons/hicolor/scalable/apps/tollgate.svg",
    "share/icons/hicolor/48x48/apps/tollgate.png",
    "share/icons/hicolor/scalable/mimetypes/application-x-tollgate.svg", "share/man/man1/tollgate.1",
    "lib/systemd/user/tollgate.service", "sbin/tollgate-guard", "share/tollgate/examples/guard.conf",
    "lib/systemd/system/tollgate-guard.service",
    "share/gnome-shell/extensions/tollgate@tollgate.org/extension.js",
    "share/gnome-shell/extensions/tollgate@tollgate.org/metadata.json"};

// One installation into a temporary prefix serves every test of the suite.
class InstallTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_prefix = std::make_unique<QTemporaryDir>(Sandbox::folder() + str("/prefix-XXXXXX"));
        s_install = runProgram(str(CMAKE_COMMAND),
            {str("--install"), str(TOLLGATE_BUILD_DIR), str("--prefix"), s_prefix->path()});
    }
    static void TearDownTestSuite() { s_prefix.reset(); }

    void SetUp() override { ASSERT_EQ(s_install.exitCode, 0) << s_install.err.toStdString(); }

    static QString installed(const QString& relative) { return s_prefix->path() + u'/' + relative; }

    static QJsonObject check(const QString& document)
    {
        const ProgramRun result = runProgram(installed(str("bin/tollgate")), {str("--check"), document});
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        return QJsonDocument::fromJson(result.out).object();
    }

    static inline std::unique_ptr<QTemporaryDir> s_prefix;
    static inline ProgramRun s_install;
};

} // namespace

TEST_F(InstallTest, EverythingLandsInItsStandardPlace)
{
    for (const char* file : Layout)
        EXPECT_TRUE(QFileInfo(installed(str(file))).isFile()) << file;
    for (const char* size : {"16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"}) {
        const QString folder = str("share/icons/hicolor/") + QLatin1StringView(size);
        EXPECT_GT(QFileInfo(installed(folder + str("/apps/tollgate.png"))).size(), 0) << size;
        EXPECT_GT(QFileInfo(installed(folder + str("/mimetypes/application-x-tollgate.png"))).size(), 0)
            << size;
    }
    EXPECT_FALSE(QFileInfo::exists(installed(str("bin/tollgate_render_windows")))) << "a build tool";

    // The unit starts the installed program, not one in the build tree.
    const QByteArray unit = Sandbox::readFile(installed(str("lib/systemd/user/tollgate.service")));
    EXPECT_TRUE(unit.contains("ExecStart=" + installed(str("bin/tollgate")).toUtf8() + " $TOLLGATE_DOCUMENT"))
        << unit.toStdString();
    EXPECT_TRUE(unit.contains("Restart=always"));
    const QByteArray guard = Sandbox::readFile(installed(str("lib/systemd/system/tollgate-guard.service")));
    EXPECT_TRUE(guard.contains("ExecStart=" + installed(str("sbin/tollgate-guard")).toUtf8() + " --config"))
        << guard.toStdString();
}

TEST_F(InstallTest, InstalledProgramFindsItsOwnFiles)
{
    const QJsonObject report = check(installed(str("share/tollgate/examples/school-lab.Tollgate")));
    const QJsonObject program = report.value(str("program")).toObject();
    EXPECT_EQ(program.value(str("dataFolder")).toString(), installed(str("share/tollgate")));
    EXPECT_EQ(
        program.value(str("helpPage")).toString(), installed(str("share/tollgate/Help/TollgateHelp.htm")));
    EXPECT_EQ(program.value(str("languages")).toArray(),
        QJsonArray::fromStringList({str("Deutsch.lng"), str("English.lng"), str("Italiano.lng")}));
    EXPECT_EQ(report.value(str("windows")).toArray().size(), 3);

    // With German chosen, the defaults a document leaves out come from the installed file.
    Sandbox::writeFile(str("registry/HKEY_LOCAL_MACHINE.reg"),
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Harbrook\\Tollgate]\r\n"
        "\"Language\"=\"Deutsch.lng\"\r\n");
    const QString bare = Sandbox::writeFile(str("bare.Tollgate"), "[General]\r\nPassword=x\r\n");
    EXPECT_TRUE(check(bare).value(str("blockMessage")).toString().contains(str("nicht erlaubt")));
}

TEST_F(InstallTest, DesktopEntryMimeTypeAndListingValidate)
{
    const QString validator = QStandardPaths::findExecutable(str("desktop-file-validate"));
    const QString appstream = QStandardPaths::findExecutable(str("appstreamcli"));
    const QString mimeDatabase = QStandardPaths::findExecutable(str("update-mime-database"));
    if (validator.isEmpty() || appstream.isEmpty() || mimeDatabase.isEmpty())
        GTEST_SKIP() << "desktop-file-validate, appstreamcli or update-mime-database is not installed";

    for (const char* entry : {"share/applications/org.tollgate.Tollgate.desktop",
             "share/tollgate/examples/tollgate-autostart.desktop"}) {
        const ProgramRun result = runProgram(validator, {installed(str(entry))});
        EXPECT_EQ(result.exitCode, 0) << entry << result.out.toStdString() << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString() << "warnings count";
    }
    const ProgramRun listing = runProgram(appstream,
        {str("validate"), str("--no-net"),
            installed(str("share/metainfo/org.tollgate.Tollgate.metainfo.xml"))});
    EXPECT_EQ(listing.exitCode, 0) << listing.out.toStdString() << listing.err.toStdString();

    // The shared MIME database built from the package maps the extension to the type.
    const ProgramRun mime = runProgram(mimeDatabase, {installed(str("share/mime"))});
    ASSERT_EQ(mime.exitCode, 0) << mime.err.toStdString();
    const QByteArray globs = Sandbox::readFile(installed(str("share/mime/globs2")));
    EXPECT_TRUE(globs.toLower().contains("application/x-tollgate:*.tollgate")) << globs.toStdString();
    const QByteArray icons = Sandbox::readFile(installed(str("share/mime/generic-icons")))
        + Sandbox::readFile(installed(str("share/mime/icons")));
    EXPECT_TRUE(icons.contains("application/x-tollgate:application-x-tollgate")) << icons.toStdString();
}

TEST_F(InstallTest, ManualPageFormatsWithoutWarnings)
{
    const QString groff = QStandardPaths::findExecutable(str("groff"));
    if (groff.isEmpty())
        GTEST_SKIP() << "groff is not installed";
    const ProgramRun result = runProgram(groff,
        {str("-man"), str("-Tascii"), str("-P-cbou"), str("-ww"),
            installed(str("share/man/man1/tollgate.1"))});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
    for (const char* words : {"--check", "--check-platform", "TOLLGATE_REGISTRY_DIR", "Tollgate.log"})
        EXPECT_TRUE(result.out.contains(words)) << words;
}

TEST(DebianPackage, DeclaresItsDependenciesAndHoldsTheInstallation)
{
    const QString dpkgDeb = QStandardPaths::findExecutable(str("dpkg-deb"));
    if (dpkgDeb.isEmpty() || QStandardPaths::findExecutable(str("dpkg-shlibdeps")).isEmpty())
        GTEST_SKIP() << "dpkg-deb or dpkg-shlibdeps (dpkg-dev) is not installed";
    QTemporaryDir out(Sandbox::folder() + str("/deb-XXXXXX"));
    const ProgramRun pack = runProgram(str(CPACK_COMMAND),
        {str("-G"), str("DEB"), str("--config"), str(TOLLGATE_BUILD_DIR "/CPackConfig.cmake"), str("-B"),
            out.path()},
        300000);
    ASSERT_EQ(pack.exitCode, 0) << pack.out.toStdString() << pack.err.toStdString();
    const QStringList debs = QDir(out.path()).entryList({str("tollgate_*.deb")}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << debs.join(u' ').toStdString();
    const QString deb = out.path() + u'/' + debs.first();

    const ProgramRun control = runProgram(dpkgDeb, {str("--field"), deb});
    ASSERT_EQ(control.exitCode, 0) << control.err.toStdString();
    for (const char* field : {"Package: tollgate", "Section: admin", "libqt6widgets6", "xdg-utils",
             "shared-mime-info", "qt6-qpa-plugins", "libxcb1"})
        EXPECT_TRUE(control.out.contains(field)) << field << "\n" << control.out.toStdString();

    const ProgramRun contents = runProgram(dpkgDeb, {str("--contents"), deb});
    ASSERT_EQ(contents.exitCode, 0) << contents.err.toStdString();
    for (const char* file : Layout)
        EXPECT_TRUE(contents.out.contains("./usr/" + QByteArray(file))) << file;
    EXPECT_FALSE(contents.out.contains("_tests")) << "no test programs in the package";
    EXPECT_FALSE(contents.out.contains("render_windows"));

    // Installing the package enables and starts the guard; removing it stops it.
    const ProgramRun postinst = runProgram(dpkgDeb, {str("--info"), deb, str("postinst")});
    EXPECT_TRUE(postinst.out.contains("systemctl enable tollgate-guard.service"))
        << postinst.out.toStdString();
}
