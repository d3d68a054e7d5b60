#include "store/FileAssociation.h"

#include "common/TestEnvironment.h"
#include "lang/ProgramPaths.h"
#include "platform/fake/FakeDesktopShell.h"
#include "store/SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

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
    QString hivePath()
    {
        return static_cast<RegistryStore&>(store.registry()).userHivePath(RegistryStore::ClassesRoot);
    }
    // Paths as the system writes them: backslashes on Windows.
    static QString native(const char* text) { return QDir::toNativeSeparators(str(text)); }
};

} // namespace

TEST_F(FileAssociationTest, WritesTheClassesRootValuesAndHandsThePathsToTheDesktop)
{
    association.RegisterFileType(paths, QStringLiteral("tollgate"));
    EXPECT_EQ(classesSetting(QStringLiteral(".Tollgate")), QStringLiteral("Tollgate.file"));
    EXPECT_EQ(classesSetting(QStringLiteral("Tollgate.file\\DefaultIcon")),
        native("/opt/Tollgate Suite/share/Icons/IconRed.ICO") + QStringLiteral(",0"));
    // %1 unquoted, as the program takes its whole argument text as one path; the program
    // quoted for its blank, so that no "/opt/Tollgate" could be run instead.
    EXPECT_EQ(classesSetting(QStringLiteral("Tollgate.file\\Shell\\Open\\Command")),
        u'"' + native("/opt/Tollgate Suite/bin/tollgate") + QStringLiteral("\" %1"));
    EXPECT_EQ(shell.registrations(), QStringList {native("/opt/Tollgate Suite/bin/tollgate")});
}

TEST_F(FileAssociationTest, RewritesOnlyWhatChanged)
{
    association.RegisterFileType(paths, QStringLiteral("tollgate"));
    // A time long past: a rewrite would bring it to now.
    const QDateTime past = QDateTime::currentDateTimeUtc().addYears(-3);
    {
        QFile hive(hivePath());
        ASSERT_TRUE(hive.open(QIODevice::ReadWrite));
        ASSERT_TRUE(hive.setFileTime(past, QFileDevice::FileModificationTime));
    }
    association.RegisterFileType(paths, QStringLiteral("tollgate"));
    EXPECT_EQ(QFileInfo(hivePath()).lastModified().toUTC().toSecsSinceEpoch(), past.toSecsSinceEpoch())
        << "values already right are not written again";
    EXPECT_EQ(shell.registrations().size(), 2) << "the desktop decides for itself";

    // A program that moved is registered again, replacing the old command.
    association.RegisterFileType(
        ProgramPaths(QStringLiteral("/usr/bin"), QStringLiteral("/usr/share/tollgate")),
        QStringLiteral("tollgate"));
    EXPECT_EQ(classesSetting(QStringLiteral("Tollgate.file\\Shell\\Open\\Command")),
        native("/usr/bin/tollgate") + QStringLiteral(" %1"));
    EXPECT_EQ(classesSetting(QStringLiteral("Tollgate.file\\DefaultIcon")),
        native("/usr/share/tollgate/Icons/IconRed.ICO") + QStringLiteral(",0"));
}
