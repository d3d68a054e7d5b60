#include "store/SettingsStore.h"

#include "common/TestEnvironment.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace Tollgate;

namespace {

const QString S = QStringLiteral("S");

} // namespace

TEST(SettingsStore, HiveAbbreviations)
{
    EXPECT_EQ(SettingsStore::GetHiveKey(str("hklm")), 0x80000002u);
    EXPECT_EQ(SettingsStore::GetHiveKey(str("HKCR")), 0x80000000u);
    EXPECT_EQ(SettingsStore::GetHiveKey(str("HKCU")), 0x80000001u);
    EXPECT_EQ(SettingsStore::GetHiveKey(str("HKU")), 0x80000003u);
    EXPECT_EQ(SettingsStore::GetHiveKey(str("HKCC")), 0x80000005u);
    EXPECT_EQ(SettingsStore::GetHiveKey(str("HKDD")), 0x80000006u);
    EXPECT_EQ(SettingsStore::GetHiveKey(str("HKEY_LOCAL_MACHINE")), 1u);
    EXPECT_EQ(SettingsStore::GetHiveKey(QString()), 1u);
    EXPECT_EQ(SettingsStore::GetHiveKey(str("/tmp/x.Tollgate")), 1u);
}

TEST(SettingsStore, IniReadsGiveTextOrTheDefaultsTextForm)
{
    SettingsStore store;
    const QString path = Sandbox::writeFile(str("doc.ini"), "[Processes]\r\nCount=2\r\nEmpty=\r\n");
    EXPECT_EQ(store.ReadSetting(path, str("Processes"), str("IdleTime"), str("s"), 30).value,
        SettingValue(str("30")));
    EXPECT_EQ(store.ReadSetting(path, str("Processes"), str("Count"), S, 0).value, SettingValue(str("2")));
    EXPECT_EQ(
        store.ReadSetting(path, str("Processes"), str("Empty"), S, str("d")).value, SettingValue(QString()));
    const auto missingFile = store.ReadSetting(str("/nonexistent/x.ini"), str("A"), str("B"), S, 0);
    EXPECT_EQ(missingFile.status, 0);
    EXPECT_EQ(missingFile.value, SettingValue(str("0")));
    EXPECT_EQ(store.ReadSetting(path, str("Processes"), str("Count"), str("D"), 5).value, SettingValue(5))
        << "other letters leave the default unchanged";
}

TEST(SettingsStore, IniWritesRoundTripAndSeeChangesMadeBehindTheCache)
{
    SettingsStore store;
    const QString path = Sandbox::folder() + str("/doc.ini");
    EXPECT_EQ(store.WriteSetting(path, str("Windows"), str("Count"), S, 3), 0);
    EXPECT_EQ(store.WriteSetting(path, str("Windows"), str("Caption_1"), S, str("\u00e9t\u00e9 *")), 0);
    EXPECT_NE(store.WriteSetting(path, str("Windows"), str("Flag"), str("B"), true), 0);
    EXPECT_EQ(store.ReadSetting(path, str("windows"), str("caption_1"), S, QString()).value,
        SettingValue(str("\u00e9t\u00e9 *")));
    EXPECT_EQ(
        Sandbox::readFile(path), QByteArray("[Windows]\r\nCount=3\r\nCaption_1=\xC3\xA9t\xC3\xA9 *\r\n"));

    // Another program rewrites the file; the next read must see it.
    Sandbox::writeFile(str("doc.ini"), "[Windows]\r\nCount=4\r\n");
    EXPECT_EQ(store.ReadSetting(path, str("Windows"), str("Count"), S, 0).value, SettingValue(str("4")));
}

TEST(SettingsStore, IniWriteNeverClobbersAnUnreadableFile)
{
    if (!Sandbox::permissionsBind())
        GTEST_SKIP() << "file permissions do not stop reads here (root, or Windows)";
    SettingsStore store;
    const QString path = Sandbox::writeFile(str("locked.ini"), "[A]\r\nkeep=1\r\n");
    QFile::setPermissions(path, QFile::WriteOwner);
    EXPECT_NE(store.WriteSetting(path, str("A"), str("b"), S, str("2")), 0);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(Sandbox::readFile(path), QByteArray("[A]\r\nkeep=1\r\n"));
}

TEST(SettingsStore, IniFilesFromWindowsDecodeAsWindows1252)
{
    SettingsStore store;
    const QString path = Sandbox::writeFile(str("win.ini"),
        "[Windows]\r\nUserMessage=Gr\xFC\xDF"
        "e \x80\r\n");
    EXPECT_EQ(store.ReadSetting(path, str("Windows"), str("UserMessage"), S, QString()).value,
        SettingValue(str("Gr\u00fc\u00dfe \u20ac")));
}

TEST(SettingsStore, RegistryTextValues)
{
    SettingsStore store;
    const QString key = str("Software\\Harbrook\\Tollgate\\");
    const auto missing = store.ReadSetting(str("HKLM"), key, str("Language"), S, 7);
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.value, SettingValue(7)) << "a whole-number default stays a whole number";

    EXPECT_EQ(store.WriteSetting(str("HKLM"), key, str("Language"), S, str("abc")), 0);
    const auto read
        = store.ReadSetting(str("hklm"), str("software\\harbrook\\tollgate"), str("language"), S, QString());
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.value, SettingValue(str("abc")));

    const auto missingValue = store.ReadSetting(str("HKLM"), key, str("Other"), S, str("d"));
    EXPECT_EQ(missingValue.status, 2);
    EXPECT_EQ(missingValue.value, SettingValue(str("d")));
}

TEST(SettingsStore, RegistryBooleansAndNumbers)
{
    SettingsStore store;
    const QString key = str("Software\\Test");
    EXPECT_EQ(store.WriteSetting(str("HKCU"), key, str("Flag"), str("b"), true), 0);
    EXPECT_EQ(store.ReadSetting(str("HKCU"), key, str("Flag"), str("B"), false).value, SettingValue(true));
    EXPECT_TRUE(Sandbox::readFile(
        static_cast<RegistryStore&>(store.registry()).userHivePath(RegistryStore::CurrentUser))
                    .contains("\"Flag\"=hex:ff,ff"));
    EXPECT_EQ(store.WriteSetting(str("HKCU"), key, str("Flag"), str("B"), false), 0);
    EXPECT_EQ(store.ReadSetting(str("HKCU"), key, str("Flag"), str("B"), true).value, SettingValue(false));

    EXPECT_EQ(store.WriteSetting(str("HKCU"), key, str("Count"), str("D"), 30), 0);
    EXPECT_TRUE(Sandbox::readFile(
        static_cast<RegistryStore&>(store.registry()).userHivePath(RegistryStore::CurrentUser))
                    .contains("\"Count\"=dword:0000001e"));
    EXPECT_EQ(store.WriteSetting(str("HKCU"), key, str("Neg"), str("D"), -2), 0);
    EXPECT_EQ(store.ReadSetting(str("HKCU"), key, str("Neg"), str("D"), 0).value, SettingValue(-2));
    EXPECT_NE(store.WriteSetting(str("HKCU"), key, str("Big"), str("D"), 40000), 0) << "only 16-bit numbers";
    EXPECT_EQ(store.ReadSetting(str("HKCU"), key, str("Big"), str("D"), 1).status, 2);

    // A text is longer than the 2 or 4 bytes a Boolean or a number query takes.
    EXPECT_EQ(store.WriteSetting(str("HKCU"), key, str("Text"), S, str("abcd")), 0);
    const auto asBool = store.ReadSetting(str("HKCU"), key, str("Text"), str("B"), false);
    EXPECT_EQ(asBool.status, 234);
    EXPECT_EQ(asBool.value, SettingValue(false));
    EXPECT_EQ(store.ReadSetting(str("HKCU"), key, str("Count"), str("S"), QString()).value,
        SettingValue(str("\x1e")))
        << "the registry type is not examined";
    EXPECT_NE(store.WriteSetting(str("HKCU"), key, str("X"), str("Q"), 1), 0);
}

// Language files are read from their text: unanchored names, CR LF or LF lines, the
// header matched with its letter case, and the default for an empty or missing entry.
TEST(ReadIniText, FindsEntriesOfTheSectionOrGivesTheDefault)
{
    const QString crlf = str("[Form]\r\nlblInfo=Hello\r\nlblEmpty=\r\n");
    const QString last = str("[A]\r\nx=1\r\n[B]\r\nx=2");
    const QString lf = str("[A]\nlblCaption=One\ncmdOK=Two\n[B]\ncmdOK=Three\n");
    const struct
    {
        QString text;
        const char* section;
        const char* name;
        SettingValue expected;
    } cases[] = {
        {crlf, "Form", "Info", str("Hello")},
        {crlf, "Form", "lblEmpty", str("d")},
        {crlf, "form", "lblInfo", str("d")},
        {crlf, "Form", "cmdX", str("d")},
        {QString(), "Form", "cmdX", str("d")},
        {last, "B", "x", str("2")},
        {last, "A", "x", str("1")},
        {lf, "A", "lblCaption", str("One")},
        {lf, "A", "cmdOK", str("Two")},
        {lf, "B", "cmdOK", str("Three")},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(SettingsStore::ReadIniText(item.text, str(item.section), str(item.name), S, str("d")),
            item.expected)
            << item.section << "." << item.name << " in " << item.text.toStdString();
    }
    EXPECT_EQ(SettingsStore::ReadIniText(crlf, str("Form"), str("cmdX"), S, 5), SettingValue(5))
        << "a whole-number default stays a whole number";
}
