#include "store/RegistryStore.h"

#include "common/TestEnvironment.h"
#include "lang/ProgramPaths.h"
#include "platform/fake/FakeDesktopShell.h"
#include "store/FileAssociation.h"
#include "store/SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <thread>

using namespace Tollgate;

namespace {

QString hivePath(SettingsStore& store, RegistryStore::Hive hive)
{
    return static_cast<RegistryStore&>(store.registry()).userHivePath(hive);
}

QString read(const SettingsStore& store, const char* hive, const QString& key, const char* name)
{
    return settingText(store.ReadSetting(str(hive), key, str(name), str("S"), str("<none>")).value);
}

} // namespace

TEST(RegistryStore, ReadsHandWrittenAndExportedFiles)
{
    // As regedit exports: UTF-16 with a byte order mark, continued hex lines, a default value.
    const QString text = str("Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Harbrook\\Tollgate]\r\n"
                             "@=\"default\"\r\n"
                             "\"Language\"=\"Deutsch \\\"neu\\\".lng\"\r\n"
                             "\"Bin\"=hex:01,02,\\\r\n  03\r\n"
                             "\"Num\"=dword:0000001e\r\n"
                             "\"Other\"=hex(2):41,00,00,00\r\n");
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    Sandbox::writeFile(str("registry/HKEY_LOCAL_MACHINE.reg"), utf16);

    const RegistryStore registry(RegistryStore::locationFromEnvironment());
    const QString key = str("SOFTWARE\\Harbrook\\Tollgate\\");
    ASSERT_TRUE(registry.keyExists(RegistryStore::LocalMachine, key));
    EXPECT_TRUE(registry.keyExists(RegistryStore::LocalMachine, str("Software")))
        << "parents of listed keys exist";
    EXPECT_FALSE(registry.keyExists(RegistryStore::LocalMachine, str("Softwar")));
    const auto data
        = [&](const char* name) { return registry.value(RegistryStore::LocalMachine, key, str(name))->data; };
    EXPECT_EQ(data(""), QByteArray("default", 8));
    EXPECT_EQ(data("language"), QByteArray("Deutsch \"neu\".lng", 18));
    EXPECT_EQ(data("Bin"), QByteArray("\x01\x02\x03"));
    EXPECT_EQ(data("Num"), QByteArray("\x1e\0\0\0", 4));
    EXPECT_EQ(registry.value(RegistryStore::LocalMachine, key, str("Other"))->type, 2u);
}

// The document type's values, each key created with its parents, are what a fresh store
// (another process) reads; a moved program replaces them, and values already right are
// not written again. The desktop is told every time and decides for itself.
TEST(RegistryStore, FileAssociationWritesTheClassesRootValues)
{
    SettingsStore store;
    Platform::FakeDesktopShell shell;
    FileAssociation association(store, shell);
    const auto native = [](const char* text) { return QDir::toNativeSeparators(str(text)); };
    const ProgramPaths paths(str("/opt/Tollgate Suite/bin"), str("/opt/Tollgate Suite/share"));
    association.RegisterFileType(paths, str("tollgate"));
    const SettingsStore other;
    EXPECT_EQ(read(other, "HKCR", str(".tollgate"), ""), str("Tollgate.file"));
    EXPECT_EQ(read(other, "HKCR", str("Tollgate.file\\DefaultIcon"), ""),
        native("/opt/Tollgate Suite/share/Icons/IconRed.ICO") + str(",0"));
    // %1 unquoted, as the program takes its whole argument text as one path; the program
    // quoted for its blank, so that no "/opt/Tollgate" could be run instead.
    EXPECT_EQ(read(other, "HKCR", str("tollgate.file\\shell\\open\\command"), ""),
        u'"' + native("/opt/Tollgate Suite/bin/tollgate") + str("\" %1"));
    EXPECT_EQ(shell.registrations(), QStringList {native("/opt/Tollgate Suite/bin/tollgate")});
    const QByteArray file = Sandbox::readFile(hivePath(store, RegistryStore::ClassesRoot));
    EXPECT_TRUE(file.startsWith("Windows Registry Editor Version 5.00\r\n\r\n"));
    EXPECT_TRUE(file.contains("[HKEY_CLASSES_ROOT\\.Tollgate]\r\n@=\"Tollgate.file\"\r\n"));
    EXPECT_TRUE(file.contains("[HKEY_CLASSES_ROOT\\Tollgate.file\\Shell]\r\n"));

    // A time long past: a rewrite would bring it to now.
    const QDateTime past = QDateTime::currentDateTimeUtc().addYears(-3);
    {
        QFile hive(hivePath(store, RegistryStore::ClassesRoot));
        ASSERT_TRUE(hive.open(QIODevice::ReadWrite));
        ASSERT_TRUE(hive.setFileTime(past, QFileDevice::FileModificationTime));
    }
    association.RegisterFileType(paths, str("tollgate"));
    EXPECT_EQ(
        QFileInfo(hivePath(store, RegistryStore::ClassesRoot)).lastModified().toUTC().toSecsSinceEpoch(),
        past.toSecsSinceEpoch());
    EXPECT_EQ(shell.registrations().size(), 2);

    association.RegisterFileType(ProgramPaths(str("/usr/bin"), str("/usr/share/tollgate")), str("tollgate"));
    EXPECT_EQ(read(store, "HKCR", str("Tollgate.file\\Shell\\Open\\Command"), ""),
        native("/usr/bin/tollgate") + str(" %1"));
    EXPECT_EQ(read(store, "HKCR", str("Tollgate.file\\DefaultIcon"), ""),
        native("/usr/share/tollgate/Icons/IconRed.ICO") + str(",0"));
    EXPECT_EQ(Sandbox::readFile(hivePath(store, RegistryStore::ClassesRoot)).count("IconRed.ICO"), 1)
        << "a replaced value is one value";
}

TEST(RegistryStore, SystemLayerIsReadBeneathAndNeverWritten)
{
    const QByteArray system = "Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_LOCAL_MACHINE\\Software\\Harbrook\\Tollgate]\r\n"
                              "\"Language\"=\"Site.lng\"\r\n\"Kiosk\"=dword:00000001\r\n";
    const QString systemPath = Sandbox::writeFile(str("registry/system/HKEY_LOCAL_MACHINE.reg"), system);
    SettingsStore store;
    const QString key = str("Software\\Harbrook\\Tollgate");
    EXPECT_EQ(read(store, "HKLM", key, "Language"), str("Site.lng"));
    ASSERT_EQ(store.WriteSetting(str("HKLM"), key, str("Language"), str("S"), str("Mine.lng")), 0);
    EXPECT_EQ(read(store, "HKLM", key, "Language"), str("Mine.lng"));
    EXPECT_EQ(store.ReadSetting(str("HKLM"), key, str("Kiosk"), str("D"), 0).value, SettingValue(1));
    EXPECT_EQ(Sandbox::readFile(systemPath), system);
}

TEST(RegistryStore, UnreadableLinesAreKeptAsideBeforeARewrite)
{
    const QByteArray broken = "Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\A]\r\n\"Good\"=\"1\"\r\n\"Bad\"=dword:xyz\r\n"
                              "garbage\r\n\x00\x01\x02\r\n";
    const QString path = Sandbox::writeFile(str("registry/HKEY_CURRENT_USER.reg"), broken);
    SettingsStore store;
    EXPECT_EQ(read(store, "HKCU", str("Software\\A"), "Good"), str("1"));
    ASSERT_EQ(store.WriteSetting(str("HKCU"), str("Software\\A"), str("New"), str("S"), str("2")), 0);
    const QDir folder = QFileInfo(path).absoluteDir();
    const QStringList kept = folder.entryList({str("HKEY_CURRENT_USER.reg.unreadable-*")}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(Sandbox::readFile(folder.filePath(kept.first())), broken);
    EXPECT_EQ(read(store, "HKCU", str("Software\\A"), "Good"), str("1"));
}

TEST(RegistryStore, ConcurrentWritersLoseNothing)
{
    constexpr int writes = 40;
    auto writer = [](const QString& prefix) {
        SettingsStore store; // each its own store, as two processes would have
        for (int i = 0; i < writes; ++i)
            store.WriteSetting(str("HKCU"), str("Software\\Race"), prefix + QString::number(i), str("S"), i);
    };
    std::thread a(writer, str("a"));
    std::thread b(writer, str("b"));
    a.join();
    b.join();
    SettingsStore store;
    for (int i = 0; i < writes; ++i) {
        for (const char* prefix : {"a", "b"})
            EXPECT_EQ(
                read(store, "HKCU", str("Software\\Race"), qPrintable(str(prefix) + QString::number(i))),
                QString::number(i));
    }
}
