#include "store/SettingsStore.h"

#include "common/TestEnvironment.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace Tollgate;

namespace {

const QString S = QStringLiteral("S");

QByteArray userHive(SettingsStore& store)
{
    return Sandbox::readFile(
        static_cast<RegistryStore&>(store.registry()).userHivePath(RegistryStore::CurrentUser));
}

} // namespace

// Each abbreviation, in any case, is a hive of its own; any other store text is a file.
TEST(SettingsStore, HiveAbbreviationsSelectTheirHive)
{
    SettingsStore store;
    const char* const hives[] = {"HKCU", "HKLM", "HKU", "HKCC", "HKDD", "HKCR"};
    for (const char* hive : hives)
        ASSERT_EQ(store.WriteSetting(str(hive).toLower(), str("Software\\T"), str("Hive"), S, str(hive)), 0);
    SettingsStore fresh;
    for (const char* hive : hives) {
        EXPECT_EQ(fresh.ReadSetting(str(hive), str("Software\\T"), str("Hive"), S, QString()).value,
            SettingValue(str(hive)));
    }
    EXPECT_EQ(SettingsStore::GetHiveKey(str("HKEY_LOCAL_MACHINE")), SettingsStore::IniFileMarker);
    EXPECT_EQ(SettingsStore::GetHiveKey(QString()), SettingsStore::IniFileMarker);
}

TEST(SettingsStore, IniFilesReadAsTextOrTheDefaultsTextForm)
{
    SettingsStore store;
    const QString path = Sandbox::writeFile(str("doc.ini"), "[Processes]\r\nCount=2\r\nEmpty=\r\n");
    // Entry, type letter, default, and what is read; a missing file reads as empty.
    using Case = std::tuple<QString, const char*, const char*, SettingValue, SettingValue>;
    const Case cases[] = {
        {path, "IdleTime", "s", 30, str("30")},
        {path, "Count", "S", 0, str("2")},
        {path, "Empty", "S", str("d"), QString()},
        {path, "Count", "D", 5, 5}, // other letters leave the default unchanged
        {str("/nonexistent/x.ini"), "Count", "S", 0, str("0")},
    };
    for (const auto& [file, name, type, defaultValue, expected] : cases) {
        const auto read = store.ReadSetting(file, str("Processes"), str(name), str(type), defaultValue);
        EXPECT_EQ(read.status, 0) << name;
        EXPECT_EQ(read.value, expected) << name;
    }
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

// Each value type as written to the hive file and read back; Boolean and number letters
// in either case.
TEST(SettingsStore, RegistryValueTypes)
{
    SettingsStore store;
    const QString key = str("Software\\Harbrook\\Tollgate\\");
    // Type letter, value, its line in the hive file (nullptr: the write is refused), and
    // the status and value a read with the default 1 gives.
    using Case = std::tuple<const char*, SettingValue, const char*, int, SettingValue>;
    const Case cases[] = {
        {"S", str("abc"), "=\"abc\"", 0, str("abc")}, {"b", true, "=hex:ff,ff", 0, true},
        {"B", false, "=hex:00,00", 0, false}, {"D", 30, "=dword:0000001e", 0, 30},
        {"d", -2, "=dword:fffffffe", 0, -2}, {"D", 40000, nullptr, 2, 1}, // only 16-bit numbers
        {"Q", 1, nullptr, 0, 1}, // no such type: the default
    };
    int n = 0;
    for (const auto& [type, written, inFile, status, read] : cases) {
        const QString name = str("V") + QString::number(++n);
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(store.WriteSetting(str("HKCU"), key, name, str(type), written) == 0, inFile != nullptr);
        EXPECT_EQ(
            userHive(store).contains('"' + name.toUtf8() + '"' + (inFile ? inFile : "=")), inFile != nullptr)
            << userHive(store).toStdString();
        const auto got
            = store.ReadSetting(str("hkcu"), key.toLower(), name.toLower(), str(type), SettingValue(1));
        EXPECT_EQ(got.status, status);
        EXPECT_EQ(got.value, read);
    }

    // A missing key or value gives the default, a whole number staying one.
    for (const char* hive : {"HKLM", "HKCU"}) {
        const auto missing = store.ReadSetting(str(hive), key, str("Other"), S, 7);
        EXPECT_EQ(missing.status, 2);
        EXPECT_EQ(missing.value, SettingValue(7));
    }
    // A text is longer than the 2 or 4 bytes a Boolean or a number query takes.
    const auto asBool = store.ReadSetting(str("HKCU"), key, str("V1"), str("B"), false);
    EXPECT_EQ(asBool.status, 234);
    EXPECT_EQ(asBool.value, SettingValue(false));
    EXPECT_EQ(store.ReadSetting(str("HKCU"), key, str("V4"), S, QString()).value, SettingValue(str("\x1e")))
        << "the registry type is not examined";
}

// Language files are read from their text: unanchored names, CR LF or LF lines, the
// header matched with its letter case, and the default for an empty or missing entry.
TEST(ReadIniText, FindsEntriesOfTheSectionOrGivesTheDefault)
{
    const QString crlf = str("[Form]\r\nlblInfo=Hello\r\nlblEmpty=\r\n");
    const QString last = str("[A]\r\nx=1\r\n[B]\r\nx=2");
    const QString lf = str("[A]\nlblCaption=One\ncmdOK=Two\n[B]\ncmdOK=Three\n");
    using Case = std::tuple<QString, const char*, const char*, SettingValue>;
    const Case cases[] = {
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
    for (const auto& [text, section, name, expected] : cases) {
        EXPECT_EQ(SettingsStore::ReadIniText(text, str(section), str(name), S, str("d")), expected)
            << section << "." << name << " in " << text.toStdString();
    }
    EXPECT_EQ(SettingsStore::ReadIniText(crlf, str("Form"), str("cmdX"), S, 5), SettingValue(5))
        << "a whole-number default stays a whole number";
}
