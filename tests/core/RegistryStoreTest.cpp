#include "store/RegistryStore.h"

#include "common/TestEnvironment.h"
#include "store/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <thread>

using namespace Tollgate;

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
    EXPECT_EQ(registry.value(RegistryStore::LocalMachine, key, QString())->data, QByteArray("default", 8));
    EXPECT_EQ(registry.value(RegistryStore::LocalMachine, key, str("language"))->data,
        QByteArray("Deutsch \"neu\".lng", 18));
    EXPECT_EQ(registry.value(RegistryStore::LocalMachine, key, str("Bin"))->data, QByteArray("\x01\x02\x03"));
    EXPECT_EQ(
        registry.value(RegistryStore::LocalMachine, key, str("Num"))->data, QByteArray("\x1e\0\0\0", 4));
    EXPECT_EQ(registry.value(RegistryStore::LocalMachine, key, str("Other"))->type, 2u);
}

TEST(RegistryStore, WritesCreateEveryKeyAndRoundTrip)
{
    SettingsStore store;
    ASSERT_EQ(
        store.WriteSetting(str("HKCR"), str(".Tollgate"), QString(), str("S"), str("Tollgate.file")), 0);
    ASSERT_EQ(store.WriteSetting(str("HKCR"), str("Tollgate.file\\Shell\\Open\\Command"), QString(), str("S"),
                  str("/opt/tollgate/tollgate %1")),
        0);
    const QByteArray file = Sandbox::readFile(
        static_cast<RegistryStore&>(store.registry()).userHivePath(RegistryStore::ClassesRoot));
    EXPECT_TRUE(file.startsWith("Windows Registry Editor Version 5.00\r\n\r\n"));
    EXPECT_TRUE(file.contains("[HKEY_CLASSES_ROOT\\.Tollgate]\r\n@=\"Tollgate.file\"\r\n"));
    EXPECT_TRUE(file.contains("[HKEY_CLASSES_ROOT\\Tollgate.file\\Shell]\r\n"));
    EXPECT_TRUE(file.contains(
        "[HKEY_CLASSES_ROOT\\Tollgate.file\\Shell\\Open\\Command]\r\n@=\"/opt/tollgate/tollgate %1\""));

    // A fresh store (another process) reads the same.
    SettingsStore other;
    EXPECT_EQ(other
                  .ReadSetting(
                      str("HKCR"), str("tollgate.file\\shell\\open\\command"), QString(), str("S"), QString())
                  .value,
        SettingValue(str("/opt/tollgate/tollgate %1")));
    // Replacing keeps one value.
    ASSERT_EQ(store.WriteSetting(str("HKCR"), str(".Tollgate"), QString(), str("S"), str("Other.file")), 0);
    const QByteArray again = Sandbox::readFile(
        static_cast<RegistryStore&>(store.registry()).userHivePath(RegistryStore::ClassesRoot));
    EXPECT_EQ(again.count("[HKEY_CLASSES_ROOT\\.Tollgate]"), 1);
    EXPECT_FALSE(again.contains("\"Tollgate.file\"\r\n"));
}

TEST(RegistryStore, SystemLayerIsReadBeneathAndNeverWritten)
{
    const QByteArray system = "Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_LOCAL_MACHINE\\Software\\Harbrook\\Tollgate]\r\n"
                              "\"Language\"=\"Site.lng\"\r\n\"Kiosk\"=dword:00000001\r\n";
    const QString systemPath = Sandbox::writeFile(str("registry/system/HKEY_LOCAL_MACHINE.reg"), system);
    SettingsStore store;
    const QString key = str("Software\\Harbrook\\Tollgate");
    EXPECT_EQ(store.ReadSetting(str("HKLM"), key, str("Language"), str("S"), QString()).value,
        SettingValue(str("Site.lng")));
    ASSERT_EQ(store.WriteSetting(str("HKLM"), key, str("Language"), str("S"), str("Mine.lng")), 0);
    EXPECT_EQ(store.ReadSetting(str("HKLM"), key, str("Language"), str("S"), QString()).value,
        SettingValue(str("Mine.lng")));
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
    EXPECT_EQ(store.ReadSetting(str("HKCU"), str("Software\\A"), str("Good"), str("S"), QString()).value,
        SettingValue(str("1")));
    ASSERT_EQ(store.WriteSetting(str("HKCU"), str("Software\\A"), str("New"), str("S"), str("2")), 0);
    const QStringList kept = QDir(QFileInfo(path).absolutePath())
                                 .entryList({str("HKEY_CURRENT_USER.reg.unreadable-*")}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(Sandbox::readFile(QFileInfo(path).absolutePath() + u'/' + kept.first()), broken);
    EXPECT_EQ(store.ReadSetting(str("HKCU"), str("Software\\A"), str("Good"), str("S"), QString()).value,
        SettingValue(str("1")));
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
        for (const char* prefix : {"a", "b"}) {
            const auto read = store.ReadSetting(
                str("HKCU"), str("Software\\Race"), str(prefix) + QString::number(i), str("S"), QString());
            EXPECT_EQ(read.value, SettingValue(QString::number(i))) << prefix << i;
        }
    }
}
