#include "store/FileAssociation.h"

#include "common/TestEnvironment.h"
#include "lang/ProgramPaths.h"
#include "platform/fake/FakeDesktopShell.h"
#include "store/SettingsStore.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Tollgate;

namespace {

class FileAssociationTest : public testing::Test
{
protected:
    SettingsStore store;
    Platform::FakeDesktopShell shell;
    FileAssociation association {store, shell};
    const ProgramPaths paths {
        QStringLiteral("/opt/Tollgate Suite/bin"), QStringLiteral("/opt/Tollgate Suite/share")};

    QString classesSetting(const QString& key)
    {
        return settingText(store
                               .ReadSetting(QStringLiteral("HKCR"), key, QString(), QStringLiteral("S"),
                                   QStringLiteral("<none>"))
                               .value);
    }
    ino_t hiveInode()
    {
        struct stat info = {};
        const QString hive
            = static_cast<RegistryStore&>(store.registry()).userHivePath(RegistryStore::ClassesRoot);
        return ::stat(QFile::encodeName(hive).constData(), &info) == 0 ? info.st_ino : 0;
    }
};

} // namespace

TEST_F(FileAssociationTest, WritesTheClassesRootValuesAndHandsThePathsToTheDesktop)
{
    association.RegisterFileType(paths, QStringLiteral("tollgate"));
    EXPECT_EQ(classesSetting(QStringLiteral(".Tollgate")), QStringLiteral("Tollgate.file"));
    EXPECT_EQ(classesSetting(QStringLiteral("Tollgate.file\\DefaultIcon")),
        QStringLiteral("/opt/Tollgate Suite/share/Icons/IconRed.ICO,0"));
    // %1 unquoted, as the program takes its whole argument text as one path; the program
    // quoted for its blank, so that no "/opt/Tollgate" could be run instead.
    EXPECT_EQ(classesSetting(QStringLiteral("Tollgate.file\\Shell\\Open\\Command")),
        QStringLiteral("\"/opt/Tollgate Suite/bin/tollgate\" %1"));
    EXPECT_EQ(shell.registrations(), QStringList {QStringLiteral("/opt/Tollgate Suite/bin/tollgate")});
}

TEST_F(FileAssociationTest, RewritesOnlyWhatChanged)
{
    association.RegisterFileType(paths, QStringLiteral("tollgate"));
    const ino_t before = hiveInode();
    ASSERT_NE(before, 0u);
    association.RegisterFileType(paths, QStringLiteral("tollgate"));
    EXPECT_EQ(hiveInode(), before) << "values already right are not written again";
    EXPECT_EQ(shell.registrations().size(), 2) << "the desktop decides for itself";

    // A program that moved is registered again, replacing the old command.
    association.RegisterFileType(
        ProgramPaths(QStringLiteral("/usr/bin"), QStringLiteral("/usr/share/tollgate")),
        QStringLiteral("tollgate"));
    EXPECT_EQ(classesSetting(QStringLiteral("Tollgate.file\\Shell\\Open\\Command")),
        QStringLiteral("/usr/bin/tollgate %1"));
    EXPECT_EQ(classesSetting(QStringLiteral("Tollgate.file\\DefaultIcon")),
        QStringLiteral("/usr/share/tollgate/Icons/IconRed.ICO,0"));
}
